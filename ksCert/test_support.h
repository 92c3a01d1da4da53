#pragma once
// Shared by the certificate library's tests (header-only, never part of the library).
#include <dcf/dcfException.h>
#include <dcf/sha1.h>

#include <cstdio>
#include <string>
#include <vector>

#include "inc/ksCertUtility.h"
#include "ksCert/KsComObject.h"
#include "platform/win32/bstr.h"

namespace kscert_test {

// An owned BSTR.
class Bstr {
public:
  explicit Bstr(const char16_t* text) : text_(text != nullptr ? plat::SysAllocString(text) : nullptr) {}
  ~Bstr() { plat::SysFreeString(text_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  operator plat::BSTR() const { return text_; }

private:
  plat::BSTR text_;
};

// Holds one reference of an interface pointer the library handed out.
template <class T>
class Ref {
public:
  Ref() = default;
  explicit Ref(T* pointer) : pointer_(pointer) {}
  ~Ref() { Reset(); }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  Ref(Ref&& other) noexcept : pointer_(other.pointer_) { other.pointer_ = nullptr; }
  void Reset() {
    if (pointer_ != nullptr) pointer_->Release();
    pointer_ = nullptr;
  }
  T** Out() {
    Reset();
    return &pointer_;
  }
  T* Get() const { return pointer_; }
  T* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }

private:
  T* pointer_ = nullptr;
};

// Records the exceptions the operations' envelopes handle while it lives.
class HandledExceptions {
public:
  HandledExceptions() {
    records().clear();
    KsSetHandledExceptionObserver(&Record);
  }
  ~HandledExceptions() { KsSetHandledExceptionObserver(nullptr); }
  const std::vector<dcfException>& All() const { return records(); }

private:
  static std::vector<dcfException>& records() {
    static std::vector<dcfException> all;
    return all;
  }
  static void Record(const dcfException& handled) { records().push_back(handled); }
};

// SHA-1 of bytes, by the framework's own digest.
inline std::vector<std::uint8_t> Sha1(const std::vector<std::uint8_t>& bytes) {
  std::vector<std::uint8_t> digest(kSha1DigestSize);
  Sha1Digest(digest.data(), bytes.data(), bytes.size());
  return digest;
}

// The standard output of a shell command (the openssl tool as a peer).
inline std::string RunCommand(const std::string& command) {
  std::string output;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return output;
  char chunk[256];
  while (std::fgets(chunk, sizeof chunk, pipe) != nullptr) output += chunk;
  ::pclose(pipe);
  return output;
}

// The reference count an object reports, read by an AddRef/Release pair.
inline std::uint32_t CountOf(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

}  // namespace kscert_test
