// Judging a server's certificate chain: the chain engine of the context's current user
// builds the chain for server use, and its trust flags become the verdict. Nothing is
// trusted unless the engine built a chain and reported it trusted.
#include <dcf/dcfComPtr.h>
#include <dcf/dcfException.h>
#include <ksstk.h>

#include "ksSupp/api_context.h"
#include "ksSupp/cert_utility_calls.h"

namespace {

// Trust flags of a chain.
constexpr std::uint32_t kNotTimeValid = 0x1;
constexpr std::uint32_t kRevoked = 0x4;
constexpr std::uint32_t kSignatureNotValid = 0x8;
constexpr std::uint32_t kNotValidForUsage = 0x10;
constexpr std::uint32_t kUntrustedRoot = 0x20;
constexpr std::uint32_t kRevocationUnknown = 0x40;
constexpr std::uint32_t kNotYetValid = 0x10000000;

// The chain built from the certificates, or null when the engine built none.
ksCertChain* BuildChain(ksCertChainEngine& engine, const CertList& list) {
  if (list.Count() == 0) return nullptr;
  dcfComPtr<ksCertChainValidation> validation;
  {
    ksCertChainValidation* made = nullptr;
    const HRESULT result = engine.CreateValidation(&made);
    validation.Attach(made);
    CheckCertUtility(result, "error return from CreateValidation in ksCertChainEngine",
                     __LINE__);
    if (result != S_OK || !validation) return nullptr;
  }
  for (std::uint32_t i = 0; i < list.Count(); ++i) {
    const dcfByteArray& der = list.At(i).Bytes();
    VARIANT_BOOL accepted = VARIANT_FALSE;
    if (i == 0) {
      const HRESULT result = validation->SetEndCert(der.Data(), der.Length(), &accepted);
      CheckCertUtility(result, "error return from SetEndCert in ksCertChainValidation", __LINE__);
      if (!CertUtilityAccepted(result, accepted)) return nullptr;
    } else {
      const HRESULT result = validation->AddCert(der.Data(), der.Length(), &accepted);
      CheckCertUtility(result, "error return from AddCert in ksCertChainValidation", __LINE__);
      if (!CertUtilityAccepted(result, accepted)) return nullptr;
    }
  }
  ksCertChain* chain = nullptr;
  const HRESULT result = validation->CreateChain(kCertUsageServerAuth, &chain);
  if (result != S_OK && chain != nullptr) {
    chain->Release();
    chain = nullptr;
  }
  CheckCertUtility(result, "error return from CreateChain in ksCertChainValidation", __LINE__);
  return chain;
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
  CheckCertUtility(chain->get_Trust(&flags), "error return from get_Trust in ksCertChain",
                   __LINE__);
  auto trust = static_cast<std::uint32_t>(flags);
  std::int32_t count = 0;
  CheckCertUtility(chain->get_NumCerts(&count),
        "error return from get_NumCerts call in certificate utility object", __LINE__);
  if (count <= 0) trust |= kNotValidForUsage;

  dcfComPtr<CertList> built;
  built.Attach(CertList::Create(this));
  for (std::int32_t i = 0; i < count; ++i) {
    dcfComPtr<ksCert> cert = ChainCertificate(*chain, i);
    if (!cert) {
      trust |= kNotValidForUsage;
      continue;
    }
    if (i == 0) {
      VARIANT_BOOL valid = VARIANT_FALSE;
      const HRESULT result = cert->CheckUsage(kCertUsageServerAuth, &valid);
      CheckCertUtility(result, "error return from CheckUsage call in certificate utility object",
                       __LINE__);
      if (!CertUtilityAccepted(result, valid)) trust |= kNotValidForUsage;
    }
    DerBlob* blob = DerBlob::Create(nullptr, 0);
    built->Append(blob);
    ExportCertificateDer(*cert, blob->Bytes());
  }
  built->AddRef();
  *chainList = built.Get();
  return TrustToChainVerdict(trust);
}
