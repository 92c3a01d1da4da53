#pragma once
// Certificate chain engines: the configuration that chains are built with (which stores are
// trusted as roots, which supply intermediates). A location's default engine trusts that
// location's "ROOT" store (the current user's also the machine's) and takes intermediates
// from the matching "CA" stores; it exists for the life of the process and is never freed.
// An engine made from a configuration trusts only the stores the configuration names.
#include <cstdint>
#include <vector>

#include "platform/cryptoapi/handles.h"
#include "platform/cryptoapi/store_location.h"

namespace capi {

constexpr std::uint32_t CERT_CHAIN_CACHE_END_CERT = 0x1;
constexpr std::uint32_t CERT_CHAIN_CACHE_ONLY_URL_RETRIEVAL = 0x4;
constexpr std::uint32_t CERT_CHAIN_ENABLE_CACHE_AUTO_UPDATE = 0x10;

struct CertChainEngineConfig {
  HCERTSTORE restrictedRoot = nullptr;   // the trusted roots; null: as the current user's engine
  HCERTSTORE restrictedTrust = nullptr;  // not used here
  HCERTSTORE restrictedOther = nullptr;  // intermediates; null: as the current user's engine
  std::uint32_t additionalStoreCount = 0;
  const HCERTSTORE* additionalStores = nullptr;
  std::uint32_t flags = 0;
  std::uint32_t urlRetrievalTimeout = 0;  // no URL is ever fetched here
  // Tuning of CryptoAPI's certificate cache and of its loop detection in chain building,
  // under their CryptoAPI names; 0 is CryptoAPI's default. Chains are built afresh each time
  // here, and OpenSSL's building stops at the depth limit, so neither changes anything.
  std::uint32_t MaximumCachedCertificates = 0;
  std::uint32_t CycleDetectionModulus = 0;
};

// A new engine over the configuration; it holds a reference on each store named there.
// False (ERROR_INVALID_PARAMETER) when `engine` is null.
bool CertCreateCertificateChainEngine(const CertChainEngineConfig& config, HCERTCHAINENGINE* engine);

// Frees an engine made by CertCreateCertificateChainEngine and gives back its store
// references. Null and the default engines are left alone.
void CertFreeCertificateChainEngine(HCERTCHAINENGINE engine);

// The default engine of a location.
HCERTCHAINENGINE CertDefaultChainEngine(StoreLocation location);

// True for the default engines.
bool CertIsDefaultChainEngine(HCERTCHAINENGINE engine);

namespace detail {

// The stores an engine builds chains from, each opened or duplicated for the caller, who
// closes them: the trusted roots, and where intermediates are looked for.
struct EngineStores {
  std::vector<HCERTSTORE> roots;
  std::vector<HCERTSTORE> intermediates;
};
EngineStores StoresOf(HCERTCHAINENGINE engine);

}  // namespace detail

}  // namespace capi
