#pragma once
// The version of the operating system the program believes it runs on. Linux presents
// itself as Windows 2000 (NT 5.0): no Zero Configuration, no 9x paths, every page. The
// environment variable ZELCON_EMULATE_OS selects another version so that those branches
// can run: xp (NT 5.1), 2000 (NT 5.0), 2003 (NT 5.2), nt4 (NT 4.0), 9x (Windows 98),
// unsupported (NT 6.0), fail (the version query fails).
#include <cstdint>
#include <optional>
#include <string_view>

namespace zfw {

struct OsVersion {
  enum class Family { Win9x, WinNT };
  Family family;
  uint32_t major;
  uint32_t minor;
};

class IOsInfo {
 public:
  virtual ~IOsInfo() = default;
  // The version, or nothing when it cannot be had.
  virtual std::optional<OsVersion> version() const = 0;
};

class OsInfo final : public IOsInfo {
 public:
  explicit OsInfo(std::optional<OsVersion> version) : version_(version) {}
  std::optional<OsVersion> version() const override { return version_; }

  // The version an emulation setting names; nothing for "fail". `known` tells whether
  // the setting was one of the names above (an unknown one gives the default).
  static std::optional<OsVersion> emulated(std::string_view setting, bool* known = nullptr);
  // From ZELCON_EMULATE_OS (an unknown value is reported on stderr and ignored).
  static OsInfo fromEnvironment();

 private:
  std::optional<OsVersion> version_;
};

}  // namespace zfw
