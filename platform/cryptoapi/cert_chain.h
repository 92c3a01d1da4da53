#pragma once
// Certificate chains: from an end certificate up to a trusted root, built with an engine's
// stores over OpenSSL's verification, each element's problems given as trust-status bits.
#include <openssl/x509.h>

#include <cstdint>

#include "platform/cryptoapi/handles.h"

namespace capi {

// Trust-status error bits, of one element or of the whole chain.
constexpr std::uint32_t CERT_TRUST_NO_ERROR = 0x0;
constexpr std::uint32_t CERT_TRUST_IS_NOT_TIME_VALID = 0x1;
constexpr std::uint32_t CERT_TRUST_IS_NOT_TIME_NESTED = 0x2;
constexpr std::uint32_t CERT_TRUST_IS_REVOKED = 0x4;
constexpr std::uint32_t CERT_TRUST_IS_NOT_SIGNATURE_VALID = 0x8;
constexpr std::uint32_t CERT_TRUST_IS_NOT_VALID_FOR_USAGE = 0x10;
constexpr std::uint32_t CERT_TRUST_IS_UNTRUSTED_ROOT = 0x20;
constexpr std::uint32_t CERT_TRUST_REVOCATION_STATUS_UNKNOWN = 0x40;
constexpr std::uint32_t CERT_TRUST_IS_CYCLIC = 0x80;
constexpr std::uint32_t CERT_TRUST_INVALID_EXTENSION = 0x100;
constexpr std::uint32_t CERT_TRUST_INVALID_POLICY_CONSTRAINTS = 0x200;
constexpr std::uint32_t CERT_TRUST_INVALID_BASIC_CONSTRAINTS = 0x400;
constexpr std::uint32_t CERT_TRUST_INVALID_NAME_CONSTRAINTS = 0x800;
constexpr std::uint32_t CERT_TRUST_IS_PARTIAL_CHAIN = 0x10000;
constexpr std::uint32_t CERT_TRUST_CTL_IS_NOT_TIME_VALID = 0x20000;
constexpr std::uint32_t CERT_TRUST_CTL_IS_NOT_SIGNATURE_VALID = 0x40000;
constexpr std::uint32_t CERT_TRUST_CTL_IS_NOT_VALID_FOR_USAGE = 0x80000;

struct CertTrustStatus {
  std::uint32_t errorStatus;
  std::uint32_t infoStatus;  // not used here: 0
};

struct CertChainElement {
  PCCERT_CONTEXT certificate;  // held by the chain
  CertTrustStatus trustStatus;
};

// Element 0 is the end certificate; the last is the root, or the last certificate found.
struct CertSimpleChain {
  CertTrustStatus trustStatus;  // the elements' errors together
  std::uint32_t elementCount;
  const CertChainElement* elements;
};

struct CertChainContext {
  CertTrustStatus trustStatus;
  std::uint32_t chainCount;  // 1 here
  const CertSimpleChain* chains;
};
using PCCERT_CHAIN_CONTEXT = const CertChainContext*;

// The usage a chain is asked to be good for: with USAGE_MATCH_TYPE_OR one of the extended
// key usages, with USAGE_MATCH_TYPE_AND all of them; none: any use.
constexpr std::uint32_t USAGE_MATCH_TYPE_AND = 0;
constexpr std::uint32_t USAGE_MATCH_TYPE_OR = 1;
struct CertChainPara {
  std::uint32_t usageType = USAGE_MATCH_TYPE_AND;
  std::uint32_t usageCount = 0;
  const char* const* usageIdentifiers = nullptr;  // dotted object identifiers
};

// Flags of CertGetCertificateChain: CERT_CHAIN_REVOCATION_CHECK_CHAIN asks for the revocation
// status of every element (no revocation list can be fetched here, so it comes out unknown);
// the caching flags change nothing here.
constexpr std::uint32_t CERT_CHAIN_REVOCATION_CHECK_CHAIN = 0x20000000;

// Builds the chain of `endCertificate` at `fileTime` (100 ns since 1601), trusting the
// engine's roots and taking intermediates from its stores and from `additionalStore` (may be
// null). Fails (null, ERROR_INVALID_PARAMETER) only for missing arguments; every problem of
// the chain itself is in its trust status. The caller frees the chain.
bool CertGetCertificateChain(HCERTCHAINENGINE engine, PCCERT_CONTEXT endCertificate, std::uint64_t fileTime,
                             HCERTSTORE additionalStore, const CertChainPara& para, std::uint32_t flags,
                             PCCERT_CHAIN_CONTEXT* chain);

void CertFreeCertificateChain(PCCERT_CHAIN_CONTEXT chain);

// -1 when the certificate is not yet valid at fileTime, 1 when it has expired, else 0.
std::int32_t CertVerifyTimeValidity(std::uint64_t fileTime, const X509* info);

}  // namespace capi
