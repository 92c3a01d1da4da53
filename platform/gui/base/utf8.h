#pragma once
// UTF-8 as the framework takes it: well-formed sequences only (no overlong forms, no
// surrogates, nothing beyond U+10FFFF).
#include <cstddef>
#include <string_view>

namespace zfw {

// The length of the well-formed sequence that starts at `at`; 0 when none does.
size_t utf8SequenceLength(std::string_view s, size_t at);
bool isUtf8(std::string_view s);

}  // namespace zfw
