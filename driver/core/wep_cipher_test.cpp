// WEP against known vectors and OpenSSL's RC4 (legacy provider), with its refusals.
#include "driver/core/wep_cipher.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstring>
#include <random>
#include <vector>

#include "dcf1/src/crypto/crypto_test_support.h"
#include "dcf1/src/crypto/openssl_reference.h"

using namespace zelnic::core;
using crypto_test::FromHex;
using crypto_test::Hex;

namespace {

// OpenSSL's RC4 keyed with IV ‖ key over `data` in place.
void OpenSslRc4(const std::vector<std::uint8_t>& seed, std::uint8_t* data, int length) {
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  ASSERT_NE(ctx, nullptr);
  const EVP_CIPHER* rc4 = openssl_reference::Library::Get().Cipher("RC4");
  ASSERT_EQ(EVP_CipherInit_ex2(ctx, rc4, nullptr, nullptr, 1, nullptr), 1);
  ASSERT_EQ(EVP_CIPHER_CTX_set_key_length(ctx, static_cast<int>(seed.size())), 1);
  ASSERT_EQ(EVP_CipherInit_ex2(ctx, nullptr, seed.data(), nullptr, 1, nullptr), 1);
  int out = 0;
  ASSERT_EQ(EVP_CipherUpdate(ctx, data, &out, data, length), 1);
  EVP_CIPHER_CTX_free(ctx);
}

TEST(WepCipher, Crc32MatchesTheCheckValues) {
  struct Case {
    const char* text;
    std::uint32_t crc;
  };
  const Case kCases[] = {{"", 0x00000000u}, {"123456789", 0xCBF43926u}, {"a", 0xE8B7BE43u},
                         {"The quick brown fox jumps over the lazy dog", 0x414FA339u}};
  for (const Case& c : kCases) {
    EXPECT_EQ(WepCrc32(reinterpret_cast<const std::uint8_t*>(c.text), static_cast<std::uint32_t>(std::strlen(c.text))),
              c.crc)
        << c.text;
  }
}

// Eight bytes a step with a byte-wise tail: every length and alignment against the CRC's
// bit-by-bit definition.
TEST(WepCipher, Crc32EqualsTheBitwiseDefinitionAtEveryLengthAndOffset) {
  std::mt19937 random(32);
  std::vector<std::uint8_t> data(80);
  for (auto& b : data) b = static_cast<std::uint8_t>(random());
  for (std::uint32_t offset = 0; offset < 8; ++offset) {
    for (std::uint32_t length = 0; offset + length <= data.size(); ++length) {
      std::uint32_t crc = 0xFFFFFFFFu;
      for (std::uint32_t i = 0; i < length; ++i) {
        crc ^= data[offset + i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
      }
      ASSERT_EQ(WepCrc32(data.data() + offset, length), ~crc) << offset << " " << length;
    }
  }
}

TEST(WepCipher, EncryptsTheKnownFrameBodyAndDecryptsItBack) {
  // Key 01..05, IV 01 02 03, key id 0; an 802.2 SNAP header for IPv4 and "hello" (tshark
  // decrypts this body with the key).
  const std::vector<std::uint8_t> key = FromHex("0102030405");
  const std::vector<std::uint8_t> plain = FromHex("aaaa030000000800 68656c6c6f");
  std::vector<std::uint8_t> body(kWepHeaderBytes + plain.size() + kWepIcvBytes);
  std::memcpy(body.data() + kWepHeaderBytes, plain.data(), plain.size());
  ASSERT_TRUE(WepEncrypt(body.data(), static_cast<std::uint32_t>(plain.size()), 0x010203, 0, key.data(), 5));
  EXPECT_EQ(Hex(body.data(), body.size()), "01020300ecf1a1a154b492a35af1af53d8bc658baf");

  std::uint32_t dataLength = 99;
  ASSERT_EQ(WepDecrypt(body.data(), static_cast<std::uint32_t>(body.size()), key.data(), 5, dataLength),
            WepRefusal::kNone);
  ASSERT_EQ(dataLength, plain.size());
  EXPECT_EQ(Hex(body.data() + kWepHeaderBytes, dataLength), Hex(plain.data(), plain.size()));
}

TEST(WepCipher, AgreesWithOpenSslRc4BothWays) {
  std::mt19937 random(16);
  for (std::uint32_t keyLength : {5u, 13u, 1u}) {
    for (std::uint32_t length : {0u, 1u, 64u, 1500u}) {
      std::vector<std::uint8_t> key(keyLength), plain(length);
      for (auto& b : key) b = static_cast<std::uint8_t>(random());
      for (auto& b : plain) b = static_cast<std::uint8_t>(random());
      const std::uint32_t iv = random() & 0xFFFFFF;
      const std::uint32_t keyId = random() & 3;

      // Ours encrypts; OpenSSL decrypts and the ICV is the CRC of the plaintext.
      std::vector<std::uint8_t> body(kWepHeaderBytes + length + kWepIcvBytes);
      std::copy(plain.begin(), plain.end(), body.begin() + kWepHeaderBytes);
      ASSERT_TRUE(WepEncrypt(body.data(), length, iv, keyId, key.data(), keyLength));
      EXPECT_EQ(body[3], keyId << 6);
      EXPECT_EQ(WepKeyId(body.data()), keyId);
      std::vector<std::uint8_t> seed(body.begin(), body.begin() + 3);
      seed.insert(seed.end(), key.begin(), key.end());
      std::vector<std::uint8_t> opened(body.begin() + kWepHeaderBytes, body.end());
      OpenSslRc4(seed, opened.data(), static_cast<int>(opened.size()));
      ASSERT_TRUE(std::equal(plain.begin(), plain.end(), opened.begin()));
      const std::uint32_t crc = WepCrc32(plain.data(), length);
      for (std::uint32_t i = 0; i < 4; ++i) EXPECT_EQ(opened[length + i], static_cast<std::uint8_t>(crc >> (8 * i)));

      // OpenSSL encrypts what ours decrypts.
      std::vector<std::uint8_t> theirs(body.begin(), body.begin() + kWepHeaderBytes);
      theirs.insert(theirs.end(), opened.begin(), opened.end());
      OpenSslRc4(seed, theirs.data() + kWepHeaderBytes, static_cast<int>(length + kWepIcvBytes));
      std::uint32_t dataLength = 0;
      ASSERT_EQ(WepDecrypt(theirs.data(), static_cast<std::uint32_t>(theirs.size()), key.data(), keyLength, dataLength),
                WepRefusal::kNone);
      ASSERT_EQ(dataLength, length);
      EXPECT_TRUE(std::equal(plain.begin(), plain.end(), theirs.begin() + kWepHeaderBytes));
    }
  }
}

TEST(WepCipher, RefusesShortBodiesBadKeyLengthsAndBrokenIcvs) {
  const std::vector<std::uint8_t> key = FromHex("0102030405060708090a0b0c0d0e");  // 14 bytes
  std::vector<std::uint8_t> good(kWepHeaderBytes + 20 + kWepIcvBytes, 0x5A);
  ASSERT_TRUE(WepEncrypt(good.data(), 20, 7, 1, key.data(), 13));
  std::uint8_t unused[32] = {};
  EXPECT_FALSE(WepEncrypt(unused, 4, 7, 1, key.data(), 14));  // longer than WEP-104
  EXPECT_FALSE(WepEncrypt(unused, 4, 7, 1, key.data(), 0));

  struct Case {
    const char* name;
    std::uint32_t bodyLength;
    std::uint32_t keyLength;
    int flipByte;  // -1: none
    WepRefusal expected;
  };
  const Case kCases[] = {
      {"empty body", 0, 13, -1, WepRefusal::kTooShort},
      {"header and ICV less one byte", 7, 13, -1, WepRefusal::kTooShort},
      {"receive key of 0 bytes", static_cast<std::uint32_t>(good.size()), 0, -1, WepRefusal::kBadKeyLength},
      {"receive key of 14 bytes", static_cast<std::uint32_t>(good.size()), 14, -1, WepRefusal::kBadKeyLength},
      {"flipped data bit", static_cast<std::uint32_t>(good.size()), 13, 10, WepRefusal::kIcvMismatch},
      {"flipped ICV bit", static_cast<std::uint32_t>(good.size()), 13, 26, WepRefusal::kIcvMismatch},
      {"flipped IV bit", static_cast<std::uint32_t>(good.size()), 13, 0, WepRefusal::kIcvMismatch},
      {"wrong key (first 12 bytes)", static_cast<std::uint32_t>(good.size()), 12, -1, WepRefusal::kIcvMismatch},
  };
  for (const Case& c : kCases) {
    std::vector<std::uint8_t> body = good;
    if (c.flipByte >= 0) body[c.flipByte] ^= 0x01;
    std::uint32_t dataLength = 99;
    EXPECT_EQ(WepDecrypt(body.data(), c.bodyLength, key.data(), c.keyLength, dataLength), c.expected) << c.name;
    EXPECT_EQ(dataLength, 0u) << c.name;
  }
  // A body of exactly header and ICV carries no data and decrypts.
  std::vector<std::uint8_t> empty(kWepHeaderBytes + kWepIcvBytes);
  ASSERT_TRUE(WepEncrypt(empty.data(), 0, 1, 0, key.data(), 5));
  std::uint32_t dataLength = 99;
  EXPECT_EQ(WepDecrypt(empty.data(), 8, key.data(), 5, dataLength), WepRefusal::kNone);
  EXPECT_EQ(dataLength, 0u);
}

}  // namespace
