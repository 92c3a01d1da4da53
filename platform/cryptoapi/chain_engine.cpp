#include "platform/cryptoapi/chain_engine.h"

#include <vector>

#include "platform/cryptoapi/cert_store.h"
#include "platform/cryptoapi/last_error.h"

namespace capi {

// An engine made from a configuration owns a reference on each store it names. A default
// engine names no store: it opens its location's stores whenever it builds a chain, so it
// follows them as they change.
struct ChainEngine {
  bool isDefault = false;
  StoreLocation location = StoreLocation::CurrentUser;
  HCERTSTORE root = nullptr;
  HCERTSTORE other = nullptr;
  std::vector<HCERTSTORE> additional;
  std::uint32_t flags = 0;
};

namespace {

ChainEngine* DefaultEngine(StoreLocation location) {
  static ChainEngine currentUser{true, StoreLocation::CurrentUser, nullptr, nullptr, {}, 0};
  static ChainEngine localMachine{true, StoreLocation::LocalMachine, nullptr, nullptr, {}, 0};
  return location == StoreLocation::CurrentUser ? &currentUser : &localMachine;
}

}  // namespace

bool CertCreateCertificateChainEngine(const CertChainEngineConfig& config, HCERTCHAINENGINE* engine) {
  if (engine == nullptr || (config.additionalStoreCount > 0 && config.additionalStores == nullptr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  auto* made = new ChainEngine;
  made->root = CertDuplicateStore(config.restrictedRoot);
  made->other = CertDuplicateStore(config.restrictedOther);
  for (std::uint32_t i = 0; i < config.additionalStoreCount; ++i) {
    made->additional.push_back(CertDuplicateStore(config.additionalStores[i]));
  }
  made->flags = config.flags;
  *engine = made;
  return true;
}

void CertFreeCertificateChainEngine(HCERTCHAINENGINE engine) {
  if (engine == nullptr || engine->isDefault) return;
  CertCloseStore(engine->root, 0);
  CertCloseStore(engine->other, 0);
  for (HCERTSTORE store : engine->additional) CertCloseStore(store, 0);
  delete engine;
}

HCERTCHAINENGINE CertDefaultChainEngine(StoreLocation location) { return DefaultEngine(location); }

bool CertIsDefaultChainEngine(HCERTCHAINENGINE engine) { return engine != nullptr && engine->isDefault; }

namespace detail {
namespace {

// The system stores of a name that a location's engine reads: the current user's engine
// also reads the machine's.
void OpenLocationStores(StoreLocation location, const char* name, std::vector<HCERTSTORE>& out) {
  for (StoreLocation each : {StoreLocation::CurrentUser, StoreLocation::LocalMachine}) {
    if (location == StoreLocation::LocalMachine && each == StoreLocation::CurrentUser) continue;
    if (HCERTSTORE store = CertOpenSystemStore(each, name)) out.push_back(store);
  }
}

}  // namespace

EngineStores StoresOf(HCERTCHAINENGINE engine) {
  EngineStores stores;
  const StoreLocation location = engine != nullptr && engine->isDefault ? engine->location : StoreLocation::CurrentUser;
  if (engine != nullptr && engine->root != nullptr) {
    stores.roots.push_back(CertDuplicateStore(engine->root));
  } else {
    OpenLocationStores(location, "ROOT", stores.roots);
  }
  if (engine != nullptr && engine->other != nullptr) {
    stores.intermediates.push_back(CertDuplicateStore(engine->other));
  } else {
    OpenLocationStores(location, "CA", stores.intermediates);
  }
  if (engine != nullptr) {
    for (HCERTSTORE store : engine->additional) stores.intermediates.push_back(CertDuplicateStore(store));
  }
  return stores;
}

}  // namespace detail

}  // namespace capi
