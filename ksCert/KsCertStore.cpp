#include "ksCert/KsCertStore.h"

#include "ksCert/KsCert.h"
#include "ksCert/KsCertHolders.h"
#include "ksCert/KsCertStoreEnumeration.h"
#include "ksCert/dcfCom.h"

namespace {
constexpr char kSourceFile[] = "KsCertStore";
}

HRESULT KsCertStore::CreateInstance(KsCertStore** object) {
  return Created(new (std::nothrow) KsCertStore, object);
}

KsCertStore::KsCertStore() : KsComObject(kSourceFile) {}

KsCertStore::~KsCertStore() {
  if (handle_ != nullptr) {
    capi::CertCloseStore(handle_, forceClose_ ? capi::CERT_CLOSE_STORE_FORCE_FLAG : 0);
  }
}

void KsCertStore::Attach(capi::HCERTSTORE handle, bool forceClose, IUnknown* owner) {
  handle_ = handle;
  forceClose_ = forceClose;
  owner_.Assign(owner);
}

KsCertStore* KsCertStore::NewMemoryStore(bool forceClose) {
  CertStoreHolder handle(capi::CertOpenMemoryStore());
  if (!handle) return nullptr;
  KsCertStore* store = nullptr;
  dcfCreateInstance<KsCertStore>(&store);
  store->Attach(handle.release(), forceClose, nullptr);
  return store;
}

HRESULT KsCertStore::QueryInterface(const IID& iid, void** object) {
  const KsInterfaceEntry map[] = {
      {IID_ksCertStore, static_cast<ksCertStore*>(this)},
      {IID_ksCertStoreHandle, static_cast<ksCertStoreHandle*>(this)},
      {IID_ksCertStore2, static_cast<ksCertStore2*>(this)},
  };
  return QueryMap(map, iid, object);
}

template <class Interface>
HRESULT KsCertStore::FindByHash(std::int32_t line, const std::uint8_t* hash, std::uint32_t length,
                                Interface** cert) {
  if (cert == nullptr) return E_POINTER;
  return RunGuarded(line, [&] {
    KsCert* found = nullptr;
    const bool ok = KsCert::FindCertificateByHash(static_cast<ksCertStore*>(this), handle_, hash, length, /*useMd5=*/false, &found);
    *cert = found;
    return ok ? S_OK : S_FALSE;
  });
}

HRESULT KsCertStore::GetCertByHash(const std::uint8_t* hash, std::uint32_t length, ksCert** cert) {
  return FindByHash(__LINE__, hash, length, cert);
}

HRESULT KsCertStore::GetCertByHash(const std::uint8_t* hash, std::uint32_t length, ksCert2** cert) {
  return FindByHash(__LINE__, hash, length, cert);
}

HRESULT KsCertStore::AddEncodedCert(const std::uint8_t* der, std::uint32_t length, std::int32_t format,
                                    VARIANT_BOOL* added) {
  if (added == nullptr) return E_POINTER;
  return RunGuarded(__LINE__, [&] {
    *added = VARIANT_FALSE;
    if (format != kCertFormatDer) return S_FALSE;
    capi::PCCERT_CONTEXT context = KsCert::AddEncodedCertificate(handle_, der, length);
    if (context == nullptr) return S_FALSE;
    capi::CertFreeCertificateContext(context);
    *added = VARIANT_TRUE;
    return S_OK;
  });
}

template <class Interface>
HRESULT KsCertStore::MakeEnumeration(std::int32_t line, Interface** enumeration) {
  if (enumeration == nullptr) return E_POINTER;
  return RunGuarded(line, [&] {
    KsCertStoreEnumeration* made = nullptr;
    dcfCreateInstance<KsCertStoreEnumeration>(&made);
    dcfComPtr<KsCertStoreEnumeration> holder;
    holder.Attach(made);
    made->Fill(this);
    *enumeration = made;
    made->AddRef();
    return S_OK;
  });
}

HRESULT KsCertStore::CreateEnumeration(ksCertArray** enumeration) {
  return MakeEnumeration(__LINE__, enumeration);
}

HRESULT KsCertStore::CreateEnumeration(ksCertStoreEnumeration** enumeration) {
  return MakeEnumeration(__LINE__, enumeration);
}

HRESULT KsCertStore::get_Owner(IUnknown** owner) {
  if (owner == nullptr) return E_POINTER;
  if (owner_) owner_->AddRef();
  *owner = owner_.Get();
  return S_OK;
}

HRESULT KsCertStore::GetStoreHandle(capi::HCERTSTORE* handle) {
  if (handle == nullptr) return E_POINTER;
  *handle = handle_;
  return S_OK;
}
