#include "ksCert/KsCertViewer.h"

#include <mutex>
#include <utility>

#include "ksCert/KsCertFieldNames.h"
#include "ksCert/KsCertHolders.h"
#include "ksCert/ksCertImpl.h"
#include "platform/cryptoapi/chain_engine.h"
#include "platform/win32/file_time.h"

namespace {

// The run's result when no front end registered a dialog.
constexpr int kNoViewer = -1;

std::mutex& BackendLock() {
  static std::mutex lock;
  return lock;
}

KsCertViewerBackend& Backend() {
  static KsCertViewerBackend backend;
  return backend;
}

// The fields shown, in the order of their codes.
constexpr struct {
  CertField field;
  const char16_t* name;
} kShownFields[] = {
    {kCertFieldVersion, u"Version"},
    {kCertFieldSerialNumber, u"Serial Number"},
    {kCertFieldSignatureAlgorithm, u"Signature Algorithm"},
    {kCertFieldIssuer, u"Issuer"},
    {kCertFieldNotBefore, u"Not Before"},
    {kCertFieldNotAfter, u"Not After"},
    {kCertFieldSubjectName, u"Subject Name"},
    {kCertFieldSubjectPublicKeyInfo, u"Subject Public Key Info"},
    {kCertFieldSubjectAlternateName, u"Subject Alternate Name"},
    {kCertFieldCommonName, u"Common Name"},
    {kCertFieldExtendedKeyUsage, u"Extended Key Usage"},
    {kCertFieldFriendlyName, u"Friendly Name"},
};

KsCertViewRequest RequestFor(capi::HCERTSTORE store, capi::PCCERT_CONTEXT certificate) {
  KsCertViewRequest request;
  request.chain.push_back(CertificateViewOf(certificate));
  // The issuers as the current user's engine finds them, with the caller's store searched too.
  capi::PCCERT_CHAIN_CONTEXT built = nullptr;
  if (capi::CertGetCertificateChain(capi::CertDefaultChainEngine(capi::StoreLocation::CurrentUser), certificate,
                                    plat::FileTimeNow(), store, capi::CertChainPara{}, 0, &built)) {
    ChainHolder chain(built);
    const capi::CertSimpleChain* simple = chain->chainCount > 0 ? &chain->chains[0] : nullptr;
    for (std::uint32_t i = 1; simple != nullptr && i < simple->elementCount; ++i) {
      if (simple->elements[i].certificate != nullptr) {
        request.chain.push_back(CertificateViewOf(simple->elements[i].certificate));
      }
    }
  }
  return request;
}

}  // namespace

void SetCertificateViewerBackend(KsCertViewerBackend backend) {
  std::lock_guard<std::mutex> lock(BackendLock());
  Backend() = std::move(backend);
}

KsCertViewCertificate CertificateViewOf(capi::PCCERT_CONTEXT certificate) {
  ksCertImpl impl;
  impl.SetContext(capi::CertDuplicateCertificateContext(certificate));
  KsCertViewCertificate view;
  impl.GetFieldText(kCertFieldSubjectSimpleDisplay, view.title);
  for (const auto& shown : kShownFields) {
    std::u16string text;
    if (impl.GetFieldText(shown.field, text)) view.fields.push_back({shown.name, std::move(text)});
  }
  return view;
}

bool RunCertificateViewer(capi::HCERTSTORE store, capi::PCCERT_CONTEXT certificate, std::int32_t* flag) {
  if (certificate == nullptr) {
    if (flag != nullptr) *flag = 0;
    return false;
  }
  KsCertViewerBackend backend;
  {
    std::lock_guard<std::mutex> lock(BackendLock());
    backend = Backend();
  }
  const int result = backend ? backend(RequestFor(store, certificate)) : kNoViewer;
  if (flag != nullptr) *flag = result != 0 ? 1 : 0;
  return result == 1;
}
