#include <collections/dcfWideArray.h>

#include <strings/dcfUtf.h>

#include <cstring>

void dcfWideArray::AssignUtf8(const char* text) {
  const std::size_t bytes = text != nullptr ? std::strlen(text) : 0;
  // One unit per byte always suffices; one more for the terminator.
  if (bytes >= INT32_MAX) throw std::bad_alloc();
  Assign(nullptr, 0);
  Reserve(static_cast<std::uint32_t>(bytes) + 1);
  std::uint32_t written = 0;
  Utf8ToUtf16(Data(), Capacity(), &written, text != nullptr ? text : "", -1, nullptr);
  SetLength(written);
}
