#pragma once
// Helpers of the key-management tests: hex and text bytes, OpenSSL references.
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

inline Bytes Hex(const std::string& hex) {
  Bytes out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

inline Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

inline Bytes OpenSslHmac(const EVP_MD* md, const Bytes& key, const Bytes& data) {
  Bytes out(EVP_MAX_MD_SIZE);
  unsigned length = 0;
  HMAC(md, key.data(), static_cast<int>(key.size()), data.data(), data.size(), out.data(), &length);
  out.resize(length);
  return out;
}
