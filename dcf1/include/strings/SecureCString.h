#pragma once
// SecureCString: holds one credential (user name, password, domain) as a heap NUL-terminated
// text, or null. Every text it lets go of is wiped first.
#include <cstdint>

class SecureCString {
public:
  SecureCString() = default;
  SecureCString(const SecureCString&) = delete;
  SecureCString& operator=(const SecureCString&) = delete;
  ~SecureCString() { Free(); }

  // Replaces the text by a copy of n bytes of source; a null source leaves the holder null.
  void Assign(const char* source, std::uint32_t n);
  // Wipes and frees the text; the holder is null.
  void Free();

  const char* Get() const { return text_; }

private:
  char* text_ = nullptr;
  std::uint32_t size_ = 0;  // bytes to wipe: the whole copy, even past an embedded NUL
};
