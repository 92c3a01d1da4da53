// DES against the classic vectors, the MS-CHAP-V2 worked example of RFC 2759 and OpenSSL.
#include <dcf/des.h>
#include <dcf/md4.h>
#include <dcf/sha1.h>
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "dcf1/src/crypto/crypto_test_support.h"
#include "dcf1/src/crypto/openssl_reference.h"

using namespace crypto_test;

namespace {

std::string Encrypt(const std::vector<std::uint8_t>& key, const std::vector<std::uint8_t>& block, int direction) {
  DesKeySchedule schedule;
  DesSetKey(key.data(), schedule, direction);
  std::uint8_t out[8];
  DesEncryptBlock(block.data(), out, schedule);
  return Hex(out, 8);
}

struct DesVector {
  const char* key;
  const char* plain;
  const char* cipher;
};

// The example of FIPS 81 ("Now is t"), NBS known-answer entries and the usual validation set.
const DesVector kVectors[] = {
    {"0123456789abcdef", "4e6f772069732074", "3fa40e8a984d4815"},
    {"0000000000000000", "0000000000000000", "8ca64de9c1b123a7"},
    {"ffffffffffffffff", "ffffffffffffffff", "7359b2163e4edc58"},
    {"3000000000000000", "1000000000000001", "958e6e627a05557b"},
    {"1111111111111111", "1111111111111111", "f40379ab9e0ec533"},
    {"0123456789abcdef", "1111111111111111", "17668dfc7292532d"},
    {"1111111111111111", "0123456789abcdef", "8a5ae1f81ab8f2dd"},
    {"fedcba9876543210", "0123456789abcdef", "ed39d950fa74bcc4"},
    {"7ca110454a1a6e57", "01a1d6d039776742", "690f5b0d9a26939b"},
    {"0131d9619dc1376e", "5cd54ca83def57da", "7a389d10354bd271"},
    {"0101010101010101", "95f8a5e5dd31d900", "8000000000000000"},
    {"8001010101010101", "0000000000000000", "95a8d72813daa94d"},
};

TEST(Des, ClassicVectorsBothDirections) {
  for (const auto& v : kVectors) {
    EXPECT_EQ(Encrypt(FromHex(v.key), FromHex(v.plain), kDesEncrypt), v.cipher) << "key " << v.key;
    EXPECT_EQ(Encrypt(FromHex(v.key), FromHex(v.cipher), kDesDecrypt), v.plain) << "key " << v.key;
  }
}

TEST(Des, ParityBitsOfTheKeyAreIgnored) {
  auto key = FromHex("0123456789abcdef");
  for (auto& b : key) b ^= 1;
  EXPECT_EQ(Encrypt(key, FromHex("4e6f772069732074"), kDesEncrypt), "3fa40e8a984d4815");
}

TEST(Des, EncryptsInPlace) {
  DesKeySchedule schedule;
  const auto key = FromHex("0123456789abcdef");
  DesSetKey(key.data(), schedule, kDesEncrypt);
  auto block = FromHex("4e6f772069732074");
  DesEncryptBlock(block.data(), block.data(), schedule);
  EXPECT_EQ(Hex(block), "3fa40e8a984d4815");
}

bool SameSchedule(const DesKeySchedule& a, const DesKeySchedule& b) {
  return std::memcmp(a.subkeys, b.subkeys, sizeof a.subkeys) == 0;
}

TEST(Des, SevenByteKeySpreadsSevenBitsPerByte) {
  struct {
    const char* key7;
    const char* key8;
  } cases[] = {
      {"ffffffffffffff", "fffffffffffffffe"},
      {"00000000000000", "0000000000000000"},
      {"44ebba8d5312b8", "4474ee50d4984a70"},
  };
  for (const auto& c : cases) {
    DesKeySchedule fromSeven, fromEight;
    DesSetKey7(FromHex(c.key7).data(), fromSeven, kDesEncrypt);
    DesSetKey(FromHex(c.key8).data(), fromEight, kDesEncrypt);
    EXPECT_TRUE(SameSchedule(fromSeven, fromEight)) << c.key7;
  }
}

// The spreading written out bit by bit, independently of the shifts the library uses.
std::vector<std::uint8_t> Spread(const std::vector<std::uint8_t>& key7) {
  std::uint64_t bits = 0;
  for (std::uint8_t b : key7) bits = (bits << 8) | b;
  std::vector<std::uint8_t> key8(8);
  for (int i = 0; i < 8; ++i) key8[i] = static_cast<std::uint8_t>(((bits >> (49 - 7 * i)) & 0x7f) << 1);
  return key8;
}

TEST(Des, MatchesOpenSslOnRandomKeysAndBlocks) {
  std::mt19937 rng(46);
  for (int i = 0; i < 200; ++i) {
    const auto key7 = RandomBytes(rng, 7);
    const auto key8 = RandomBytes(rng, 8);
    const auto block = RandomBytes(rng, 8);
    std::uint8_t expected[8];
    openssl_reference::Cipher("DES-ECB", key8.data(), 8).Update(block.data(), 8, expected);
    EXPECT_EQ(Encrypt(key8, block, kDesEncrypt), Hex(expected, 8));
    openssl_reference::Cipher("DES-ECB", key8.data(), 8, false).Update(block.data(), 8, expected);
    EXPECT_EQ(Encrypt(key8, block, kDesDecrypt), Hex(expected, 8));

    DesKeySchedule schedule;
    DesSetKey7(key7.data(), schedule, kDesEncrypt);
    std::uint8_t out[8];
    DesEncryptBlock(block.data(), out, schedule);
    openssl_reference::Cipher("DES-ECB", Spread(key7).data(), 8).Update(block.data(), 8, expected);
    EXPECT_EQ(Hex(out, 8), Hex(expected, 8)) << "7-byte key " << Hex(key7);
  }
}

// RFC 2759 section 9.2: user "User", password "clientPass". NtPasswordHash is MD4 of the
// UTF-16LE password, ChallengeHash the first 8 bytes of SHA-1 over both challenges and the
// user name, and the NT-Response three DES encryptions of the challenge under 7-byte slices
// of the hash padded with zeros to 21 bytes.
TEST(Des, MsChapV2WorkedExample) {
  const std::string password = "clientPass";
  std::vector<std::uint8_t> unicode;
  for (char ch : password) unicode.insert(unicode.end(), {static_cast<std::uint8_t>(ch), 0});
  std::uint8_t passwordHash[21] = {};
  Md4Digest(passwordHash, unicode.data(), unicode.size());
  EXPECT_EQ(Hex(passwordHash, 16), "44ebba8d5312b8d611474411f56989ae");

  std::uint8_t hashHash[kMd4DigestSize];
  Md4Digest(hashHash, passwordHash, 16);
  EXPECT_EQ(Hex(hashHash, 16), "41c00c584bd2d91c4017a2a12fa59f3f");

  const auto authenticatorChallenge = FromHex("5b5d7c7d7b3f2f3e3c2c602132262628");
  const auto peerChallenge = FromHex("21402324255e262a28295f2b3a337c7e");
  Sha1Context sha;
  Sha1Init(sha);
  Sha1Update(sha, peerChallenge.data(), peerChallenge.size());
  Sha1Update(sha, authenticatorChallenge.data(), authenticatorChallenge.size());
  Sha1Update(sha, "User", 4);
  std::uint8_t challenge[kSha1DigestSize];
  Sha1Final(challenge, sha);
  EXPECT_EQ(Hex(challenge, 8), "d02e4386bce91226");

  std::uint8_t response[24];
  for (int i = 0; i < 3; ++i) {
    DesKeySchedule schedule;
    DesSetKey7(passwordHash + 7 * i, schedule, kDesEncrypt);
    DesEncryptBlock(challenge, response + 8 * i, schedule);
  }
  EXPECT_EQ(Hex(response, 24), "82309ecd8d708b5ea08faa3981cd83544233114a3d85d6df");
}

}  // namespace
