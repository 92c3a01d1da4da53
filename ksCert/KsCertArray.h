#pragma once
// KsCertArray: an ordered list of certificates given as DER, made by the root. The
// certificates live in a private memory store, so each is a store context; they are handed
// out by index as KsCertRef objects owned by that store.
#include <collections/dcfArray.h>
#include <dcf/dcfComPtr.h>

#include "inc/ksCertUtility.h"
#include "ksCert/KsComObject.h"
#include "platform/cryptoapi/handles.h"

class KsCertStore;

class KsCertArray final : public ksCertArray, public KsComObject, public ksCertArrayView {
public:
  static HRESULT CreateInstance(KsCertArray** object);

  // Holds one reference on the root that made the array.
  void SetOwner(IUnknown* owner) { owner_.Assign(owner); }
  // Decodes a DER certificate, adds it to the memory store and appends it; false when the
  // bytes do not decode, the add fails or the array has no memory store.
  bool Add(const std::uint8_t* der, std::uint32_t length);

  HRESULT QueryInterface(const IID& iid, void** object) override;
  std::uint32_t AddRef() override { return AddReference(); }
  std::uint32_t Release() override { return ReleaseReference(); }

  // ksCertArray
  HRESULT get_NumCerts(std::int32_t* count) override;
  HRESULT get_Cert(std::int32_t index, ksCert** cert) override;
  HRESULT get_CertHash(std::int32_t index, std::uint8_t* buffer, std::uint32_t size,
                       std::uint32_t* length) override;
  HRESULT get_Owner(IUnknown** owner) override;

  // ksCertArrayView
  HRESULT ViewCert(std::int32_t index, VARIANT_BOOL* viewed) override;

private:
  KsCertArray();
  ~KsCertArray() override;

  // The item at the index; throws dcfRangeException "out-of-bounds access against
  // KsCertArray" outside 0..count-1.
  capi::PCCERT_CONTEXT ItemAt(std::int32_t index) const;
  // A new KsCertRef (one reference) over a duplicate of the item's context.
  class KsCertRef* MakeRef(std::int32_t index) const;

  dcfComPtr<KsCertStore> memoryStore_;  // null when no memory store could be opened
  dcfArray<capi::PCCERT_CONTEXT> items_;
  dcfComPtr<IUnknown> owner_;
};
