// Judging a server's certificate chain: the chain engine of the context's current user
// builds the chain for server use, and its trust flags become the verdict. Nothing is
// trusted unless the engine built a chain and reported it trusted.
#include <dcf/dcfComPtr.h>
#include <dcf/dcfException.h>
#include <ksstk.h>

#include "ksSupp/api_context.h"

namespace {

constexpr const char* kSource = "ksCertUtility";

// Trust flags of a chain.
constexpr std::uint32_t kNotTimeValid = 0x1;
constexpr std::uint32_t kRevoked = 0x4;
constexpr std::uint32_t kSignatureNotValid = 0x8;
constexpr std::uint32_t kNotValidForUsage = 0x10;
constexpr std::uint32_t kUntrustedRoot = 0x20;
constexpr std::uint32_t kRevocationUnknown = 0x40;
constexpr std::uint32_t kNotYetValid = 0x10000000;

// A failure code of the certificate library ends the validation.
void Check(HRESULT result, const char* message, std::int32_t line) {
  if (!FAILED(result)) return;
  dcfRunTimeException failure(message);
  failure.SetCode(result);
  dcfThrowRunTimeException(failure, line, kSource);
}

bool Accepted(HRESULT result, VARIANT_BOOL accepted) {
  return result == S_OK && accepted == VARIANT_TRUE;
}

// The chain built from the certificates, or null when the engine built none.
ksCertChain* BuildChain(ksCertChainEngine& engine, const CertList& list) {
  if (list.Count() == 0) return nullptr;
  dcfComPtr<ksCertChainValidation> validation;
  {
    ksCertChainValidation* made = nullptr;
    const HRESULT result = engine.CreateValidation(&made);
    validation.Attach(made);
    Check(result, "error return from CreateValidation in ksCertChainEngine", __LINE__);
    if (result != S_OK || !validation) return nullptr;
  }
  for (std::uint32_t i = 0; i < list.Count(); ++i) {
    const dcfByteArray& der = list.At(i).Bytes();
    VARIANT_BOOL accepted = VARIANT_FALSE;
    if (i == 0) {
      const HRESULT result = validation->SetEndCert(der.Data(), der.Length(), &accepted);
      Check(result, "error return from SetEndCert in ksCertChainValidation", __LINE__);
      if (!Accepted(result, accepted)) return nullptr;
    } else {
      const HRESULT result = validation->AddCert(der.Data(), der.Length(), &accepted);
      Check(result, "error return from AddCert in ksCertChainValidation", __LINE__);
      if (!Accepted(result, accepted)) return nullptr;
    }
  }
  ksCertChain* chain = nullptr;
  const HRESULT result = validation->CreateChain(kCertUsageServerAuth, &chain);
  if (result != S_OK && chain != nullptr) {
    chain->Release();
    chain = nullptr;
  }
  Check(result, "error return from CreateChain in ksCertChainValidation", __LINE__);
  return chain;
}

// The DER bytes of a certificate; a success code other than S_OK leaves them empty.
void ExportDer(ksCert& cert, dcfByteArray& der) {
  constexpr std::uint32_t kFirstSize = 64;
  constexpr int kAttempts = 4;  // the size the library reports must fit the next try
  dcfByteArray buffer;
  buffer.Resize(kFirstSize);
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    std::uint32_t length = 0;
    const HRESULT result =
        cert.ExportCert(kCertExportDer, nullptr, 0, buffer.Data(), buffer.Length(), &length);
    Check(result, "error return from ExportCert call in certificate utility object", __LINE__);
    if (result != S_OK) return;
    if (length <= buffer.Length()) {
      der.Assign(buffer.Data(), length);
      return;
    }
    buffer.Resize(length);
  }
}

}  // namespace

std::int32_t TrustToChainVerdict(std::uint32_t trust) {
  if (trust == 0) return KSSTK_CHAIN_TRUSTED;
  if (trust & kRevoked) return KSSTK_CHAIN_REVOKED;
  if (trust & kNotTimeValid) return KSSTK_CHAIN_EXPIRED;
  if (trust & kNotYetValid) return KSSTK_CHAIN_NOT_YET_VALID;
  if (trust & kSignatureNotValid) return KSSTK_CHAIN_BAD_SIGNATURE;
  if (trust & kUntrustedRoot) return KSSTK_CHAIN_UNTRUSTED_ROOT;
  if (trust & kNotValidForUsage) return KSSTK_CHAIN_WRONG_USAGE;
  if (trust & kRevocationUnknown) return KSSTK_CHAIN_REVOCATION_UNKNOWN;
  return KSSTK_CHAIN_OTHER_FAILURE;
}

std::int32_t ApiContext::ValidateServerChain(const CertList& list, CertList** chainList) {
  *chainList = nullptr;
  dcfComPtr<ksCertChain> chain;
  if (chainEngine_) chain.Attach(BuildChain(*chainEngine_, list));
  if (!chain) return KSSTK_CHAIN_OTHER_FAILURE;

  std::int32_t flags = static_cast<std::int32_t>(kUntrustedRoot);
  Check(chain->get_Trust(&flags), "error return from get_Trust in ksCertChain", __LINE__);
  auto trust = static_cast<std::uint32_t>(flags);
  std::int32_t count = 0;
  Check(chain->get_NumCerts(&count),
        "error return from get_NumCerts call in certificate utility object", __LINE__);
  if (count <= 0) trust |= kNotValidForUsage;

  dcfComPtr<CertList> built;
  built.Attach(CertList::Create(this));
  for (std::int32_t i = 0; i < count; ++i) {
    dcfComPtr<ksCert> cert;
    {
      ksCert* got = nullptr;
      const HRESULT result = chain->get_Cert(i, &got);
      cert.Attach(got);
      Check(result, "error return from get_Cert call in certificate utility object", __LINE__);
    }
    if (!cert) {
      trust |= kNotValidForUsage;
      continue;
    }
    if (i == 0) {
      VARIANT_BOOL valid = VARIANT_FALSE;
      const HRESULT result = cert->CheckUsage(kCertUsageServerAuth, &valid);
      Check(result, "error return from CheckUsage call in certificate utility object", __LINE__);
      if (!Accepted(result, valid)) trust |= kNotValidForUsage;
    }
    DerBlob* blob = DerBlob::Create(nullptr, 0);
    built->Append(blob);
    ExportDer(*cert, blob->Bytes());
  }
  built->AddRef();
  *chainList = built.Get();
  return TrustToChainVerdict(trust);
}
