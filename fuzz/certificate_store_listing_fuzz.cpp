// A certificate store's directory as anyone with access may fill it: the input names files
// (one per line) and gives each the rest of its line as contents. Listing finds only names
// of 40 hexadecimal digits with the certificate suffix, each once, upper case and sorted, and
// loading each of them stays in bounds.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "platform/cryptoapi/directory_store.h"
#include "platform/win32/test_temp_dir.h"

namespace {

const std::filesystem::path& StoreDirectory() {
  static const plat::TestTempDir dir;  // removed when the process ends
  static const std::filesystem::path path(dir.Path());
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::filesystem::path& dir = StoreDirectory();
  for (const auto& entry : std::filesystem::directory_iterator(dir)) std::filesystem::remove(entry);
  std::string_view text(reinterpret_cast<const char*>(data), size);
  for (int files = 0; !text.empty() && files < 16; ++files) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    const std::size_t space = std::min(line.find(' '), line.size());
    std::string name(line.substr(0, space));
    if (name.empty() || name == "." || name == ".." || name.size() > 200 ||
        name.find_first_of(std::string_view("/\0", 2)) != std::string::npos)
      continue;
    std::ofstream(dir / name, std::ios::binary) << line.substr(std::min(space + 1, line.size()));
  }
  const std::vector<std::string> hashes = capi::detail::ListCertificateHashes(dir.string());
  for (std::size_t i = 0; i < hashes.size(); ++i) {
    const std::string& hash = hashes[i];
    if (hash.size() != 40 || (i > 0 && hashes[i - 1] >= hash)) __builtin_trap();
    for (char c : hash)
      if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) __builtin_trap();
    (void)capi::detail::LoadCertificate(dir.string(), hash);
  }
  return 0;
}
