// zelcon-demo-profiles FILE [--tls-cert-hash HEX40] [--trust-ca PEM]: writes the demonstration's
// profile file (Data.cfg format) for the utility; --trust-ca files the demo CA, which FreeRADIUS's
// certificate ends in, in the user's ROOT store (under $ZELNIC_CERT_ROOT), so the enterprise
// profiles accept the server.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "hosts/demo/demo_profiles.h"
#include "platform/cryptoapi/cert_import.h"
#include "utility/core/profile_file.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: zelcon-demo-profiles FILE [--tls-cert-hash HEX40] [--trust-ca PEM]\n");
  return 2;
}

bool ParseHash(const std::string& hex, std::array<std::uint8_t, 20>& hash) {
  if (hex.size() != 40) return false;
  for (std::size_t i = 0; i < hash.size(); ++i) {
    unsigned byte = 0;
    if (std::sscanf(hex.c_str() + 2 * i, "%2x", &byte) != 1) return false;
    hash[i] = static_cast<std::uint8_t>(byte);
  }
  return true;
}

bool TrustCa(const char* path) {
  std::ifstream file(path, std::ios::binary);
  const std::string pem((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (!file.good() && !file.eof()) {
    std::fprintf(stderr, "zelcon-demo-profiles: cannot read %s\n", path);
    return false;
  }
  const capi::ImportReport report = capi::ImportIntoStore(capi::StoreLocation::CurrentUser, "ROOT", pem, "");
  if (!report.ok || report.certificates == 0) {
    std::fprintf(stderr, "zelcon-demo-profiles: %s not filed in ROOT: %s\n", path,
                 report.ok ? "no certificate in it" : report.error.c_str());
    return false;
  }
  std::printf("zelcon-demo-profiles: %s filed in the user's ROOT store\n", path);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc % 2 != 0) return Usage();
  std::optional<std::array<std::uint8_t, 20>> hash;
  const char* caPath = nullptr;
  for (int i = 2; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--tls-cert-hash") == 0) {
      hash.emplace();
      if (!ParseHash(argv[i + 1], *hash)) {
        std::fprintf(stderr, "zelcon-demo-profiles: --tls-cert-hash takes 40 hex digits\n");
        return 2;
      }
    } else if (std::strcmp(argv[i], "--trust-ca") == 0) {
      caPath = argv[i + 1];
    } else {
      return Usage();
    }
  }
  if (caPath != nullptr && !TrustCa(caPath)) return 1;
  std::vector<PROFILE_ENTRY> profiles = demo::DemoProfiles(hash);
  const bool written = zelcon::WriteProfileFile(argv[1], profiles, argv[1]);
  for (PROFILE_ENTRY& p : profiles) zelcon::WipeProfile(p);
  if (!written) {
    std::fprintf(stderr, "zelcon-demo-profiles: cannot write %s\n", argv[1]);
    return 1;
  }
  std::printf("zelcon-demo-profiles: %zu profiles in %s\n", profiles.size(), argv[1]);
  return 0;
}
