#include "platform/gui/desktop/version_info.h"

#include <cstring>
#include <ctime>
#include <dlfcn.h>
#include <sys/stat.h>

#ifndef ZFW_PROGRAM_VERSION
#define ZFW_PROGRAM_VERSION "0.0.0"
#endif

namespace zfw {

LinuxVersionInfo::LinuxVersionInfo(std::string librarySymbol) : librarySymbol_(std::move(librarySymbol)) {}

std::optional<ProductVersion> LinuxVersionInfo::parse(const std::string& text) {
  ProductVersion v{};
  size_t part = 0, i = 0;
  if (text.empty() || text.size() > 32) return std::nullopt;
  while (i < text.size()) {
    uint32_t value = 0;
    const size_t start = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - start < 6) value = value * 10 + (text[i++] - '0');
    if (i == start || value > 0xFFFF || part == 4) return std::nullopt;
    v[part++] = static_cast<uint16_t>(value);
    if (i == text.size()) break;
    if (text[i] != '.' || ++i == text.size()) return std::nullopt;
  }
  return v;
}

std::optional<ProductVersion> LinuxVersionInfo::programVersion() { return parse(ZFW_PROGRAM_VERSION); }

std::optional<ProductVersion> LinuxVersionInfo::libraryVersion() {
  const void* symbol = dlsym(RTLD_DEFAULT, librarySymbol_.c_str());
  if (!symbol) return std::nullopt;
  const auto* text = static_cast<const char*>(symbol);
  return parse(std::string(text, strnlen(text, 33)));
}

std::optional<FileDate> LinuxVersionInfo::programDate() {
  struct stat st = {};
  if (stat("/proc/self/exe", &st) != 0) return std::nullopt;
  std::tm local = {};
  const time_t when = st.st_mtime;
  if (!localtime_r(&when, &local)) return std::nullopt;
  return FileDate{local.tm_mon + 1, local.tm_mday, local.tm_year + 1900};
}

}  // namespace zfw
