// zelcert: puts certificates, private keys and revocation lists into the certificate stores,
// lists a store and removes entries, as the system's certificate manager does.
//
//   zelcert import [--machine] [--password-file FILE|-] STORE FILE
//   zelcert list   [--machine] STORE
//   zelcert remove [--machine] STORE SHA1
//
// STORE is a store name ("MY" for the user's own certificates, "ROOT" for trusted roots, "CA"
// for intermediates and revocation lists); --machine uses the machine's stores instead of
// the current user's. Exit status: 0 done, 1 failed, 2 wrong use.
#include <openssl/crypto.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "platform/cryptoapi/cert_import.h"
#include "platform/win32/atomic_file.h"

namespace {

constexpr std::size_t kMaxPasswordBytes = 4096;

int Usage() {
  std::cerr << "usage: zelcert import [--machine] [--password-file FILE|-] STORE FILE\n"
               "       zelcert list [--machine] STORE\n"
               "       zelcert remove [--machine] STORE SHA1\n";
  return 2;
}

// The password from a file or standard input, without its line end; never from the command
// line, where other users could read it.
bool ReadPassword(const std::string& source, std::string& password) {
  if (source == "-") {
    std::getline(std::cin, password);
  } else {
    std::optional<std::string> text = plat::ReadWholeFile(source, kMaxPasswordBytes);
    if (!text) return false;
    password = std::move(*text);
  }
  while (!password.empty() && (password.back() == '\n' || password.back() == '\r')) password.pop_back();
  return true;
}

int Import(capi::StoreLocation location, const std::string& store, const std::string& file,
           const std::string& passwordSource) {
  std::string password;
  if (!passwordSource.empty() && !ReadPassword(passwordSource, password)) {
    std::cerr << "zelcert: cannot read the password from " << passwordSource << "\n";
    return 1;
  }
  std::optional<std::string> bytes = plat::ReadWholeFile(file, capi::kMaxImportBytes);
  if (!bytes) {
    std::cerr << "zelcert: cannot read " << file << "\n";
    OPENSSL_cleanse(password.data(), password.size());
    return 1;
  }
  const capi::ImportReport report = capi::ImportIntoStore(location, store, *bytes, password);
  OPENSSL_cleanse(password.data(), password.size());
  OPENSSL_cleanse(bytes->data(), bytes->size());  // it may have held a private key
  if (!report.ok) {
    std::cerr << "zelcert: " << file << ": " << report.error << "\n";
    return 1;
  }
  std::cout << "imported into " << store << ": " << report.certificates << " certificate(s), " << report.keys
            << " private key(s), " << report.revocationLists << " revocation list(s)\n";
  return 0;
}

int List(capi::StoreLocation location, const std::string& store) {
  std::vector<capi::StoreEntry> entries;
  if (!capi::ListStore(location, store, entries)) {
    std::cerr << "zelcert: no such store: \"" << store << "\"\n";
    return 1;
  }
  for (const capi::StoreEntry& entry : entries) {
    if (entry.isRevocationList) {
      std::cout << entry.hash << "  revocation list of " << entry.subject << "  issued " << entry.notBefore
                << (entry.notAfter.empty() ? "" : ", next " + entry.notAfter) << "\n";
    } else {
      std::cout << entry.hash << "  " << entry.subject << "  valid " << entry.notBefore << " to " << entry.notAfter
                << (entry.hasPrivateKey ? "  (private key)" : "") << "\n";
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> words;
  capi::StoreLocation location = capi::StoreLocation::CurrentUser;
  std::string passwordSource;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--machine") {
      location = capi::StoreLocation::LocalMachine;
    } else if (word == "--password-file" && i + 1 < argc) {
      passwordSource = argv[++i];
    } else if (word.starts_with("--")) {
      return Usage();
    } else {
      words.push_back(word);
    }
  }
  if (words.size() == 3 && words[0] == "import") return Import(location, words[1], words[2], passwordSource);
  if (words.size() == 2 && words[0] == "list" && passwordSource.empty()) return List(location, words[1]);
  if (words.size() == 3 && words[0] == "remove" && passwordSource.empty()) {
    std::string error;
    if (capi::RemoveFromStore(location, words[1], words[2], error)) return 0;
    std::cerr << "zelcert: " << error << "\n";
    return 1;
  }
  return Usage();
}
