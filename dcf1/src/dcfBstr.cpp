#include <strings/dcfBstr.h>

#include <dcf/dcfException.h>
#include <dcf/dcfSourceFiles.h>

#include <cstring>
#include <string_view>

#include "platform/win32/ansi_code_page.h"

std::uint32_t AssignBstr(plat::BSTR* target, const char16_t* source, std::uint32_t index,
                         std::uint32_t count) {
  plat::SysFreeString(*target);
  *target = nullptr;
  if (count == 0) return 0;
  plat::BSTR result = plat::SysAllocStringLen(source + index, count);
  if (result == nullptr) {
    RaiseOutOfMemory(dcfOutOfMemoryException("bstrResult != NULL"), 547,
                     dcfSourceFile::kStringUtility);
  }
  *target = result;
  return count;
}

plat::BSTR AnsiToBstr(const char* text, std::int32_t length) {
  if (text == nullptr) return nullptr;
  const std::size_t bytes = length < 0 ? std::strlen(text) : static_cast<std::size_t>(length);
  const std::u16string wide = plat::AnsiToWide(std::string_view(text, bytes));
  if (wide.size() > UINT32_MAX) return nullptr;
  return plat::SysAllocStringLen(wide.data(), static_cast<std::uint32_t>(wide.size()));
}

void AnsiToBstr(plat::BSTR* target, const char* text, std::int32_t length) {
  FreeBstr(*target);
  if (text == nullptr) return;
  *target = AnsiToBstr(text, length);
  if (*target == nullptr) {
    RaiseOutOfMemory(dcfOutOfMemoryException("*pbstrToBstr != NULL"), 450,
                     dcfSourceFile::kStringUtility);
  }
}

void FreeBstr(plat::BSTR& holder) {
  plat::SysFreeString(holder);
  holder = nullptr;
}
