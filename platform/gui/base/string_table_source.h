#pragma once
// Reads the text form of a string table, one entry a line:
//
//   # comment
//   61213<TAB>Brevik BRX210C(P) Wireless LAN Adapter Configuration Utility
//   62022<TAB>"The passphrase needs to be 8 to 63 ascii characters. "
//
// The id is decimal (1-65535), followed by exactly one TAB and the text, UTF-8. A text in
// double quotes keeps its leading and trailing blanks. Escapes: \n \r \t \\ \".
// Blank lines and lines starting with '#' are skipped; CR LF line ends are accepted.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zfw {

struct SourceString {
  uint32_t id;
  std::string text;
};

// Parses `source` into entries sorted by id. On a fault returns false with `error` set to
// "line N: what is wrong"; `out` is then unspecified.
bool parseStringSource(std::string_view source, std::vector<SourceString>& out, std::string& error);

// A C++ string literal (with quotes) for `text`, safe for any bytes.
std::string cxxStringLiteral(std::string_view text);

}  // namespace zfw
