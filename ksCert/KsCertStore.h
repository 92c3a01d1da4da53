#pragma once
// KsCertStore: one open certificate store. Finds certificates by SHA-1 hash, adds DER
// certificates and takes snapshots of its contents (KsCertStoreEnumeration); a chain engine
// reaches its handle through ksCertStoreHandle.
#include <dcf/dcfComPtr.h>

#include "inc/ksCertUtility.h"
#include "ksCert/KsComObject.h"

class KsCertStore final : public ksCertStore,
                          public KsComObject,
                          public ksCertStoreHandle,
                          public ksCertStore2 {
public:
  static HRESULT CreateInstance(KsCertStore** object);

  // Gives the store its handle (closed when the store dies, with the force flag when
  // forceClose) and its owner (one reference; may be null). Called once, by the creator.
  void Attach(capi::HCERTSTORE handle, bool forceClose, IUnknown* owner);
  // A new store object (one reference, no owner) over a new memory store; null when no
  // memory store can be opened.
  static KsCertStore* NewMemoryStore(bool forceClose);
  capi::HCERTSTORE Handle() const { return handle_; }

  HRESULT QueryInterface(const IID& iid, void** object) override;
  std::uint32_t AddRef() override { return AddReference(); }
  std::uint32_t Release() override { return ReleaseReference(); }

  // ksCertStore
  HRESULT GetCertByHash(const std::uint8_t* hash, std::uint32_t length, ksCert** cert) override;
  HRESULT AddEncodedCert(const std::uint8_t* der, std::uint32_t length, std::int32_t format,
                         VARIANT_BOOL* added) override;
  HRESULT CreateEnumeration(ksCertArray** enumeration) override;
  HRESULT get_Owner(IUnknown** owner) override;

  // ksCertStoreHandle
  HRESULT GetStoreHandle(capi::HCERTSTORE* handle) override;

  // ksCertStore2
  HRESULT GetCertByHash(const std::uint8_t* hash, std::uint32_t length, ksCert2** cert) override;
  HRESULT CreateEnumeration(ksCertStoreEnumeration** enumeration) override;

private:
  KsCertStore();
  ~KsCertStore() override;

  template <class Interface>
  HRESULT FindByHash(std::int32_t line, const std::uint8_t* hash, std::uint32_t length, Interface** cert);
  template <class Interface>
  HRESULT MakeEnumeration(std::int32_t line, Interface** enumeration);

  capi::HCERTSTORE handle_ = nullptr;
  bool forceClose_ = false;
  dcfComPtr<IUnknown> owner_;
};
