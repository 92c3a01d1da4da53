#include "ksCert/KsCertChainEngine.h"

#include <dcf/dcfLock.h>

#include "ksCert/KsCertChainValidation.h"
#include "ksCert/dcfCom.h"
#include "platform/cryptoapi/cert_store.h"

namespace {

constexpr char kSourceFile[] = "KsCertChainEngine";

// The source lines recorded when a store's handle cannot be had.
constexpr std::int32_t kRootStoreFailureLine = 171;
constexpr std::int32_t kIntermediateStoreFailureLine = 266;

}  // namespace

HRESULT KsCertChainEngine::CreateInstance(KsCertChainEngine** object) {
  return Created(new (std::nothrow) KsCertChainEngine, object);
}

KsCertChainEngine::KsCertChainEngine() : KsComObject(kSourceFile) { config_.flags = kEngineFlags; }

KsCertChainEngine::~KsCertChainEngine() {
  if (!isSystemDefault_) capi::CertFreeCertificateChainEngine(engine_);
  ReplaceConfigured(config_.restrictedRoot, nullptr);
  ReplaceConfigured(config_.restrictedOther, nullptr);
}

void KsCertChainEngine::UseSystemDefault(capi::StoreLocation location) {
  if (!isSystemDefault_) capi::CertFreeCertificateChainEngine(engine_);
  engine_ = capi::CertDefaultChainEngine(location);
  isSystemDefault_ = true;
  engineReady_.store(true, std::memory_order_release);
}

bool KsCertChainEngine::ChecksRevocation() {
  dcfLock lock(flagLock_);
  return checkRevocation_;
}

HRESULT KsCertChainEngine::QueryInterface(const IID& iid, void** object) {
  const KsInterfaceEntry map[] = {
      {IID_ksCertChainEngine, static_cast<ksCertChainEngine*>(this)},
      {IID_ksCertChainEngine2, static_cast<ksCertChainEngine2*>(this)},
      {IID_ksCertChainEngine3, static_cast<ksCertChainEngine3*>(this)},
  };
  return QueryMap(map, iid, object);
}

bool KsCertChainEngine::EnsureBuilt() {
  if (engineReady_.load(std::memory_order_acquire)) return true;
  dcfLock lock(buildLock_);
  if (engineReady_.load(std::memory_order_acquire)) return true;
  if (!isSystemDefault_) capi::CertFreeCertificateChainEngine(engine_);
  engine_ = nullptr;
  isSystemDefault_ = false;
  if (!capi::CertCreateCertificateChainEngine(config_, &engine_)) {
    engine_ = nullptr;
    return false;
  }
  engineReady_.store(true, std::memory_order_release);
  return true;
}

KsCertChainValidation* KsCertChainEngine::MakeValidation() {
  if (!EnsureBuilt()) return nullptr;
  KsCertChainValidation* validation = nullptr;
  dcfCreateInstance<KsCertChainValidation>(&validation);
  validation->SetFactoryDirect(this);
  if (ChecksRevocation()) validation->SetCheckRevocation(true);
  return validation;
}

template <class Interface>
HRESULT KsCertChainEngine::CreateValidationAs(std::int32_t line, Interface** validation) {
  if (validation == nullptr) return E_POINTER;
  return RunGuarded(line, [&] {
    KsCertChainValidation* made = MakeValidation();
    *validation = made;
    return made != nullptr ? S_OK : S_FALSE;
  });
}

HRESULT KsCertChainEngine::CreateValidation(ksCertChainValidation** validation) {
  return CreateValidationAs(__LINE__, validation);
}

HRESULT KsCertChainEngine::CreateValidation(ksCertChainValidation2** validation) {
  return CreateValidationAs(__LINE__, validation);
}

HRESULT KsCertChainEngine::GetHeldStore(const dcfComPtr<ksCertStoreHandle>& held, ksCertStore** store) {
  if (store == nullptr) return E_POINTER;
  *store = nullptr;
  if (held) held->QueryInterface(IID_ksCertStore, reinterpret_cast<void**>(store));
  return S_OK;
}

HRESULT KsCertChainEngine::get_RootStore(ksCertStore** store) { return GetHeldStore(rootStore_, store); }

HRESULT KsCertChainEngine::get_IntermediateStore(ksCertStore** store) {
  return GetHeldStore(intermediateStore_, store);
}

HRESULT KsCertChainEngine::put_RootStore(ksCertStore* store) {
  return static_cast<ksCertChainEngine*>(this)->SetRootStore(store);
}

HRESULT KsCertChainEngine::put_IntermediateStore(ksCertStore* store) {
  return static_cast<ksCertChainEngine*>(this)->SetIntermediateStore(store);
}

HRESULT KsCertChainEngine::UseStore(std::int32_t line, ksCertStore* store, dcfComPtr<ksCertStoreHandle>& held,
                                    capi::HCERTSTORE& configured, const char* failure, bool followChanges) {
  return RunGuarded(line, [&] {
    if (store == nullptr) {
      held.Reset();
      ReplaceConfigured(configured, nullptr);
      return S_OK;
    }
    // The new store's handle first: until it is had, the old store and its handle stay as
    // they were, so the configuration never names a store that was let go.
    dcfComPtr<ksCertStoreHandle> candidate;
    ksCertStoreHandle* handleInterface = nullptr;
    HRESULT result = store->QueryInterface(IID_ksCertStoreHandle, reinterpret_cast<void**>(&handleInterface));
    capi::HCERTSTORE handle = nullptr;
    if (SUCCEEDED(result)) {
      candidate.Attach(handleInterface);
      result = handleInterface->GetStoreHandle(&handle);
    }
    if (FAILED(result)) {
      dcfRunTimeException error(failure);
      error.SetCode(result);
      dcfThrowRunTimeException(error, line, kSourceFile);
    }
    if (result != S_OK || handle == nullptr) return S_FALSE;
    ReplaceConfigured(configured, handle);
    held = candidate;
    if (followChanges) capi::CertControlStore(handle, 0, capi::CERT_STORE_CTRL_AUTO_RESYNC, nullptr);
    return S_OK;
  });
}

void KsCertChainEngine::ReplaceConfigured(capi::HCERTSTORE& configured, capi::HCERTSTORE handle) {
  // The configuration holds a reference of its own on its stores.
  capi::HCERTSTORE previous = configured;
  configured = handle != nullptr ? capi::CertDuplicateStore(handle) : nullptr;
  if (previous != nullptr) capi::CertCloseStore(previous, 0);
}

HRESULT KsCertChainEngine::SetRootStore(ksCertStore* store) {
  return UseStore(kRootStoreFailureLine, store, rootStore_, config_.restrictedRoot,
                  "failed to use private interface to retrieve a cert store handle for the root store",
                  /*followChanges=*/true);
}

HRESULT KsCertChainEngine::SetIntermediateStore(ksCertStore* store) {
  return UseStore(kIntermediateStoreFailureLine, store, intermediateStore_, config_.restrictedOther,
                  "failed to use private interface to retrieve a cert store handle for the intermediate "
                  "store",
                  /*followChanges=*/false);
}

HRESULT KsCertChainEngine::get_Owner(ksCertUtility** owner) {
  if (owner == nullptr) return E_POINTER;
  if (owner_) owner_->AddRef();
  *owner = owner_.Get();
  return S_OK;
}

HRESULT KsCertChainEngine::get_RootStore(ksCertStore2** store) {
  if (store == nullptr) return E_POINTER;
  *store = nullptr;
  return E_NOTIMPL;
}

HRESULT KsCertChainEngine::put_RootStore(ksCertStore2*) { return E_NOTIMPL; }

HRESULT KsCertChainEngine::get_IntermediateStore(ksCertStore2** store) {
  if (store == nullptr) return E_POINTER;
  *store = nullptr;
  return E_NOTIMPL;
}

HRESULT KsCertChainEngine::put_CheckRevocation(VARIANT_BOOL checkRevocation) {
  dcfLock lock(flagLock_);
  checkRevocation_ = checkRevocation == VARIANT_TRUE;
  return S_OK;
}
