// HmacMd5 and HmacSha1 against RFC 2202 and against OpenSSL.
#include <dcf/hmac.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "dcf1/src/crypto/crypto_test_support.h"
#include "dcf1/src/crypto/openssl_reference.h"

using namespace crypto_test;

namespace {

template <class H>
std::string Mac(const std::vector<std::uint8_t>& key, const std::vector<std::uint8_t>& data,
                std::size_t cut = std::string::npos) {
  H hmac;
  hmac.SetKey(key.data(), key.size());
  hmac.Init();
  if (cut > data.size()) cut = data.size();
  hmac.Update(data.data(), cut);
  hmac.Update(data.data() + cut, data.size() - cut);
  std::uint8_t out[H::kDigestSize];
  hmac.Final(out);
  return Hex(out, sizeof out);
}

struct Rfc2202Case {
  std::vector<std::uint8_t> key;
  std::vector<std::uint8_t> data;
  const char* md5;
  const char* sha1;
};

std::vector<std::uint8_t> Repeat(std::uint8_t byte, std::size_t n) { return std::vector<std::uint8_t>(n, byte); }

// RFC 2202 sections 2 and 3. The MD5 cases 1, 3 and 5 use 16-byte keys where SHA-1 uses
// 20: both forms are listed with their key.
TEST(Hmac, Rfc2202) {
  const std::vector<std::uint8_t> key25 = FromHex("0102030405060708090a0b0c0d0e0f10111213141516171819");
  const Rfc2202Case cases[] = {
      {Repeat(0x0b, 16), Bytes("Hi There"), "9294727a3638bb1c13f48ef8158bfc9d", nullptr},
      {Repeat(0x0b, 20), Bytes("Hi There"), nullptr, "b617318655057264e28bc0b6fb378c8ef146be00"},
      {Bytes("Jefe"), Bytes("what do ya want for nothing?"), "750c783e6ab0b503eaa86e310a5db738",
       "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
      {Repeat(0xaa, 16), Repeat(0xdd, 50), "56be34521d144c88dbb8c733f0e8b3f6", nullptr},
      {Repeat(0xaa, 20), Repeat(0xdd, 50), nullptr, "125d7342b9ac11cd91a39af48aa17b4f63f175d3"},
      {key25, Repeat(0xcd, 50), "697eaf0aca3a3aea3a75164746ffaa79", "4c9007f4026250c6bc8414f9bf50c86c2d7235da"},
      {Repeat(0x0c, 16), Bytes("Test With Truncation"), "56461ef2342edc00f9bab995690efd4c", nullptr},
      {Repeat(0x0c, 20), Bytes("Test With Truncation"), nullptr, "4c1a03424b55e07fe7f27be1d58bb9324a9a5a04"},
      // Keys longer than the block are hashed first.
      {Repeat(0xaa, 80), Bytes("Test Using Larger Than Block-Size Key - Hash Key First"),
       "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd", "aa4ae5e15272d00e95705637ce8a3b55ed402112"},
      {Repeat(0xaa, 80), Bytes("Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data"),
       "6f630fad67cda0ee1fb1f562db3aa53e", "e8e99d0f45237d786d6bbaa7965c7808bbff1a91"},
  };
  for (const auto& c : cases) {
    if (c.md5 != nullptr) {
      EXPECT_EQ(Mac<HmacMd5>(c.key, c.data), c.md5) << "key " << Hex(c.key);
    }
    if (c.sha1 != nullptr) {
      EXPECT_EQ(Mac<HmacSha1>(c.key, c.data), c.sha1) << "key " << Hex(c.key);
    }
  }
}

// Key lengths on both sides of the 64-byte block, including the empty key, with messages
// of every interesting length.
TEST(Hmac, MatchesOpenSslOverKeyAndMessageLengths) {
  std::mt19937 rng(2104);
  for (std::size_t keyLength : {0, 1, 16, 20, 32, 63, 64, 65, 80, 129}) {
    const auto key = RandomBytes(rng, keyLength);
    for (std::size_t length : InterestingLengths()) {
      const auto data = RandomBytes(rng, length);
      EXPECT_EQ(Mac<HmacMd5>(key, data), Hex(openssl_reference::Hmac("MD5", key.data(), key.size(), data.data(), length)))
          << "key " << keyLength << ", message " << length;
      EXPECT_EQ(Mac<HmacSha1>(key, data), Hex(openssl_reference::Hmac("SHA1", key.data(), key.size(), data.data(), length)))
          << "key " << keyLength << ", message " << length;
    }
  }
}

TEST(Hmac, UpdatesSplitAnywhereGiveTheSameMac) {
  std::mt19937 rng(2202);
  const auto key = RandomBytes(rng, 32);
  const auto data = RandomBytes(rng, 150);
  const std::string md5 = Hex(openssl_reference::Hmac("MD5", key.data(), key.size(), data.data(), data.size()));
  const std::string sha1 = Hex(openssl_reference::Hmac("SHA1", key.data(), key.size(), data.data(), data.size()));
  for (std::size_t cut = 0; cut <= data.size(); ++cut) {
    EXPECT_EQ(Mac<HmacMd5>(key, data, cut), md5) << "cut at " << cut;
    EXPECT_EQ(Mac<HmacSha1>(key, data, cut), sha1) << "cut at " << cut;
  }
}

// The key lives on only in the keyed states; destroying the object must wipe them (all
// that is left is the object's table pointer).
TEST(Hmac, DestructionWipesTheKeyedStates) {
  alignas(HmacSha1) std::uint8_t storage[sizeof(HmacSha1)];
  auto* hmac = new (storage) HmacSha1;
  const auto key = Repeat('A', 64);
  hmac->SetKey(key.data(), key.size());
  hmac->Init();
  hmac->Update("x", 1);
  std::uint8_t out[HmacSha1::kDigestSize];
  hmac->Final(out);
  hmac->~HmacSha1();
  const std::string left = Hex(storage + sizeof(void*), sizeof storage - sizeof(void*));
  EXPECT_EQ(left, std::string(left.size(), '0'));
}

// One key, many messages: each Init starts afresh from the keyed state, and a message of
// exactly one digest takes the short way with the same result (PBKDF2's chain).
TEST(Hmac, OneKeyServesManyMessagesAndTheDigestSizedShortWay) {
  std::mt19937 rng(2203);
  for (std::size_t keyLength : {0, 20, 64, 80}) {
    const auto key = RandomBytes(rng, keyLength);
    HmacSha1 sha1;
    sha1.SetKey(key.data(), key.size());
    HmacMd5 md5;
    md5.SetKey(key.data(), key.size());
    for (int round = 0; round < 3; ++round) {
      const auto message = RandomBytes(rng, 20);
      const std::string expected =
          Hex(openssl_reference::Hmac("SHA1", key.data(), key.size(), message.data(), message.size()));
      std::uint8_t out[HmacSha1::kDigestSize];
      sha1.Init();
      sha1.Update(message.data(), message.size());
      sha1.Final(out);
      EXPECT_EQ(Hex(out, sizeof out), expected) << "key " << keyLength << ", round " << round;
      std::uint8_t chained[HmacSha1::kDigestSize];
      std::copy(message.begin(), message.end(), chained);
      sha1.MacOfDigest(chained, chained);
      EXPECT_EQ(Hex(chained, sizeof chained), expected) << "key " << keyLength << ", round " << round;
      std::uint8_t md5Out[HmacMd5::kDigestSize];
      md5.MacOfDigest(message.data(), md5Out);
      EXPECT_EQ(Hex(md5Out, sizeof md5Out), Hex(openssl_reference::Hmac("MD5", key.data(), key.size(), message.data(), 16)))
          << "key " << keyLength;
    }
  }
}

}  // namespace
