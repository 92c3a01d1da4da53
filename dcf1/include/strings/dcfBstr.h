#pragma once
// BSTR helpers of the framework (OLE Automation strings; see platform/win32/bstr.h).
#include <cstdint>

#include "platform/win32/bstr.h"

// Frees *target and, when count > 0, gives it a new BSTR of count units from
// source + index; returns count. Throws dcfOutOfMemoryException when memory runs out.
std::uint32_t AssignBstr(plat::BSTR* target, const char16_t* source, std::uint32_t index,
                         std::uint32_t count);

// A new BSTR of the narrow text (length bytes, or up to its NUL when length is negative)
// converted from the "ANSI" code page, UTF-8 here. Null for a null text or when memory runs
// out; the caller owns the result.
plat::BSTR AnsiToBstr(const char* text, std::int32_t length = -1);

// As above into *target, whose old BSTR is freed first; throws dcfOutOfMemoryException when
// memory runs out. A null text leaves *target null.
void AnsiToBstr(plat::BSTR* target, const char* text, std::int32_t length = -1);

// Frees the held BSTR and empties the holder.
void FreeBstr(plat::BSTR& holder);
