#pragma once
// The "ANSI code page" of the Windows-derived code is UTF-8 here: narrow text converts to and
// from UTF-16 as UTF-8. Nothing is refused: each byte that does not belong to a well-formed
// UTF-8 sequence becomes U+FFFD, and so does each unpaired surrogate on the way back.
#include <string>
#include <string_view>

namespace plat {

std::u16string AnsiToWide(std::string_view text);
std::string WideToAnsi(std::u16string_view text);

}  // namespace plat
