#include <collections/dcfByteArray.h>

#include <strings/dcfUtf.h>

#include <cstring>

void dcfByteArray::ResizeFill(std::uint32_t n, std::uint8_t value) {
  const std::uint32_t old = Length();
  Resize(n);
  if (n > old) std::memset(Data() + old, value, n - old);
}

void dcfByteArray::AssignUtf8(const char16_t* text) {
  std::uint32_t units = 0;
  if (text != nullptr) {
    while (text[units] != 0) ++units;
  }
  // Four bytes per unit always suffice (a surrogate pair of two units gives four bytes).
  if (units > (UINT32_MAX - 1) / 4) throw std::bad_alloc();
  Assign(nullptr, 0);
  Reserve(4 * units + 1);
  std::uint32_t written = 0;
  Utf16ToUtf8(Data(), Capacity() - 1, &written, text, units);
  Data()[written] = 0;
  SetLength(written + 1);
}

std::uint32_t dcfByteArray::AppendString(const char* text) {
  if (text == nullptr) return Length();
  return Append(reinterpret_cast<const std::uint8_t*>(text),
                static_cast<std::uint32_t>(std::strlen(text)));
}
