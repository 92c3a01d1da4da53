#pragma once
// Certificate stores. A system store is a directory of DER files (see directory_store.h and
// store_location.h): every call reads it afresh, so a store always follows its files and
// what one handle adds another sees at once. A memory store lives only in memory and keeps
// every certificate added to it, duplicates included. Stores are reference counted: the
// handle's opener and every context found in the store each hold a reference.
#include <cstdint>
#include <string_view>

#include "platform/cryptoapi/handles.h"
#include "platform/cryptoapi/store_location.h"

namespace capi {

// A location's system store by name (matched without case). A store that has no directory
// yet is empty; its directory is made by the first add. Null (ERROR_INVALID_PARAMETER) for a
// name that cannot be a store, or when the location has no directory.
HCERTSTORE CertOpenSystemStore(StoreLocation location, std::string_view storeName);

// A new, empty memory store.
HCERTSTORE CertOpenMemoryStore();

// A read-only store over an LDAP URL. There is no directory client here, so it always fails
// (null, ERROR_FILE_NOT_FOUND), as an unreachable server does.
HCERTSTORE CertOpenLdapStore(std::string_view url);

// Adds a reference and returns the same store.
HCERTSTORE CertDuplicateStore(HCERTSTORE store);

// Gives back the opener's reference. Contexts found in the store keep it alive until they
// are freed, also with the force flag: no context is ever left pointing at a freed store.
constexpr std::uint32_t CERT_CLOSE_STORE_FORCE_FLAG = 0x1;
bool CertCloseStore(HCERTSTORE store, std::uint32_t flags);

// CERT_STORE_CTRL_AUTO_RESYNC: a system store always reads its files afresh, so asking it to
// follow them succeeds at once. Other controls fail (ERROR_INVALID_PARAMETER).
constexpr std::uint32_t CERT_STORE_CTRL_AUTO_RESYNC = 4;
bool CertControlStore(HCERTSTORE store, std::uint32_t flags, std::uint32_t control,
                      const void* parameter);

// Adds a copy of the context (with its friendly name and a private key it keeps in memory)
// to the store. Only CERT_STORE_ADD_ALWAYS is offered: a memory store then holds one more
// entry; a system store files the certificate under its hash, so adding it again leaves one
// file. With `added`
// non-null it receives a new context of the stored copy.
constexpr std::uint32_t CERT_STORE_ADD_ALWAYS = 4;
bool CertAddCertificateContextToStore(HCERTSTORE store, PCCERT_CONTEXT context,
                                      std::uint32_t disposition, PCCERT_CONTEXT* added);

// What CertFindCertificateInStore looks for; the hash types take a CryptHashBlob.
constexpr std::uint32_t CERT_FIND_ANY = 0;
constexpr std::uint32_t CERT_FIND_SHA1_HASH = 0x10000;
constexpr std::uint32_t CERT_FIND_MD5_HASH = 0x40000;
struct CryptHashBlob {
  std::uint32_t size;
  const std::uint8_t* data;
};

// The next certificate after `previous` (null: from the start) that matches; null with
// CRYPT_E_NOT_FOUND at the end. `previous` is freed, as by CertFreeCertificateContext.
PCCERT_CONTEXT CertFindCertificateInStore(HCERTSTORE store, std::uint32_t encodingType,
                                          std::uint32_t findFlags, std::uint32_t findType,
                                          const void* findParameter, PCCERT_CONTEXT previous);

// The next certificate after `previous` (null: the first); null with CRYPT_E_NOT_FOUND at
// the end. `previous` is freed. A system store lists its certificates in hash order.
PCCERT_CONTEXT CertEnumCertificatesInStore(HCERTSTORE store, PCCERT_CONTEXT previous);

// Removes the context's certificate from the store it was found in (a system store removes
// its files) and frees the context in every case. False when the context is in no store or
// the certificate is no longer there.
bool CertDeleteCertificateFromStore(PCCERT_CONTEXT context);

}  // namespace capi
