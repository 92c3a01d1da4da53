#include "sim/air/radius_crypto.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <memory>
#include <stdexcept>

namespace simair {

Md5Digest Md5Of(std::initializer_list<std::span<const std::uint8_t>> parts) {
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  Md5Digest digest{};
  unsigned length = 0;
  bool ok = ctx && EVP_DigestInit_ex(ctx.get(), EVP_md5(), nullptr) == 1;
  for (const auto& part : parts) {
    ok = ok && EVP_DigestUpdate(ctx.get(), part.data(), part.size()) == 1;
  }
  ok = ok && EVP_DigestFinal_ex(ctx.get(), digest.data(), &length) == 1 && length == digest.size();
  if (!ok) throw std::runtime_error("MD5 failed");
  return digest;
}

Md5Digest HmacMd5Of(std::string_view secret, std::span<const std::uint8_t> data) {
  Md5Digest mac{};
  std::size_t length = 0;
  if (EVP_Q_mac(nullptr, "HMAC", nullptr, "MD5", nullptr, secret.data(), secret.size(),
                data.data(), data.size(), mac.data(), mac.size(), &length) == nullptr ||
      length != mac.size()) {
    throw std::runtime_error("HMAC-MD5 failed");
  }
  return mac;
}

std::optional<RadiusBytes> DecryptMppeKey(std::string_view secret,
                                          std::span<const std::uint8_t, 16> requestAuthenticator,
                                          std::span<const std::uint8_t> value) {
  if (value.size() < 2 + 16 || (value.size() - 2) % 16 != 0 || (value[0] & 0x80) == 0) {
    return std::nullopt;
  }
  const auto salt = value.first(2);
  const auto cipher = value.subspan(2);
  const std::span<const std::uint8_t> secretBytes(
      reinterpret_cast<const std::uint8_t*>(secret.data()), secret.size());
  // b(1) = MD5(S + R + A), b(i) = MD5(S + c(i-1)); p(i) = c(i) xor b(i).
  RadiusBytes plain(cipher.size());
  for (std::size_t block = 0; block < cipher.size(); block += 16) {
    Md5Digest b = block == 0 ? Md5Of({secretBytes, requestAuthenticator, salt})
                             : Md5Of({secretBytes, cipher.subspan(block - 16, 16)});
    for (std::size_t i = 0; i < 16; ++i) plain[block + i] = cipher[block + i] ^ b[i];
    WipeBytes(b);
  }
  const std::size_t keyLength = plain[0];
  std::optional<RadiusBytes> key;
  if (keyLength + 1 <= plain.size()) key.emplace(plain.begin() + 1, plain.begin() + 1 + keyLength);
  WipeBytes(plain);
  return key;
}

void WipeBytes(std::span<std::uint8_t> bytes) { OPENSSL_cleanse(bytes.data(), bytes.size()); }

}  // namespace simair
