#include <strings/SecureCString.h>

#include <dcf/dcfWipe.h>

#include <cstdlib>
#include <cstring>
#include <new>

void SecureCString::Assign(const char* source, std::uint32_t n) {
  char* copy = nullptr;
  if (source != nullptr) {
    copy = static_cast<char*>(std::malloc(std::size_t{n} + 1));
    if (copy == nullptr) throw std::bad_alloc();
    std::memcpy(copy, source, n);
    copy[n] = '\0';
  }
  Free();  // the old credential is wiped, not just freed
  text_ = copy;
  size_ = copy != nullptr ? n : 0;
}

void SecureCString::Free() {
  if (text_ == nullptr) return;
  dcfWipe(text_, size_);
  std::free(text_);
  text_ = nullptr;
  size_ = 0;
}
