#pragma once
// KsCertStoreEnumeration: a snapshot of a store's certificates, as their SHA-1 hashes in the
// store's enumeration order. A certificate is looked up in the store again, by its hash,
// whenever it is asked for; later changes to the store do not change the snapshot.
#include <collections/dcfAvlTree.h>
#include <dcf/dcfComPtr.h>

#include "inc/ksCertUtility.h"
#include "ksCert/KsComObject.h"
#include "platform/cryptoapi/cert_context.h"

class KsCertStore;

class KsCertStoreEnumeration final : public ksCertArray,
                                     public KsComObject,
                                     public ksCertStoreEnumeration {
public:
  static HRESULT CreateInstance(KsCertStoreEnumeration** object);

  // Takes the snapshot of the store, whom the enumeration keeps alive. Called once.
  void Fill(KsCertStore* store);

  HRESULT QueryInterface(const IID& iid, void** object) override;
  std::uint32_t AddRef() override { return AddReference(); }
  std::uint32_t Release() override { return ReleaseReference(); }

  // ksCertArray (and ksCertStoreEnumeration where the slots agree)
  HRESULT get_NumCerts(std::int32_t* count) override;
  HRESULT get_Cert(std::int32_t index, ksCert** cert) override;
  HRESULT get_CertHash(std::int32_t index, std::uint8_t* buffer, std::uint32_t size,
                       std::uint32_t* length) override;
  HRESULT get_Owner(IUnknown** owner) override;

  // ksCertStoreEnumeration
  HRESULT get_Cert(std::int32_t index, ksCert2** cert) override;

private:
  struct Item : dcfAvlNode {
    std::uint8_t hash[capi::kSha1HashSize];
  };

  KsCertStoreEnumeration();
  ~KsCertStoreEnumeration() override;

  // The item at the index; null when the index is outside the snapshot. Throws
  // dcfRangeException when the tree has no node for an index inside it.
  const Item* ItemAt(std::int32_t index) const;
  template <class Interface>
  HRESULT GetCert(std::int32_t line, std::int32_t index, Interface** cert);

  dcfComPtr<KsCertStore> store_;
  dcfAvlTree items_;
};
