#include "platform/cryptoapi/store_location.h"

#include <cstdlib>

namespace capi {
namespace {

// An environment value that names an absolute directory, else nullopt.
std::optional<std::string> AbsoluteDirectoryVariable(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || value[0] != '/') return std::nullopt;
  return std::string(value);
}

const char* FolderOf(StoreLocation location) {
  return location == StoreLocation::CurrentUser ? "CurrentUser" : "LocalMachine";
}

}  // namespace

std::optional<std::string> LocationDirectory(StoreLocation location) {
  if (auto root = AbsoluteDirectoryVariable(kCertRootVariable)) {
    return *root + "/" + FolderOf(location);
  }
  if (location == StoreLocation::LocalMachine) {
    return std::string("/var/lib/zelnic/certificates/LocalMachine");
  }
  std::optional<std::string> dataHome = AbsoluteDirectoryVariable("XDG_DATA_HOME");
  if (!dataHome) {
    std::optional<std::string> home = AbsoluteDirectoryVariable("HOME");
    if (!home) return std::nullopt;
    dataHome = *home + "/.local/share";
  }
  return *dataHome + "/zelnic/certificates/CurrentUser";
}

std::optional<std::string> StoreFolderName(std::string_view storeName) {
  if (storeName.empty() || storeName == "." || storeName == "..") return std::nullopt;
  std::string folder;
  folder.reserve(storeName.size());
  for (char c : storeName) {
    if (c < 0x20 || c > 0x7E || c == '/' || c == '\\') return std::nullopt;
    folder.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
  }
  return folder;
}

}  // namespace capi
