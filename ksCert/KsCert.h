#pragma once
// KsCert: a certificate found in a store; the store is its owner. Also the two store
// operations that find a certificate by hash and add one from DER.
#include "ksCert/KsCertObject.h"
#include "platform/cryptoapi/handles.h"

class KsCert final : public KsCertObject {
public:
  static HRESULT CreateInstance(KsCert** object);

  // The first certificate of the store with this SHA-1 (or, with useMd5, MD5) hash: true and
  // a new KsCert (one reference) owned by storeObject; false and null when there is none.
  static bool FindCertificateByHash(IUnknown* storeObject, capi::HCERTSTORE store,
                                    const std::uint8_t* hash, std::uint32_t length, bool useMd5,
                                    KsCert** cert);

  // Decodes a DER certificate and adds it to the store (always, duplicates included). The
  // decoded context, which the caller frees; null when the bytes do not decode or the add
  // fails.
  static capi::PCCERT_CONTEXT AddEncodedCertificate(capi::HCERTSTORE store, const std::uint8_t* der,
                                                    std::uint32_t length);

private:
  KsCert();
  ~KsCert() override = default;
  bool WritesDoneFirst() const override { return true; }
  bool ClearsBufferOnWrongEncoding() const override { return false; }
};
