// TKIP MPDU encapsulation against OpenSSL's RC4 (legacy provider) and its receive refusals.
#include "driver/core/tkip_cipher.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <random>
#include <vector>

#include "dcf1/src/crypto/crypto_test_support.h"
#include "dcf1/src/crypto/openssl_reference.h"
#include "driver/core/wep_cipher.h"

using namespace zelnic::core;
using crypto_test::FromHex;

namespace {

const std::vector<std::uint8_t> kTk = FromHex("000102030405060708090a0b0c0d0e0f");
const std::uint8_t kTa[6] = {0x10, 0x22, 0x33, 0x44, 0x55, 0x66};

void OpenSslRc4(const std::uint8_t key[16], std::uint8_t* data, int length) {
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  ASSERT_NE(ctx, nullptr);
  ASSERT_EQ(EVP_CipherInit_ex2(ctx, openssl_reference::Library::Get().Cipher("RC4"), key, nullptr, 1, nullptr), 1);
  int out = 0;
  ASSERT_EQ(EVP_CipherUpdate(ctx, data, &out, data, length), 1);
  EVP_CIPHER_CTX_free(ctx);
}

std::vector<std::uint8_t> Encrypted(TkipKeyMixer& mixer, std::uint64_t tsc, const std::vector<std::uint8_t>& plain) {
  std::vector<std::uint8_t> body(kTkipHeaderBytes + plain.size() + kTkipIcvBytes);
  std::copy(plain.begin(), plain.end(), body.begin() + kTkipHeaderBytes);
  TkipEncrypt(mixer, tsc, 1, body.data(), static_cast<std::uint32_t>(plain.size()));
  return body;
}

TEST(TkipCipher, EncryptsAsOpenSslRc4UnderTheMixedKeyAcrossTheIv32Boundary) {
  TkipKeyMixer mixer(kTk.data(), kTa);
  std::mt19937 random(22);
  for (std::uint64_t tsc : {1ull, 0xFFFFull, 0x10000ull, 0x10001ull, 0xABCDEF012345ull}) {
    std::vector<std::uint8_t> plain(1 + random() % 1500);
    for (auto& b : plain) b = static_cast<std::uint8_t>(random());
    std::vector<std::uint8_t> body = Encrypted(mixer, tsc, plain);

    // The header carries TSC1, the WEP seed, TSC0, key id 1 with the Extended IV, TSC2..5.
    EXPECT_EQ(body[0], static_cast<std::uint8_t>(tsc >> 8));
    EXPECT_EQ(body[1], static_cast<std::uint8_t>(((tsc >> 8) | 0x20) & 0x7F));
    EXPECT_EQ(body[2], static_cast<std::uint8_t>(tsc));
    EXPECT_EQ(body[3], 0x60);
    EXPECT_EQ(TkipReceivedTsc(body.data()), tsc);

    TkipPhase1Key p1k{};
    TkipPhase1(kTk.data(), kTa, static_cast<std::uint32_t>(tsc >> 16), p1k);
    std::uint8_t rc4Key[16];
    TkipPhase2(kTk.data(), p1k, static_cast<std::uint16_t>(tsc), rc4Key);
    std::vector<std::uint8_t> opened(body.begin() + kTkipHeaderBytes, body.end());
    OpenSslRc4(rc4Key, opened.data(), static_cast<int>(opened.size()));
    ASSERT_TRUE(std::equal(plain.begin(), plain.end(), opened.begin())) << tsc;
    const std::uint32_t crc = WepCrc32(plain.data(), static_cast<std::uint32_t>(plain.size()));
    for (std::uint32_t i = 0; i < 4; ++i) EXPECT_EQ(opened[plain.size() + i], static_cast<std::uint8_t>(crc >> (8 * i)));

    // A separate receiver with its own cache opens it.
    TkipKeyMixer receiver(kTk.data(), kTa);
    std::uint32_t dataLength = 0;
    ASSERT_EQ(TkipDecrypt(receiver, tsc - 1, body.data(), static_cast<std::uint32_t>(body.size()), dataLength),
              TkipRefusal::kNone);
    ASSERT_EQ(dataLength, plain.size());
    EXPECT_TRUE(std::equal(plain.begin(), plain.end(), body.begin() + kTkipHeaderBytes));
  }
}

TEST(TkipCipher, RefusesReplaysShortBodiesMissingExtendedIvAndBrokenIcvs) {
  TkipKeyMixer mixer(kTk.data(), kTa);
  const std::vector<std::uint8_t> plain(40, 0x11);
  const std::uint64_t tsc = 0x000100000000ull;  // only an upper byte set: a 32-bit compare would miss it
  const std::vector<std::uint8_t> good = Encrypted(mixer, tsc, plain);
  struct Case {
    const char* name;
    std::uint64_t lastTsc;
    std::uint32_t bodyLength;
    int flipByte;
    std::uint8_t flipMask;
    TkipRefusal expected;
  };
  const auto size = static_cast<std::uint32_t>(good.size());
  const Case kCases[] = {
      {"fresh", tsc - 1, size, -1, 0, TkipRefusal::kNone},
      {"same TSC again", tsc, size, -1, 0, TkipRefusal::kReplay},
      {"older than the last", tsc + 1, size, -1, 0, TkipRefusal::kReplay},
      {"last differs only in the low 32 bits", 0xFFFFFFFFull, size, -1, 0, TkipRefusal::kNone},
      {"header and ICV less one byte", 0, 11, -1, 0, TkipRefusal::kTooShort},
      {"no Extended IV bit", 0, size, 3, 0x20, TkipRefusal::kNoExtendedIv},
      {"flipped data bit", tsc - 1, size, 20, 0x01, TkipRefusal::kIcvMismatch},
      {"flipped ICV bit", tsc - 1, size, static_cast<int>(size - 1), 0x80, TkipRefusal::kIcvMismatch},
  };
  for (const Case& c : kCases) {
    std::vector<std::uint8_t> body = good;
    if (c.flipByte >= 0) body[c.flipByte] ^= c.flipMask;
    TkipKeyMixer receiver(kTk.data(), kTa);
    std::uint32_t dataLength = 99;
    EXPECT_EQ(TkipDecrypt(receiver, c.lastTsc, body.data(), c.bodyLength, dataLength), c.expected) << c.name;
    EXPECT_EQ(dataLength, c.expected == TkipRefusal::kNone ? plain.size() : 0u) << c.name;
  }
}

}  // namespace
