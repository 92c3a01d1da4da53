#pragma once
// Putting certificates into the stores, as the system's certificate manager does: a file of
// certificates, private keys and revocation lists (PEM, DER or PKCS#12) goes into a named
// store of a location; a store is listed; an entry is removed by its hash. The command
// `zelcert` (tools/zelcert.cpp) offers these to users.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/cryptoapi/store_location.h"

namespace capi {

// Largest file read for an import.
constexpr std::size_t kMaxImportBytes = 16u << 20;

struct ImportReport {
  bool ok = false;
  std::string error;  // why not, when !ok
  std::uint32_t certificates = 0;
  std::uint32_t keys = 0;
  std::uint32_t revocationLists = 0;
};

// Imports every certificate, private key and revocation list of the file's bytes into the
// store. PEM may hold any number of each (keys may be encrypted); DER holds one certificate,
// one revocation list or one PKCS#8 key; PKCS#12 holds a certificate with its key and maybe
// further certificates. Each key is filed with the certificate of the file that it belongs
// to (owner-only); a key that belongs to none refuses the whole import before anything is
// written. `password` opens PKCS#12 files and encrypted keys (empty: none).
ImportReport ImportIntoStore(StoreLocation location, std::string_view storeName, std::string_view bytes,
                             std::string_view password);

struct StoreEntry {
  std::string hash;  // SHA-1, upper-case hex
  bool isRevocationList = false;
  std::string subject;    // the certificate's subject, or the list's issuer (X.500 text)
  std::string notBefore;  // "2025-01-31 12:00:00 UTC"; a list's this-update
  std::string notAfter;   // a list's next update ("" when it names none)
  bool hasPrivateKey = false;
};

// The store's certificates and revocation lists; false when the store cannot be opened.
bool ListStore(StoreLocation location, std::string_view storeName, std::vector<StoreEntry>& entries);

// Removes the certificate (with its key and friendly name) or the revocation list with this
// hash; false with the reason when there is none or it cannot be removed.
bool RemoveFromStore(StoreLocation location, std::string_view storeName, const std::string& hexHash,
                     std::string& error);

}  // namespace capi
