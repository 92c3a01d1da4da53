// Test support: the MS-CHAP computations written again on OpenSSL (MD4, DES and RC4 from its
// legacy provider), as the server side of the tests computes them, independent of the
// product's code and primitives.
#pragma once

#include <openssl/evp.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "dcf1/src/crypto/openssl_reference.h"

namespace ms_chap_reference {

using Bytes = std::vector<std::uint8_t>;

inline Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

inline Bytes Text(std::string_view text) { return {text.begin(), text.end()}; }

inline Bytes Utf16Le(std::u16string_view text) {
  Bytes out;
  for (char16_t unit : text) {
    out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    out.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  return out;
}

inline Bytes Md4(const Bytes& data) {
  return openssl_reference::Digest("MD4", data.data(), data.size());
}
inline Bytes Md5(const Bytes& data) {
  return openssl_reference::Digest("MD5", data.data(), data.size());
}
inline Bytes Sha1(const Bytes& data) {
  return openssl_reference::Digest("SHA1", data.data(), data.size());
}

inline Bytes NtHash(std::u16string_view password) { return Md4(Utf16Le(password)); }

// A 56-bit key in 7 bytes as the 8-byte DES key with a parity position in each byte.
inline Bytes DesKey(const std::uint8_t* key7) {
  Bytes key(8);
  for (int i = 0; i < 8; ++i) {
    // Bits 7i .. 7i+6 of the 56, most significant first.
    unsigned value = 0;
    for (int bit = 0; bit < 7; ++bit) {
      const int position = 7 * i + bit;
      value = (value << 1) | ((key7[position / 8] >> (7 - position % 8)) & 1u);
    }
    key[i] = static_cast<std::uint8_t>(value << 1);
  }
  return key;
}

inline Bytes Des(const std::uint8_t* key7, const std::uint8_t* block, bool encrypt = true) {
  Bytes out(8);
  openssl_reference::Cipher("DES-ECB", DesKey(key7).data(), 8, encrypt)
      .Update(block, 8, out.data());
  return out;
}

inline Bytes Rc4(const Bytes& key, const Bytes& data) {
  Bytes out(data.size());
  openssl_reference::Cipher("RC4", key.data(), key.size())
      .Update(data.data(), data.size(), out.data());
  return out;
}

// RFC 2433's response: the 16-byte hash padded to 21 bytes keys three DES encryptions.
inline Bytes ChallengeResponse(const Bytes& challenge, const Bytes& hash) {
  Bytes keys = hash;
  keys.resize(21, 0);
  return Concat({Des(&keys[0], challenge.data()), Des(&keys[7], challenge.data()),
                 Des(&keys[14], challenge.data())});
}

inline Bytes NtResponse(const Bytes& authenticatorChallenge, const Bytes& peerChallenge,
                        std::string_view userName, const Bytes& ntHash) {
  Bytes challenge = Sha1(Concat({peerChallenge, authenticatorChallenge, Text(userName)}));
  challenge.resize(8);
  return ChallengeResponse(challenge, ntHash);
}

// "S=" and 40 upper-case hex digits.
inline std::string AuthenticatorResponse(const Bytes& ntHash, const Bytes& ntResponse,
                                         const Bytes& peerChallenge,
                                         const Bytes& authenticatorChallenge,
                                         std::string_view userName) {
  const Bytes digest =
      Sha1(Concat({Md4(ntHash), ntResponse, Text("Magic server to client signing constant")}));
  Bytes challenge = Sha1(Concat({peerChallenge, authenticatorChallenge, Text(userName)}));
  challenge.resize(8);
  const Bytes proof =
      Sha1(Concat({digest, challenge, Text("Pad to make it do more than one iteration")}));
  std::string text = "S=";
  static const char kHex[] = "0123456789ABCDEF";
  for (std::uint8_t b : proof) {
    text += kHex[b >> 4];
    text += kHex[b & 15];
  }
  return text;
}

}  // namespace ms_chap_reference
