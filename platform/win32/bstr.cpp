#include "platform/win32/bstr.h"

#include <cstdlib>
#include <cstring>

namespace plat {
namespace {

constexpr std::size_t kPrefix = sizeof(std::uint32_t);

std::uint32_t* PrefixOf(const char16_t* text) {
  return reinterpret_cast<std::uint32_t*>(
      reinterpret_cast<std::uint8_t*>(const_cast<char16_t*>(text)) - kPrefix);
}

// BSTRs may hold passwords: volatile writes, so the wipe before free is not dropped.
void Wipe(void* p, std::size_t n) {
  auto* bytes = static_cast<volatile std::uint8_t*>(p);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = 0;
}

}  // namespace

BSTR SysAllocStringLen(const char16_t* text, std::uint32_t length) {
  // The byte count must fit the u32 prefix.
  if (length > (UINT32_MAX - kPrefix - sizeof(char16_t)) / sizeof(char16_t)) {
    return nullptr;
  }
  const std::size_t bytes = std::size_t{length} * sizeof(char16_t);
  auto* block = static_cast<std::uint8_t*>(std::malloc(kPrefix + bytes + sizeof(char16_t)));
  if (block == nullptr) {
    return nullptr;
  }
  const auto prefix = static_cast<std::uint32_t>(bytes);
  std::memcpy(block, &prefix, kPrefix);
  auto* result = reinterpret_cast<char16_t*>(block + kPrefix);
  if (text != nullptr) {
    std::memcpy(result, text, bytes);
  } else {
    std::memset(result, 0, bytes);
  }
  result[length] = u'\0';
  return result;
}

BSTR SysAllocString(const char16_t* text) {
  if (text == nullptr) {
    return nullptr;
  }
  std::size_t length = 0;
  while (text[length] != u'\0') ++length;
  if (length > UINT32_MAX) {
    return nullptr;
  }
  return SysAllocStringLen(text, static_cast<std::uint32_t>(length));
}

void SysFreeString(BSTR text) {
  if (text == nullptr) {
    return;
  }
  std::uint32_t* prefix = PrefixOf(text);
  Wipe(prefix, kPrefix + *prefix + sizeof(char16_t));
  std::free(prefix);
}

std::uint32_t SysStringLen(const char16_t* text) {
  if (text == nullptr) {
    return 0;
  }
  std::uint32_t bytes;
  std::memcpy(&bytes, PrefixOf(text), kPrefix);
  return bytes / sizeof(char16_t);
}

}  // namespace plat
