#include "ksSupp/api_context.h"

#include <cstring>
#include <new>

#include <dcf/dcfException.h>

#include "ksLib_OSSL/cipher_list.h"
#include "platform/win32/bstr.h"

namespace {

// The cipher suites a new context offers, in order of preference: the classic list, then
// the TLS 1.0 AES suites (kTlsAesCipherSuites), the only ones OpenSSL 3 still serves.
constexpr std::uint32_t kDefaultCipherSuites[] = {
    0x16, 0x13, 0x66, 0x15, 0x12, 0x0A, 0x05, 0x04, 0x09, 0x63, 0x65, 0x60, 0x62,
    0x61, 0x64, 0x14, 0x11, 0x03, 0x06, 0x08, 0x39, 0x33, 0x38, 0x32, 0x35, 0x2F};
static_assert(kDefaultCipherSuites[20] == kTlsAesCipherSuites[0] &&
              kDefaultCipherSuites[25] == kTlsAesCipherSuites[5]);

constexpr const char* kCertUtilitySource = "inc/ksCertUtility";
constexpr std::int32_t kChainEngineFailureLine = 1118;

}  // namespace

ApiContext::ApiContext() = default;

ApiContext* ApiContext::Create(ksCertUtility* certUtility) {
  dcfComPtr<ksCertUtility> utility;
  utility.Attach(certUtility);
  ApiContext* context = new (std::nothrow) ApiContext();
  if (context == nullptr) return nullptr;
  try {
    context->cipherSuites_.Assign(kDefaultCipherSuites, std::size(kDefaultCipherSuites));
    context->certUtility_ = std::move(utility);

    plat::BSTR location = plat::SysAllocString(kCertLocationCurrentUser);
    if (location == nullptr) throw std::bad_alloc();
    ksCertChainEngine* engine = nullptr;
    const HRESULT result = context->certUtility_->CreateCertChainEngine(location, &engine);
    plat::SysFreeString(location);
    // Only S_OK with an engine is one: S_FALSE is the library's "caught a failure".
    if (result != S_OK || engine == nullptr) {
      if (engine != nullptr) engine->Release();
      dcfRunTimeException failure(
          "error return from CreateCertChainEngine call in certificate utility object");
      failure.SetCode(FAILED(result) ? result : E_FAIL);
      dcfThrowRunTimeException(failure, kChainEngineFailureLine, kCertUtilitySource);
    }
    context->chainEngine_.Attach(engine);
  } catch (const std::bad_alloc&) {
    context->Release();
    return nullptr;
  } catch (...) {
    context->Release();
    throw;
  }
  return context;
}

void ApiContext::SetTlsCipherSuites(const std::uint32_t* ids, std::uint32_t count) {
  cipherSuites_.Assign(count > 0 ? ids : nullptr, count);
}

void ApiContext::InitializeTls() {
  tlsConfig_.Reset();
  TlsConfig* config = nullptr;
  if (TlsConfig::Create(&config) != 0) return;
  tlsConfig_.Attach(config);
  for (const std::uint32_t id : cipherSuites_) {
    if (config->AddCipherSuite(id) != 0) return;
  }
  if (config->SetDhExponentBits(dhExponentBits_) != 0) return;
  config->Finalize();
}

CertList* ApiContext::CreateCertList(const DerCertificate* certificates, std::uint32_t count) {
  dcfComPtr<CertList> list;
  list.Attach(CertList::Create(this));
  for (std::uint32_t i = 0; i < count; ++i) {
    list->Add(certificates[i].bytes, certificates[i].length);
  }
  list->AddRef();  // the caller's reference
  return list.Get();
}
