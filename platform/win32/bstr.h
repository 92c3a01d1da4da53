#pragma once
// BSTR, the length-prefixed UTF-16 string of OLE Automation: a pointer to the first unit of
// a NUL-terminated text, preceded in memory by its length in bytes (u32). Its length is the
// prefix, not the position of the first NUL, so a BSTR may hold NULs.
#include <cstdint>

namespace plat {

using BSTR = char16_t*;

// A new BSTR holding a copy of the NUL-terminated text; null for a null text or when
// memory runs out.
BSTR SysAllocString(const char16_t* text);
// A new BSTR of length units copied from text (zeros when text is null), terminated; null
// when memory runs out or the length is too large.
BSTR SysAllocStringLen(const char16_t* text, std::uint32_t length);
// Wipes and frees a BSTR; null does nothing.
void SysFreeString(BSTR text);
// The length in UTF-16 units; 0 for null.
std::uint32_t SysStringLen(const char16_t* text);

}  // namespace plat
