#pragma once
// A pass phrase or key of the simulated world: its bytes are overwritten whenever a copy is
// released, and it has no way to be printed.
#include <cstdint>
#include <string>
#include <string_view>

#include <openssl/crypto.h>

namespace simair {

class Secret {
public:
  Secret() = default;
  explicit Secret(std::string_view value) : value_(value) {}
  Secret(const Secret& other) : value_(other.value_) {}
  Secret& operator=(const Secret& other) {
    if (this != &other) {
      wipe();
      value_ = other.value_;
    }
    return *this;
  }
  ~Secret() { wipe(); }

  const std::string& reveal() const { return value_; }
  bool empty() const { return value_.empty(); }
  std::size_t size() const { return value_.size(); }
  friend bool operator==(const Secret& a, const Secret& b) { return a.value_ == b.value_; }

private:
  void wipe() {
    OPENSSL_cleanse(value_.data(), value_.capacity());
    value_.clear();
  }
  std::string value_;
};

}  // namespace simair
