// zelcon-demo-profiles FILE [--tls-cert-hash HEX40]: writes the demonstration's profile file
// (Data.cfg format) for the utility.
#include <cstdio>
#include <cstring>
#include <string>

#include "hosts/demo/demo_profiles.h"
#include "utility/core/profile_file.h"

int main(int argc, char** argv) {
  if (argc != 2 && !(argc == 4 && std::strcmp(argv[2], "--tls-cert-hash") == 0)) {
    std::fprintf(stderr, "usage: zelcon-demo-profiles FILE [--tls-cert-hash HEX40]\n");
    return 2;
  }
  std::optional<std::array<std::uint8_t, 20>> hash;
  if (argc == 4) {
    const std::string hex = argv[3];
    hash.emplace();
    for (std::size_t i = 0; i < hash->size(); ++i) {
      unsigned byte = 0;
      if (hex.size() != 40 || std::sscanf(hex.c_str() + 2 * i, "%2x", &byte) != 1) {
        std::fprintf(stderr, "zelcon-demo-profiles: --tls-cert-hash takes 40 hex digits\n");
        return 2;
      }
      (*hash)[i] = static_cast<std::uint8_t>(byte);
    }
  }
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
