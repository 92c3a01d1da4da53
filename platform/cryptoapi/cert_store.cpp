#include "platform/cryptoapi/cert_store.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "platform/cryptoapi/cert_context.h"
#include "platform/cryptoapi/directory_store.h"
#include "platform/cryptoapi/last_error.h"
#include "platform/cryptoapi/stored_certificate.h"

namespace capi {
namespace {

using detail::StoredCertificate;
using Match = std::function<bool(const StoredCertificate&)>;

// The first certificate after `previous` (null: from the start) in the store's order that
// matches.
std::shared_ptr<StoredCertificate> NextMatch(CertStore& store, const StoredCertificate* previous,
                                             const Match& matches) {
  if (store.kind == CertStore::Kind::Memory) {
    std::lock_guard guard(store.lock);
    auto position = store.entries.begin();
    if (previous != nullptr) {
      position = std::find_if(store.entries.begin(), store.entries.end(),
                              [previous](const auto& entry) { return entry.get() == previous; });
      if (position == store.entries.end()) return nullptr;
      ++position;
    }
    for (; position != store.entries.end(); ++position) {
      if (matches(**position)) return *position;
    }
    return nullptr;
  }
  const std::string after = previous != nullptr ? detail::HashToHex(previous->sha1) : std::string();
  for (const std::string& hash : detail::ListCertificateHashes(store.directory)) {
    if (hash <= after) continue;
    auto certificate = detail::LoadCertificate(store.directory, hash);
    if (certificate != nullptr && matches(*certificate)) return certificate;
  }
  return nullptr;
}

bool HashEquals(const CryptHashBlob& blob, const std::uint8_t* hash, std::uint32_t size) {
  return blob.data != nullptr && blob.size == size && std::memcmp(blob.data, hash, size) == 0;
}

bool Md5Equals(const CryptHashBlob& blob, const StoredCertificate& certificate) {
  std::uint8_t md5[kMd5HashSize];
  unsigned int length = 0;
  return EVP_Digest(certificate.bytes.data(), certificate.bytes.size(), md5, &length, EVP_md5(),
                    nullptr) == 1 &&
         HashEquals(blob, md5, length);
}

HCERTSTORE NewStore(CertStore::Kind kind, std::string directory) {
  auto* store = new CertStore;
  store->kind = kind;
  store->directory = std::move(directory);
  return store;
}

StoredCertificate* StoredOf(PCCERT_CONTEXT context) {
  return context != nullptr ? detail::RecordOf(context)->certificate.get() : nullptr;
}

PCCERT_CONTEXT NotFound() {
  SetLastError(CRYPT_E_NOT_FOUND);
  return nullptr;
}

}  // namespace

HCERTSTORE CertOpenSystemStore(StoreLocation location, std::string_view storeName) {
  std::optional<std::string> locationDirectory = LocationDirectory(location);
  std::optional<std::string> folder = StoreFolderName(storeName);
  if (!locationDirectory || !folder) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return NewStore(CertStore::Kind::Directory, *locationDirectory + "/" + *folder);
}

HCERTSTORE CertOpenMemoryStore() { return NewStore(CertStore::Kind::Memory, {}); }

HCERTSTORE CertOpenLdapStore(std::string_view) {
  SetLastError(ERROR_FILE_NOT_FOUND);
  return nullptr;
}

HCERTSTORE CertDuplicateStore(HCERTSTORE store) {
  if (store != nullptr) store->references.fetch_add(1, std::memory_order_relaxed);
  return store;
}

bool CertCloseStore(HCERTSTORE store, std::uint32_t) {
  if (store != nullptr && store->references.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    delete store;
  }
  return true;
}

bool CertControlStore(HCERTSTORE store, std::uint32_t, std::uint32_t control, const void*) {
  if (store == nullptr || control != CERT_STORE_CTRL_AUTO_RESYNC) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  return true;
}

bool CertAddCertificateContextToStore(HCERTSTORE store, PCCERT_CONTEXT context,
                                      std::uint32_t disposition, PCCERT_CONTEXT* added) {
  if (added != nullptr) *added = nullptr;
  if (store == nullptr || context == nullptr || disposition != CERT_STORE_ADD_ALWAYS) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  // The store keeps a copy of its own, so later changes to the caller's context stay apart.
  StoredCertificate& source = *StoredOf(context);
  auto copy = detail::DecodeCertificate(source.bytes.data(),
                                        static_cast<std::uint32_t>(source.bytes.size()));
  if (copy == nullptr) {
    SetLastError(CRYPT_E_ASN1_BADTAG);
    return false;
  }
  {
    std::lock_guard guard(source.propertyLock);
    copy->friendlyName = source.friendlyName;
    copy->privateKey = source.privateKey;
  }
  if (store->kind == CertStore::Kind::Directory) {
    if (!detail::SaveCertificate(store->directory, *copy)) {
      SetLastError(ERROR_WRITE_FAULT);
      return false;
    }
  } else {
    std::lock_guard guard(store->lock);
    store->entries.push_back(copy);
  }
  if (added != nullptr) *added = detail::MakeContext(std::move(copy), store);
  return true;
}

PCCERT_CONTEXT CertFindCertificateInStore(HCERTSTORE store, std::uint32_t, std::uint32_t,
                                          std::uint32_t findType, const void* findParameter,
                                          PCCERT_CONTEXT previous) {
  const StoredCertificate* after = StoredOf(previous);
  std::shared_ptr<StoredCertificate> found;
  if (store != nullptr) {
    const auto* blob = static_cast<const CryptHashBlob*>(findParameter);
    switch (findType) {
      case CERT_FIND_ANY:
        found = NextMatch(*store, after, [](const StoredCertificate&) { return true; });
        break;
      case CERT_FIND_SHA1_HASH:
        if (blob == nullptr) break;
        // A system store files each certificate under its hash: look there first.
        if (store->kind == CertStore::Kind::Directory && after == nullptr) {
          if (blob->data != nullptr && blob->size == kSha1HashSize) {
            found = detail::LoadCertificate(store->directory, detail::HashToHex(blob->data));
          }
          break;
        }
        found = NextMatch(*store, after, [blob](const StoredCertificate& certificate) {
          return HashEquals(*blob, certificate.sha1, kSha1HashSize);
        });
        break;
      case CERT_FIND_MD5_HASH:
        if (blob == nullptr) break;
        found = NextMatch(*store, after, [blob](const StoredCertificate& certificate) {
          return Md5Equals(*blob, certificate);
        });
        break;
      default:
        break;
    }
  }
  CertFreeCertificateContext(previous);
  if (found == nullptr) return NotFound();
  return detail::MakeContext(std::move(found), store);
}

PCCERT_CONTEXT CertEnumCertificatesInStore(HCERTSTORE store, PCCERT_CONTEXT previous) {
  return CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_ANY, nullptr, previous);
}

bool CertDeleteCertificateFromStore(PCCERT_CONTEXT context) {
  if (context == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  HCERTSTORE store = context->store;
  const StoredCertificate* certificate = StoredOf(context);
  bool removed = false;
  if (store != nullptr && store->kind == CertStore::Kind::Directory) {
    removed = detail::RemoveCertificate(store->directory, certificate->sha1);
  } else if (store != nullptr) {
    std::lock_guard guard(store->lock);
    auto position = std::find_if(store->entries.begin(), store->entries.end(),
                                 [certificate](const auto& entry) { return entry.get() == certificate; });
    removed = position != store->entries.end();
    if (removed) store->entries.erase(position);
  }
  CertFreeCertificateContext(context);
  if (!removed) SetLastError(CRYPT_E_NOT_FOUND);
  return removed;
}

}  // namespace capi
