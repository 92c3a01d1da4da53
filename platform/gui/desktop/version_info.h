#pragma once
// Version information: the program's product version (the build's project version), the
// adapter-control library's (an exported text symbol "a.b.c.d" found at run time), and the
// program file's date.
#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace zfw {

using ProductVersion = std::array<uint16_t, 4>;

struct FileDate {
  int month = 0;  // 1-12
  int day = 0;
  int year = 0;
};

class IVersionInfo {
 public:
  virtual ~IVersionInfo() = default;
  virtual std::optional<ProductVersion> programVersion() = 0;
  virtual std::optional<ProductVersion> libraryVersion() = 0;
  // Last modification of the running program, local time.
  virtual std::optional<FileDate> programDate() = 0;
};

class LinuxVersionInfo final : public IVersionInfo {
 public:
  // `librarySymbol`: the library's exported version text.
  explicit LinuxVersionInfo(std::string librarySymbol = "ZelconLibraryVersion");
  std::optional<ProductVersion> programVersion() override;
  std::optional<ProductVersion> libraryVersion() override;
  std::optional<FileDate> programDate() override;

  // "a.b.c.d" (one to four numbers up to 65535; missing ones are 0); nothing otherwise.
  static std::optional<ProductVersion> parse(const std::string& text);

 private:
  std::string librarySymbol_;
};

}  // namespace zfw
