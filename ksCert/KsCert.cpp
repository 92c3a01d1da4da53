#include "ksCert/KsCert.h"

#include "ksCert/KsCertHolders.h"
#include "ksCert/dcfCom.h"
#include "platform/cryptoapi/cert_store.h"

HRESULT KsCert::CreateInstance(KsCert** object) { return Created(new (std::nothrow) KsCert, object); }

KsCert::KsCert() : KsCertObject("KsCert") {}

bool KsCert::FindCertificateByHash(IUnknown* storeObject, capi::HCERTSTORE store, const std::uint8_t* hash,
                                   std::uint32_t length, bool useMd5, KsCert** cert) {
  *cert = nullptr;
  const capi::CryptHashBlob blob{length, hash};
  CertContextHolder found(capi::CertFindCertificateInStore(
      store, capi::X509_ASN_ENCODING | capi::PKCS_7_ASN_ENCODING, 0,
      useMd5 ? capi::CERT_FIND_MD5_HASH : capi::CERT_FIND_SHA1_HASH, &blob, nullptr));
  if (!found) return false;
  KsCert* made = nullptr;
  dcfCreateInstance<KsCert>(&made);
  made->Impl().SetOwner(storeObject);
  made->Impl().SetContext(found.release());
  *cert = made;
  return true;
}

capi::PCCERT_CONTEXT KsCert::AddEncodedCertificate(capi::HCERTSTORE store, const std::uint8_t* der,
                                                   std::uint32_t length) {
  if (der == nullptr) return nullptr;
  CertContextHolder context(capi::CertCreateCertificateContext(
      capi::X509_ASN_ENCODING | capi::PKCS_7_ASN_ENCODING, der, length));
  if (!context ||
      !capi::CertAddCertificateContextToStore(store, context.get(), capi::CERT_STORE_ADD_ALWAYS, nullptr)) {
    return nullptr;
  }
  return context.release();
}
