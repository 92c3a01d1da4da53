#pragma once
// A private-profile settings file ("[Section]" lines, "Key=Value" lines, ";" comments) with
// the semantics of the Windows profile calls the utility was written against:
// - section and key names compare ASCII case-insensitively after trimming spaces and tabs,
//   values are trimmed, and the first matching section and key win;
// - a missing file, section or key reads as the caller's default;
// - a write replaces an existing value in place and leaves every other byte as it was,
//   appends a missing key after the last key of its section and a missing section at the
//   end, keeps the file's own line ending (CR LF for a new file), creates a missing file,
//   and replaces the file atomically.
#include <optional>
#include <string>
#include <string_view>

#include "platform/win32/atomic_file.h"

namespace plat {

// The same operations on text in memory (what the file operations do between read and write).
std::optional<std::string> IniLookup(std::string_view text, std::string_view section,
                                     std::string_view key);
std::string IniWithValue(std::string_view text, std::string_view section, std::string_view key,
                         std::string_view value);
// A value read as an integer: leading blanks, an optional sign, then decimal digits up to the
// first other character ("12abc" is 12, "abc" is 0); an empty value gives `defaultValue`.
int IniValueToInt(std::string_view value, int defaultValue);

class IniFile {
public:
  // A file the writes create gets `newFileMode` (kPrivateFileMode for one that holds
  // secrets); an existing file keeps its own.
  explicit IniFile(std::string path, FileMode newFileMode = {})
      : path_(std::move(path)), newFileMode_(newFileMode) {}
  const std::string& Path() const { return path_; }

  std::optional<std::string> ReadString(std::string_view section, std::string_view key) const;
  int ReadInt(std::string_view section, std::string_view key, int defaultValue) const;
  // False when the file could not be read or replaced; the old file is then unchanged.
  bool WriteString(std::string_view section, std::string_view key, std::string_view value);
  bool WriteInt(std::string_view section, std::string_view key, int value);

  // Settings files are small; a larger file is treated as unreadable rather than loaded.
  static constexpr std::size_t kMaxFileBytes = 1 << 20;

private:
  std::string path_;
  FileMode newFileMode_;
};

}  // namespace plat
