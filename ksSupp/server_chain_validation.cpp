// Judging a server's certificate chain: the chain engine of the context's current user
// builds the chain for server use, and its trust flags become the verdict. Nothing is
// trusted unless the engine built a chain and reported it trusted; each certificate the
// engine found fault with is traced by its subject, with the reason.
#include <dcf/dcfComPtr.h>
#include <dcf/dcfException.h>
#include <ksstk.h>

#include <memory>
#include <string>

#include <openssl/err.h>
#include <openssl/objects.h>
#include <openssl/x509.h>

#include "ksSupp/api_context.h"
#include "ksSupp/cert_utility_calls.h"
#include "ksSupp/trace.h"

namespace {

// Trust flags of a chain.
constexpr std::uint32_t kNotTimeValid = 0x1;
constexpr std::uint32_t kRevoked = 0x4;
constexpr std::uint32_t kSignatureNotValid = 0x8;
constexpr std::uint32_t kNotValidForUsage = 0x10;
constexpr std::uint32_t kUntrustedRoot = 0x20;
constexpr std::uint32_t kRevocationUnknown = 0x40;
constexpr std::uint32_t kNotYetValid = 0x10000000;

struct X509Free {
  void operator()(X509* certificate) const { X509_free(certificate); }
};

// Why a certificate with these trust flags is refused, in the order of the verdicts.
const char* RefusalReason(std::uint32_t trust) {
  switch (TrustToChainVerdict(trust)) {
    case KSSTK_CHAIN_REVOKED: return "revoked";
    case KSSTK_CHAIN_EXPIRED: return "expired";
    case KSSTK_CHAIN_NOT_YET_VALID: return "not yet valid";
    case KSSTK_CHAIN_BAD_SIGNATURE: return "signature not valid or made with too weak a digest";
    case KSSTK_CHAIN_UNTRUSTED_ROOT: return "root not trusted";
    case KSSTK_CHAIN_WRONG_USAGE: return "not valid for server authentication";
    case KSSTK_CHAIN_REVOCATION_UNKNOWN: return "revocation status unknown";
    default: return "not trusted";
  }
}

// Traces one refused certificate of the built chain by its subject and signature algorithm.
void TraceRefusal(std::int32_t index, std::uint32_t trust, const dcfByteArray& der) {
  const unsigned char* cursor = der.Data();
  std::unique_ptr<X509, X509Free> certificate(d2i_X509(nullptr, &cursor, static_cast<long>(der.Length())));
  std::string subject = "(unreadable)";
  const char* algorithm = "unknown";
  if (certificate) {
    if (char* text = X509_NAME_oneline(X509_get_subject_name(certificate.get()), nullptr, 0)) {
      subject = text;
      OPENSSL_free(text);
    }
    const char* name = OBJ_nid2ln(X509_get_signature_nid(certificate.get()));
    if (name != nullptr) algorithm = name;
  }
  ERR_clear_error();
  traceError(TraceCategory::Eap, nullptr, 0,
             "Server certificate %d refused: %s; subject %s, signed with %s (trust 0x%08X)\n",
             static_cast<int>(index), RefusalReason(trust), subject.c_str(), algorithm,
             static_cast<unsigned>(trust));
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

ksCertChain* ApiContext::ValidateChainCerts(const CertList& list) {
  if (!chainEngine_ || list.Count() == 0) return nullptr;
  dcfComPtr<ksCertChainValidation> validation;
  {
    ksCertChainValidation* made = nullptr;
    const HRESULT result = chainEngine_->CreateValidation(&made);
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

std::int32_t ApiContext::ValidateServerChain(const CertList& list, CertList** chainList) {
  *chainList = nullptr;
  dcfComPtr<ksCertChain> chain;
  chain.Attach(ValidateChainCerts(list));
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
    std::uint32_t refused = 0;  // this certificate's own faults
    if (i == 0) {
      VARIANT_BOOL valid = VARIANT_FALSE;
      const HRESULT result = cert->CheckUsage(kCertUsageServerAuth, &valid);
      CheckCertUtility(result, "error return from CheckUsage call in certificate utility object",
                       __LINE__);
      if (!CertUtilityAccepted(result, valid)) refused |= kNotValidForUsage;
    }
    trust |= refused;
    DerBlob* blob = DerBlob::Create(nullptr, 0);
    built->Append(blob);
    ExportCertificateDer(*cert, blob->Bytes());
    if (TraceEnabled(TraceLevel::Error)) {
      std::int32_t own = 0;
      if (chain->get_CertTrust(i, &own) == S_OK) refused |= static_cast<std::uint32_t>(own);
      if (refused != 0) TraceRefusal(i, refused, blob->Bytes());
    }
  }
  built->AddRef();
  *chainList = built.Get();
  return TrustToChainVerdict(trust);
}
