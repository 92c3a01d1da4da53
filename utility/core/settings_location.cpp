#include "utility/core/settings_location.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/win32/atomic_file.h"

namespace zelcon {
namespace {

constexpr size_t kMaxCopiedBytes = size_t(64) << 20;

std::string UserConfigDirectory() {
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/')
    return std::string(config) + "/zelcon";
  if (const char* home = std::getenv("HOME"); home && *home) return std::string(home) + "/.config/zelcon";
  return {};
}

// The first time only: the target does not exist yet.
void CopyIfMissing(const std::string& from, const std::string& to) {
  struct stat st {};
  if (::stat(to.c_str(), &st) == 0 || errno != ENOENT) return;
  std::optional<std::string> bytes = plat::ReadWholeFile(from, kMaxCopiedBytes);
  if (!bytes) return;
  plat::WriteFileAtomically(to, *bytes, plat::kPrivateFileMode);
  volatile char* wipe = bytes->data();  // Data.cfg's pass phrases are only masked
  for (size_t i = 0; i < bytes->size(); ++i) wipe[i] = 0;
}

}  // namespace

std::string SettingsDirectory(const std::string& programDirectory) {
  if (!programDirectory.empty() && 
      ::faccessat(AT_FDCWD, programDirectory.c_str(), W_OK, AT_EACCESS) == 0)
    return programDirectory;
  const std::string config = UserConfigDirectory();
  if (config.empty() || !plat::MakeDirectories(config, 0700)) return programDirectory;
  if (!programDirectory.empty()) {
    for (const char* name : {kProfileFileName, kSettingsFileName})
      CopyIfMissing(programDirectory + "/" + name, config + "/" + name);
  }
  return config;
}

}  // namespace zelcon
