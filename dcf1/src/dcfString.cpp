#include <strings/dcfString.h>

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

std::uint32_t LengthOf(const char* text, std::int32_t n) {
  if (text == nullptr) return 0;
  if (n < 0) {
    const std::size_t length = std::strlen(text);
    if (length > UINT32_MAX - 1) throw std::bad_alloc();
    return static_cast<std::uint32_t>(length);
  }
  return static_cast<std::uint32_t>(n);
}

}  // namespace

dcfString::dcfString(dcfString&& other) noexcept
    : text_(other.text_), length_(other.length_), capacity_(other.capacity_) {
  other.text_ = nullptr;
  other.length_ = other.capacity_ = 0;
}

dcfString& dcfString::operator=(const dcfString& other) {
  if (this != &other) Assign(other.CStr(), static_cast<std::int32_t>(other.length_));
  return *this;
}

dcfString& dcfString::operator=(dcfString&& other) noexcept {
  if (this != &other) {
    Free();
    text_ = other.text_;
    length_ = other.length_;
    capacity_ = other.capacity_;
    other.text_ = nullptr;
    other.length_ = other.capacity_ = 0;
  }
  return *this;
}

void dcfString::Rebuild(std::uint32_t capacity, const char* prefix, std::uint32_t prefixLength,
                        const char* tail, std::uint32_t tailLength) {
  // The new buffer is filled before the old one goes, so the sources may lie inside it.
  auto* buffer = static_cast<char*>(std::malloc(std::size_t{capacity} + 1));
  if (buffer == nullptr) throw std::bad_alloc();
  if (prefixLength != 0) std::memcpy(buffer, prefix, prefixLength);
  if (tailLength != 0) std::memcpy(buffer + prefixLength, tail, tailLength);
  buffer[prefixLength + tailLength] = '\0';
  std::free(text_);
  text_ = buffer;
  length_ = prefixLength + tailLength;
  capacity_ = capacity;
}

void dcfString::Assign(const char* text, std::int32_t n) {
  const std::uint32_t length = LengthOf(text, n);
  if (length == 0) {
    Free();
    return;
  }
  Rebuild(length, text, length, nullptr, 0);
}

void dcfString::Append(const char* text, std::int32_t n) {
  const std::uint32_t added = LengthOf(text, n);
  if (added == 0) return;
  if (added > UINT32_MAX - 1 - length_) throw std::bad_alloc();
  const std::uint32_t needed = length_ + added;
  if (needed <= capacity_) {
    std::memmove(text_ + length_, text, added);
    length_ = needed;
    text_[length_] = '\0';
    return;
  }
  std::uint32_t capacity = capacity_ > (UINT32_MAX - 1) / 2 ? needed : capacity_ * 2;
  if (capacity < needed) capacity = needed;
  Rebuild(capacity, CStr(), length_, text, added);
}

void dcfString::Reserve(std::uint32_t n) {
  if (n < length_) n = length_;
  if (n == UINT32_MAX) throw std::bad_alloc();
  Rebuild(n, CStr(), length_, nullptr, 0);
}

void dcfString::Free() {
  std::free(text_);
  text_ = nullptr;
  length_ = capacity_ = 0;
}
