#include "platform/cryptoapi/cert_chain.h"


#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/cryptoapi/cert_context.h"
#include "platform/cryptoapi/cert_store.h"
#include "platform/cryptoapi/chain_engine.h"
#include "platform/cryptoapi/crl_store.h"
#include "platform/cryptoapi/key_usage.h"
#include "platform/cryptoapi/last_error.h"
#include "platform/cryptoapi/openssl_error_scope.h"
#include "platform/win32/file_time.h"

namespace capi {
namespace {

// Chains longer than this are not followed (OpenSSL reports the chain as too long).
constexpr int kMaxDepth = 32;

// OpenSSL's default security level: a key of less than 80 bits of security (RSA and DSA
// below 1024 bits) anywhere, or a signature made with a digest of less than 80 (MD5, SHA-1)
// on any certificate but the trust anchor, makes the chain too weak. The anchor's own
// signature is not verified; WeakAnchorDigest refuses an MD5 one there all the same.
constexpr int kSecurityLevel = 1;

struct ChainRecord : CertChainContext {
  std::vector<CertChainElement> elements;
  CertSimpleChain simple{};
};

std::int64_t ToUnixTime(std::uint64_t fileTime) {
  return static_cast<std::int64_t>(fileTime / 10'000'000) - static_cast<std::int64_t>(plat::kFileTimeEpochOffsetSeconds);
}

// What one OpenSSL verification error means as a trust-status bit.
std::uint32_t TrustBitOf(int error) {
  switch (error) {
    case X509_V_ERR_CERT_NOT_YET_VALID:
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_ERROR_IN_CERT_NOT_BEFORE_FIELD:
    case X509_V_ERR_ERROR_IN_CERT_NOT_AFTER_FIELD:
      return CERT_TRUST_IS_NOT_TIME_VALID;
    case X509_V_ERR_CERT_REVOKED:
      return CERT_TRUST_IS_REVOKED;
    case X509_V_ERR_CERT_SIGNATURE_FAILURE:
    case X509_V_ERR_UNABLE_TO_DECRYPT_CERT_SIGNATURE:
    case X509_V_ERR_UNABLE_TO_DECODE_ISSUER_PUBLIC_KEY:
    case X509_V_ERR_EE_KEY_TOO_SMALL:
    case X509_V_ERR_CA_KEY_TOO_SMALL:
    case X509_V_ERR_CA_MD_TOO_WEAK:
      return CERT_TRUST_IS_NOT_SIGNATURE_VALID;
    case X509_V_ERR_INVALID_PURPOSE:
      return CERT_TRUST_IS_NOT_VALID_FOR_USAGE;
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_CERT_UNTRUSTED:
    case X509_V_ERR_CERT_REJECTED:
      return CERT_TRUST_IS_UNTRUSTED_ROOT;
    case X509_V_ERR_UNABLE_TO_GET_CRL:
    case X509_V_ERR_UNABLE_TO_GET_CRL_ISSUER:
    case X509_V_ERR_CRL_NOT_YET_VALID:
    case X509_V_ERR_CRL_HAS_EXPIRED:
    case X509_V_ERR_CRL_SIGNATURE_FAILURE:
    case X509_V_ERR_UNABLE_TO_DECRYPT_CRL_SIGNATURE:
      return CERT_TRUST_REVOCATION_STATUS_UNKNOWN;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
      return CERT_TRUST_IS_PARTIAL_CHAIN;
    case X509_V_ERR_INVALID_CA:
    case X509_V_ERR_PATH_LENGTH_EXCEEDED:
      return CERT_TRUST_INVALID_BASIC_CONSTRAINTS;
    case X509_V_ERR_PERMITTED_VIOLATION:
    case X509_V_ERR_EXCLUDED_VIOLATION:
    case X509_V_ERR_SUBTREE_MINMAX:
    case X509_V_ERR_UNSUPPORTED_NAME_SYNTAX:
    case X509_V_ERR_UNSUPPORTED_CONSTRAINT_TYPE:
      return CERT_TRUST_INVALID_NAME_CONSTRAINTS;
    case X509_V_ERR_INVALID_POLICY_EXTENSION:
    case X509_V_ERR_NO_EXPLICIT_POLICY:
      return CERT_TRUST_INVALID_POLICY_CONSTRAINTS;
    default:
      // Anything else (an unhandled critical extension, a chain too long, ...): the chain
      // cannot be trusted, and no more precise bit says why.
      return CERT_TRUST_INVALID_EXTENSION;
  }
}

// Whether a self-signed trust anchor signs itself with MD5 (or an older MD digest), which
// the security level does not look at.
bool WeakAnchorDigest(X509* anchor) {
  int digest = NID_undef;
  if (X509_self_signed(anchor, 0) != 1 ||
      X509_get_signature_info(anchor, &digest, nullptr, nullptr, nullptr) != 1) {
    return false;
  }
  return digest == NID_md5 || digest == NID_md4 || digest == NID_md2;
}

// The errors OpenSSL reports while it verifies, by depth. Filled from OpenSSL's callback,
// so it never allocates there.
// A revocation status that could not be had is kept apart: it counts only where revocation
// was asked for.
struct VerifyState {
  std::uint32_t errors[kMaxDepth + 2] = {};
  bool revocationUnknown[kMaxDepth + 2] = {};
};

int CollectError(int ok, X509_STORE_CTX* context) {
  if (ok == 0) {
    auto* state = static_cast<VerifyState*>(X509_STORE_CTX_get_app_data(context));
    const int depth = std::clamp(X509_STORE_CTX_get_error_depth(context), 0, kMaxDepth + 1);
    const std::uint32_t bit = TrustBitOf(X509_STORE_CTX_get_error(context));
    if (bit == CERT_TRUST_REVOCATION_STATUS_UNKNOWN) {
      state->revocationUnknown[depth] = true;
    } else {
      state->errors[depth] |= bit;
    }
  }
  return 1;  // go on: every problem is reported, none ends the building
}

// The revocation lists of a store, kept for the verification.
void AddCrls(HCERTSTORE store, std::vector<StoredCrl>& crls) {
  for (StoredCrl& crl : CertEnumCrlsInStore(store)) crls.push_back(std::move(crl));
}

// The extended key usages a certificate allows: `any` when it has no such extension.
struct Usages {
  bool any = true;
  std::set<std::string> identifiers;
};

Usages UsagesOf(PCCERT_CONTEXT certificate) {
  Usages usages;
  std::vector<std::string> identifiers;
  if (!CertGetEnhancedKeyUsage(certificate, 0, identifiers)) {
    usages.any = false;  // unreadable: no usage
    return usages;
  }
  usages.any = identifiers.empty() && GetLastError() == CRYPT_E_NOT_FOUND;
  usages.identifiers.insert(identifiers.begin(), identifiers.end());
  return usages;
}

// Whether the chain as a whole (each certificate narrows the usages) is good for the asked usage.
bool ValidForUsage(const std::vector<CertChainElement>& elements, const CertChainPara& para) {
  if (para.usageCount == 0 || para.usageIdentifiers == nullptr) return true;
  Usages allowed;
  for (const CertChainElement& element : elements) {
    Usages own = UsagesOf(element.certificate);
    if (own.any) continue;
    if (allowed.any) {
      allowed = std::move(own);
    } else {
      std::set<std::string> both;
      std::set_intersection(allowed.identifiers.begin(), allowed.identifiers.end(), own.identifiers.begin(),
                            own.identifiers.end(), std::inserter(both, both.begin()));
      allowed.identifiers = std::move(both);
    }
  }
  if (allowed.any) return true;
  std::uint32_t matched = 0;
  for (std::uint32_t i = 0; i < para.usageCount; ++i) {
    if (para.usageIdentifiers[i] != nullptr && allowed.identifiers.count(para.usageIdentifiers[i]) > 0) ++matched;
  }
  return para.usageType == USAGE_MATCH_TYPE_OR ? matched > 0 : matched == para.usageCount;
}

// Every certificate of the stores, each context with a reference of its own.
class Pool {
public:
  ~Pool() {
    for (PCCERT_CONTEXT context : contexts_) CertFreeCertificateContext(context);
  }
  void AddStore(HCERTSTORE store) {
    PCCERT_CONTEXT context = nullptr;
    while ((context = CertEnumCertificatesInStore(store, context)) != nullptr) {
      contexts_.push_back(CertDuplicateCertificateContext(context));
    }
  }
  const std::vector<PCCERT_CONTEXT>& Contexts() const { return contexts_; }

private:
  std::vector<PCCERT_CONTEXT> contexts_;
};

// OpenSSL takes references on the certificates it is given; the contexts keep theirs.
X509* Shared(PCCERT_CONTEXT context) { return const_cast<X509*>(context->info); }

// The context that holds this very X509; a new one made from its bytes when none does.
PCCERT_CONTEXT ContextFor(X509* certificate, PCCERT_CONTEXT end, const Pool& roots, const Pool& others) {
  if (certificate == end->info) return CertDuplicateCertificateContext(end);
  for (const Pool* pool : {&roots, &others}) {
    for (PCCERT_CONTEXT context : pool->Contexts()) {
      if (context->info == certificate) return CertDuplicateCertificateContext(context);
    }
  }
  unsigned char* der = nullptr;
  const int length = i2d_X509(certificate, &der);
  PCCERT_CONTEXT made = length > 0 ? CertCreateCertificateContext(X509_ASN_ENCODING, der, static_cast<std::uint32_t>(length)) : nullptr;
  OPENSSL_free(der);
  return made;
}

struct StoreCtxFree {
  void operator()(X509_STORE_CTX* context) const { X509_STORE_CTX_free(context); }
};
struct StoreFree {
  void operator()(X509_STORE* store) const { X509_STORE_free(store); }
};
struct StackFree {
  void operator()(STACK_OF(X509)* stack) const { sk_X509_free(stack); }
};

}  // namespace

bool CertGetCertificateChain(HCERTCHAINENGINE engine, PCCERT_CONTEXT endCertificate, std::uint64_t fileTime,
                             HCERTSTORE additionalStore, const CertChainPara& para, std::uint32_t flags,
                             PCCERT_CHAIN_CONTEXT* chain) {
  if (chain != nullptr) *chain = nullptr;
  if (endCertificate == nullptr || chain == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  detail::OpenSslErrorScope errors;
  Pool roots;
  Pool others;
  detail::EngineStores stores = detail::StoresOf(engine);
  std::vector<StoredCrl> crls;
  for (HCERTSTORE store : stores.roots) {
    roots.AddStore(store);
    AddCrls(store, crls);
    CertCloseStore(store, 0);
  }
  for (HCERTSTORE store : stores.intermediates) {
    others.AddStore(store);
    AddCrls(store, crls);
    CertCloseStore(store, 0);
  }
  if (additionalStore != nullptr) {
    others.AddStore(additionalStore);
    AddCrls(additionalStore, crls);
  }

  std::unique_ptr<X509_STORE, StoreFree> trusted(X509_STORE_new());
  std::unique_ptr<STACK_OF(X509), StackFree> untrusted(sk_X509_new_null());
  std::unique_ptr<X509_STORE_CTX, StoreCtxFree> context(X509_STORE_CTX_new());
  if (!trusted || !untrusted || !context) throw std::bad_alloc();
  for (PCCERT_CONTEXT root : roots.Contexts()) X509_STORE_add_cert(trusted.get(), Shared(root));
  for (PCCERT_CONTEXT other : others.Contexts()) sk_X509_push(untrusted.get(), Shared(other));
  for (const StoredCrl& crl : crls) X509_STORE_add_crl(trusted.get(), crl.crl.get());

  VerifyState state;
  if (X509_STORE_CTX_init(context.get(), trusted.get(), Shared(endCertificate), untrusted.get()) != 1) {
    throw std::bad_alloc();
  }
  X509_STORE_CTX_set_app_data(context.get(), &state);
  X509_STORE_CTX_set_verify_cb(context.get(), CollectError);
  X509_VERIFY_PARAM* param = X509_STORE_CTX_get0_param(context.get());
  X509_VERIFY_PARAM_set_time(param, static_cast<time_t>(ToUnixTime(fileTime)));
  X509_VERIFY_PARAM_set_depth(param, kMaxDepth);
  X509_VERIFY_PARAM_set_auth_level(param, kSecurityLevel);
  // A list at hand is always consulted, so a revoked certificate is refused whether or not
  // revocation was asked for; only the asking makes a missing list count.
  const bool revocationAsked = (flags & CERT_CHAIN_REVOCATION_CHECK_CHAIN) != 0;
  if (revocationAsked || !crls.empty()) {
    X509_VERIFY_PARAM_set_flags(param, X509_V_FLAG_CRL_CHECK | X509_V_FLAG_CRL_CHECK_ALL);
  }
  const bool verified = X509_verify_cert(context.get()) == 1;
  if (!verified && X509_STORE_CTX_get_error(context.get()) == X509_V_OK) {
    state.errors[0] |= CERT_TRUST_INVALID_EXTENSION;  // OpenSSL gave up without a reason
  }

  auto record = std::make_unique<ChainRecord>();
  STACK_OF(X509)* built = X509_STORE_CTX_get0_chain(context.get());
  const int count = built != nullptr ? sk_X509_num(built) : 0;
  for (int i = 0; i < std::max(count, 1) && i <= kMaxDepth + 1; ++i) {
    X509* certificate = count > 0 ? sk_X509_value(built, i) : Shared(endCertificate);
    PCCERT_CONTEXT element = ContextFor(certificate, endCertificate, roots, others);
    if (element == nullptr) break;
    record->elements.push_back({element, {state.errors[i], 0}});
  }
  if (!record->elements.empty() && WeakAnchorDigest(Shared(record->elements.back().certificate))) {
    record->elements.back().trustStatus.errorStatus |= CERT_TRUST_IS_NOT_SIGNATURE_VALID;
  }
  for (std::size_t i = 0; revocationAsked && i < record->elements.size(); ++i) {
    // A self-signed root is trusted as it is: nobody above it could revoke it.
    const bool trustAnchor = i + 1 == record->elements.size() && i > 0 &&
                             X509_self_signed(Shared(record->elements[i].certificate), 0) == 1;
    if (state.revocationUnknown[i] && !trustAnchor) {
      record->elements[i].trustStatus.errorStatus |= CERT_TRUST_REVOCATION_STATUS_UNKNOWN;
    }
  }
  if (!ValidForUsage(record->elements, para)) {
    record->elements.front().trustStatus.errorStatus |= CERT_TRUST_IS_NOT_VALID_FOR_USAGE;
  }
  std::uint32_t all = 0;
  for (const CertChainElement& element : record->elements) all |= element.trustStatus.errorStatus;
  record->simple = {{all, 0}, static_cast<std::uint32_t>(record->elements.size()), record->elements.data()};
  record->trustStatus = {all, 0};
  record->chainCount = 1;
  record->chains = &record->simple;
  *chain = record.release();
  return true;
}

void CertFreeCertificateChain(PCCERT_CHAIN_CONTEXT chain) {
  if (chain == nullptr) return;
  auto* record = static_cast<ChainRecord*>(const_cast<CertChainContext*>(chain));
  for (const CertChainElement& element : record->elements) CertFreeCertificateContext(element.certificate);
  delete record;
}

std::int32_t CertVerifyTimeValidity(std::uint64_t fileTime, const X509* info) {
  const time_t when = static_cast<time_t>(ToUnixTime(fileTime));
  if (ASN1_TIME_cmp_time_t(X509_get0_notBefore(info), when) > 0) return -1;
  if (ASN1_TIME_cmp_time_t(X509_get0_notAfter(info), when) < 0) return 1;
  return 0;
}

}  // namespace capi
