#pragma once
// Small file helpers of the desktop stand-ins.
#include <string>

namespace zfw {

// Writes `content` to a temporary file beside `path` and renames it over `path`, so a
// reader sees the old or the new file, never a part.
bool writeFileAtomically(const std::string& path, const std::string& content);

}  // namespace zfw
