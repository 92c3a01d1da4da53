#include "ksCert/KsCertArray.h"

#include "ksCert/KsCert.h"
#include "ksCert/KsCertHolders.h"
#include "ksCert/KsCertRef.h"
#include "ksCert/KsCertStore.h"
#include "ksCert/KsCertViewer.h"
#include "ksCert/dcfCom.h"
#include "platform/cryptoapi/cert_store.h"

namespace {
constexpr char kSourceFile[] = "KsCertArray";
}

HRESULT KsCertArray::CreateInstance(KsCertArray** object) {
  return Created(new (std::nothrow) KsCertArray, object);
}

KsCertArray::KsCertArray() : KsComObject(kSourceFile) {
  memoryStore_.Attach(KsCertStore::NewMemoryStore(/*forceClose=*/true));
}

KsCertArray::~KsCertArray() { FreeContextsLastFirst(items_); }

bool KsCertArray::Add(const std::uint8_t* der, std::uint32_t length) {
  if (!memoryStore_) return false;
  CertContextHolder context(KsCert::AddEncodedCertificate(memoryStore_->Handle(), der, length));
  if (!context) return false;
  capi::PCCERT_CONTEXT item = context.get();
  items_.Append(&item, 1);
  context.release();
  return true;
}

HRESULT KsCertArray::QueryInterface(const IID& iid, void** object) {
  const KsInterfaceEntry map[] = {
      {IID_ksCertArray, static_cast<ksCertArray*>(this)},
      {IID_ksCertArrayView, static_cast<ksCertArrayView*>(this)},
  };
  return QueryMap(map, iid, object);
}

capi::PCCERT_CONTEXT KsCertArray::ItemAt(std::int32_t index) const {
  if (index < 0 || static_cast<std::uint32_t>(index) >= items_.Length()) {
    dcfThrowRangeException(dcfRangeException("out-of-bounds access against KsCertArray"), __LINE__, kSourceFile);
  }
  return items_[static_cast<std::uint32_t>(index)];
}

KsCertRef* KsCertArray::MakeRef(std::int32_t index) const {
  capi::PCCERT_CONTEXT item = ItemAt(index);
  KsCertRef* made = nullptr;
  dcfCreateInstance<KsCertRef>(&made);
  // The array and the certificate free their own contexts, in either order.
  made->Impl().SetContext(capi::CertDuplicateCertificateContext(item));
  made->Impl().SetOwner(static_cast<ksCertStore*>(memoryStore_.Get()));
  return made;
}

HRESULT KsCertArray::get_NumCerts(std::int32_t* count) {
  if (count == nullptr) return E_POINTER;
  *count = static_cast<std::int32_t>(items_.Length());
  return S_OK;
}

HRESULT KsCertArray::get_Cert(std::int32_t index, ksCert** cert) {
  if (cert == nullptr) return E_POINTER;
  return RunGuarded(__LINE__, [&] {
    *cert = MakeRef(index);
    return S_OK;
  });
}

HRESULT KsCertArray::get_CertHash(std::int32_t index, std::uint8_t* buffer, std::uint32_t size,
                                  std::uint32_t* length) {
  if (buffer == nullptr || length == nullptr) return E_POINTER;
  return RunGuarded(__LINE__, [&] {
    dcfComPtr<KsCertRef> cert;
    cert.Attach(MakeRef(index));
    return static_cast<ksCert*>(cert.Get())->get_Hash(buffer, size, length);
  });
}

HRESULT KsCertArray::get_Owner(IUnknown** owner) {
  if (owner == nullptr) return E_POINTER;
  if (owner_) owner_->AddRef();
  *owner = owner_.Get();
  return S_OK;
}

HRESULT KsCertArray::ViewCert(std::int32_t index, VARIANT_BOOL* viewed) {
  return RunGuarded(__LINE__, [&] {
    capi::PCCERT_CONTEXT item = ItemAt(index);
    std::int32_t ran = 0;
    // The other certificates of the array are there for the viewer's chain.
    RunCertificateViewer(memoryStore_ ? memoryStore_->Handle() : nullptr, item, &ran);
    if (viewed != nullptr) *viewed = ran != 0 ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  });
}
