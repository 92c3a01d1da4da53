#include "ksCert/KsCertStoreEnumeration.h"

#include <dcf/dcfSourceFiles.h>

#include <cstring>

#include "ksCert/KsCert.h"
#include "ksCert/KsCertStore.h"
#include "platform/cryptoapi/cert_store.h"

namespace {
constexpr char kSourceFile[] = "KsCertStoreEnumeration";
}

HRESULT KsCertStoreEnumeration::CreateInstance(KsCertStoreEnumeration** object) {
  return Created(new (std::nothrow) KsCertStoreEnumeration, object);
}

KsCertStoreEnumeration::KsCertStoreEnumeration() : KsComObject(kSourceFile) {}

KsCertStoreEnumeration::~KsCertStoreEnumeration() {
  while (dcfAvlNode* node = items_.At(0)) {
    items_.Erase(node);
    delete static_cast<Item*>(node);
  }
}

void KsCertStoreEnumeration::Fill(KsCertStore* store) {
  store_.Assign(store);
  capi::PCCERT_CONTEXT context = nullptr;
  while ((context = capi::CertEnumCertificatesInStore(store->Handle(), context)) != nullptr) {
    std::uint32_t size = 0;
    if (!capi::CertGetCertificateContextProperty(context, capi::CERT_SHA1_HASH_PROP_ID, nullptr, &size) ||
        size != capi::kSha1HashSize) {
      continue;  // a certificate without a readable hash is left out
    }
    auto* item = new (std::nothrow) Item;
    if (item == nullptr) continue;
    if (!capi::CertGetCertificateContextProperty(context, capi::CERT_SHA1_HASH_PROP_ID, item->hash, &size)) {
      delete item;
      continue;
    }
    items_.AppendNode(item);
  }
}

HRESULT KsCertStoreEnumeration::QueryInterface(const IID& iid, void** object) {
  const KsInterfaceEntry map[] = {
      {IID_ksCertArray, static_cast<ksCertArray*>(this)},
      {IID_ksCertStoreEnumeration, static_cast<ksCertStoreEnumeration*>(this)},
  };
  return QueryMap(map, iid, object);
}

const KsCertStoreEnumeration::Item* KsCertStoreEnumeration::ItemAt(std::int32_t index) const {
  if (index < 0 || static_cast<std::uint32_t>(index) >= items_.Count()) return nullptr;
  const dcfAvlNode* node = items_.At(static_cast<std::uint32_t>(index));
  if (node == nullptr) {
    dcfThrowRangeException(dcfRangeException("attempt to get reference of NULL object"), 604,
                           dcfSourceFile::kArray);
  }
  return static_cast<const Item*>(node);
}

HRESULT KsCertStoreEnumeration::get_NumCerts(std::int32_t* count) {
  if (count == nullptr) return E_POINTER;
  *count = static_cast<std::int32_t>(items_.Count());
  return S_OK;
}

template <class Interface>
HRESULT KsCertStoreEnumeration::GetCert(std::int32_t line, std::int32_t index, Interface** cert) {
  if (cert == nullptr) return E_POINTER;
  return RunGuarded(line, [&] {
    const Item* item = ItemAt(index);
    KsCert* found = nullptr;
    // The certificate belongs to the store, not to the snapshot.
    const bool ok = item != nullptr && KsCert::FindCertificateByHash(static_cast<ksCertStore*>(store_.Get()), store_->Handle(), item->hash,
                                                                     capi::kSha1HashSize, false, &found);
    *cert = found;
    return ok ? S_OK : S_FALSE;
  });
}

HRESULT KsCertStoreEnumeration::get_Cert(std::int32_t index, ksCert** cert) { return GetCert(__LINE__, index, cert); }

HRESULT KsCertStoreEnumeration::get_Cert(std::int32_t index, ksCert2** cert) { return GetCert(__LINE__, index, cert); }

HRESULT KsCertStoreEnumeration::get_CertHash(std::int32_t index, std::uint8_t* buffer, std::uint32_t size,
                                             std::uint32_t* length) {
  if (buffer == nullptr || length == nullptr) return E_POINTER;
  return RunGuarded(__LINE__, [&] {
    const Item* item = ItemAt(index);
    if (item == nullptr) {
      std::memset(buffer, 0, size);
      *length = 0;
      return S_FALSE;
    }
    // A short buffer learns the needed size and gets nothing.
    *length = capi::kSha1HashSize;
    if (size >= capi::kSha1HashSize) std::memcpy(buffer, item->hash, capi::kSha1HashSize);
    return S_OK;
  });
}

HRESULT KsCertStoreEnumeration::get_Owner(IUnknown** owner) {
  if (owner == nullptr) return E_POINTER;
  ksCertStore* store = store_.Get();
  if (store != nullptr) store->AddRef();
  *owner = store;
  return S_OK;
}
