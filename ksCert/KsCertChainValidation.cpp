#include "ksCert/KsCertChainValidation.h"

#include "ksCert/KsCert.h"
#include "ksCert/KsCertChain.h"
#include "ksCert/KsCertChainEngine.h"
#include "ksCert/KsCertHolders.h"
#include "ksCert/KsCertStore.h"
#include "ksCert/KsCertUsages.h"
#include "ksCert/dcfCom.h"
#include "platform/cryptoapi/cert_store.h"
#include "platform/win32/file_time.h"

namespace {

constexpr char kSourceFile[] = "KsCertChainValidation";
constexpr char kImplSourceFile[] = "ksCertChainValidationImpl";
constexpr std::int32_t kNoFactoryLine = 48;


}  // namespace

HRESULT KsCertChainValidation::CreateInstance(KsCertChainValidation** object) {
  return Created(new (std::nothrow) KsCertChainValidation, object);
}

KsCertChainValidation::KsCertChainValidation() : KsComObject(kSourceFile) {
  certificates_.Resize(1);  // the end certificate's place, empty until SetEndCert
  extraStore_.Attach(KsCertStore::NewMemoryStore(/*forceClose=*/false));
}

KsCertChainValidation::~KsCertChainValidation() {
  FreeContextsLastFirst(certificates_);
  extraStore_.Reset();
}

void KsCertChainValidation::SetFactoryDirect(KsCertChainEngine* engine) { owner_.Assign(engine); }

HRESULT KsCertChainValidation::QueryInterface(const IID& iid, void** object) {
  const KsInterfaceEntry map[] = {
      {IID_ksCertChainValidation, static_cast<ksCertChainValidation*>(this)},
      {IID_ksCertChainValidation2, static_cast<ksCertChainValidation2*>(this)},
  };
  return QueryMap(map, iid, object);
}

capi::PCCERT_CONTEXT KsCertChainValidation::Decode(const std::uint8_t* der, std::uint32_t length) {
  if (!extraStore_) return nullptr;  // no store could be opened: nothing is taken
  return KsCert::AddEncodedCertificate(extraStore_->Handle(), der, length);
}

HRESULT KsCertChainValidation::SetEndCert(const std::uint8_t* der, std::uint32_t length, VARIANT_BOOL* accepted) {
  if (accepted == nullptr) return E_POINTER;
  return RunGuarded(__LINE__, [&] {
    *accepted = VARIANT_FALSE;
    capi::PCCERT_CONTEXT context = Decode(der, length);
    if (context == nullptr) return S_FALSE;
    // A new end certificate takes the place of the old; the old stays in the extra store.
    capi::CertFreeCertificateContext(certificates_[0]);
    certificates_[0] = context;
    hasEndCert_ = true;
    *accepted = VARIANT_TRUE;
    return S_OK;
  });
}

HRESULT KsCertChainValidation::AddCert(const std::uint8_t* der, std::uint32_t length, VARIANT_BOOL* accepted) {
  if (accepted == nullptr) return E_POINTER;
  return RunGuarded(__LINE__, [&] {
    *accepted = VARIANT_FALSE;
    CertContextHolder context(Decode(der, length));
    if (!context) return S_FALSE;
    capi::PCCERT_CONTEXT item = context.get();
    certificates_.Append(&item, 1);
    context.release();
    *accepted = VARIANT_TRUE;
    return S_OK;
  });
}

KsCertChain* KsCertChainValidation::BuildChain(std::int32_t usage) {
  if (!hasEndCert_) return nullptr;
  const std::uint64_t now = plat::FileTimeNow();
  para_ = capi::CertChainPara{};
  if (usage == kCertUsageServerAuth) {
    para_ = {capi::USAGE_MATCH_TYPE_OR, std::size(kServerAuthUsages), kServerAuthUsages};
  } else if (usage == kCertUsageClientAuth) {
    para_ = {capi::USAGE_MATCH_TYPE_OR, std::size(kClientAuthUsages), kClientAuthUsages};
  }
  const std::uint32_t flags = checkRevocation_ ? kChainFlags | capi::CERT_CHAIN_REVOCATION_CHECK_CHAIN : kChainFlags;
  if (!owner_) {
    dcfThrowSequenceException(
        dcfSequenceException("must SetFactoryDirect before accessing CertChainEngine from CertChainValidation"),
        kNoFactoryLine, kImplSourceFile);
  }
  capi::PCCERT_CHAIN_CONTEXT built = nullptr;
  if (!capi::CertGetCertificateChain(owner_->EngineHandle(), certificates_[0], now, extraStore_->Handle(), para_,
                                     flags, &built)) {
    return nullptr;
  }
  ChainHolder holder(built);
  KsCertChain* chain = nullptr;
  dcfCreateInstance<KsCertChain>(&chain);
  chain->SetFactoryDirect(this);
  chain->Attach(holder.release(), now);
  return chain;
}

template <class Interface>
HRESULT KsCertChainValidation::MakeChain(std::int32_t line, std::int32_t usage, Interface** chain) {
  if (chain == nullptr) return E_POINTER;
  return RunGuarded(line, [&] {
    KsCertChain* built = BuildChain(usage);
    *chain = built;
    return built != nullptr ? S_OK : S_FALSE;
  });
}

HRESULT KsCertChainValidation::CreateChain(std::int32_t usage, ksCertChain** chain) {
  return MakeChain(__LINE__, usage, chain);
}

HRESULT KsCertChainValidation::CreateChain(std::int32_t usage, ksCertChain2** chain) {
  return MakeChain(__LINE__, usage, chain);
}

HRESULT KsCertChainValidation::get_Owner(ksCertChainEngine** owner) {
  if (owner == nullptr) return E_POINTER;
  ksCertChainEngine* engine = owner_.Get();
  if (engine != nullptr) engine->AddRef();
  *owner = engine;
  return S_OK;
}
