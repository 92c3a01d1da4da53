#pragma once
// KsCertChainEngine: the library's object over one certificate chain engine. The root sets
// it up for a location: "Current User" and "Local Machine" use that location's default
// engine (never built, never freed); any other engine is built from its root and
// intermediate stores at the first CreateValidation.
#include <dcf/dcfComPtr.h>
#include <dcf/dcfCriticalSection.h>

#include <atomic>

#include "inc/ksCertUtility.h"
#include "ksCert/KsComObject.h"
#include "platform/cryptoapi/chain_engine.h"

class KsCertChainEngine final : public ksCertChainEngine,
                                public KsComObject,
                                public ksCertChainEngine2,
                                public ksCertChainEngine3 {
public:
  // The configuration flags of an engine the library builds: cache end certificates, only
  // cached URLs, cache auto-update, and bit 31.
  static constexpr std::uint32_t kEngineFlags = 0x80000015;

  static HRESULT CreateInstance(KsCertChainEngine** object);

  // Holds one reference on the root that made the engine.
  void SetOwner(ksCertUtility* owner) { owner_.Assign(owner); }
  // Uses the location's default engine from now on: ready, and never built or freed here.
  void UseSystemDefault(capi::StoreLocation location);

  capi::HCERTCHAINENGINE EngineHandle() const { return engine_; }
  bool IsSystemDefault() const { return isSystemDefault_; }
  bool IsReady() const { return engineReady_.load(std::memory_order_acquire); }
  const capi::CertChainEngineConfig& Config() const { return config_; }
  bool ChecksRevocation();

  HRESULT QueryInterface(const IID& iid, void** object) override;
  std::uint32_t AddRef() override { return AddReference(); }
  std::uint32_t Release() override { return ReleaseReference(); }

  // ksCertChainEngine
  HRESULT CreateValidation(ksCertChainValidation** validation) override;
  HRESULT get_RootStore(ksCertStore** store) override;
  HRESULT put_RootStore(ksCertStore* store) override;
  HRESULT get_IntermediateStore(ksCertStore** store) override;
  HRESULT put_IntermediateStore(ksCertStore* store) override;
  HRESULT get_Owner(ksCertUtility** owner) override;
  HRESULT SetRootStore(ksCertStore* store) override;
  HRESULT SetIntermediateStore(ksCertStore* store) override;

  // ksCertChainEngine2
  HRESULT CreateValidation(ksCertChainValidation2** validation) override;
  HRESULT get_RootStore(ksCertStore2** store) override;
  HRESULT put_RootStore(ksCertStore2* store) override;
  HRESULT get_IntermediateStore(ksCertStore2** store) override;

  // ksCertChainEngine3
  HRESULT put_CheckRevocation(VARIANT_BOOL checkRevocation) override;

private:
  KsCertChainEngine();
  ~KsCertChainEngine() override;

  // Builds the engine once, under the build lock; false when it cannot be built (the next
  // call tries again).
  bool EnsureBuilt();
  // A new validation (one reference) over the built engine; null when it cannot be built.
  class KsCertChainValidation* MakeValidation();
  template <class Interface>
  HRESULT CreateValidationAs(std::int32_t line, Interface** validation);
  // Holds the store and points the configuration's handle at its store handle.
  HRESULT UseStore(std::int32_t line, ksCertStore* store, dcfComPtr<ksCertStoreHandle>& held,
                   capi::HCERTSTORE& configured, const char* failure, bool followChanges);
  // Points a configuration handle at a store (null: none), with a reference of its own.
  static void ReplaceConfigured(capi::HCERTSTORE& configured, capi::HCERTSTORE handle);
  static HRESULT GetHeldStore(const dcfComPtr<ksCertStoreHandle>& held, ksCertStore** store);

  capi::HCERTCHAINENGINE engine_ = nullptr;
  bool isSystemDefault_ = false;
  capi::CertChainEngineConfig config_;
  dcfComPtr<ksCertUtility> owner_;
  dcfCriticalSection buildLock_;
  std::atomic<bool> engineReady_{false};
  dcfComPtr<ksCertStoreHandle> rootStore_;
  dcfComPtr<ksCertStoreHandle> intermediateStore_;
  dcfCriticalSection flagLock_;
  bool checkRevocation_ = false;
};
