#pragma once
// dcfString: a narrow string {text, length, capacity}. Its text is always NUL-terminated and
// never null (an empty string reads as ""). Lengths are byte counts; n = -1 means "up to the
// NUL".
#include <cstdint>

class dcfString {
public:
  dcfString() = default;
  // A null text gives the empty string.
  explicit dcfString(const char* text, std::int32_t n = -1) { Assign(text, n); }
  dcfString(const dcfString& other) { Assign(other.CStr(), static_cast<std::int32_t>(other.length_)); }
  dcfString(dcfString&& other) noexcept;
  dcfString& operator=(const dcfString& other);
  dcfString& operator=(dcfString&& other) noexcept;
  virtual ~dcfString() { Free(); }

  // Replaces the text by n bytes of text (the text may lie inside this string).
  void Assign(const char* text, std::int32_t n = -1);
  // Adds n bytes of text at the end (the text may lie inside this string).
  void Append(const char* text, std::int32_t n = -1);
  // Makes room for n bytes exactly, keeping the text; never shrinks below the length.
  void Reserve(std::uint32_t n);
  // Frees the buffer; the string is empty.
  void Free();

  const char* CStr() const { return text_ != nullptr ? text_ : empty_; }
  std::uint32_t Length() const { return length_; }
  std::uint32_t Capacity() const { return capacity_; }
  bool Empty() const { return length_ == 0; }

private:
  // Replaces the buffer by one of `capacity` + 1 bytes holding prefix then tail.
  void Rebuild(std::uint32_t capacity, const char* prefix, std::uint32_t prefixLength,
               const char* tail, std::uint32_t tailLength);

  char empty_[1] = {0};
  char* text_ = nullptr;
  std::uint32_t length_ = 0;
  std::uint32_t capacity_ = 0;
};
