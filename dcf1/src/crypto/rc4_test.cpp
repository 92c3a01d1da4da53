// RC4 against RFC 6229 and OpenSSL.
#include <dcf/dcfException.h>
#include <dcf/rc4.h>
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "dcf1/src/crypto/crypto_test_support.h"
#include "dcf1/src/crypto/openssl_reference.h"

using namespace crypto_test;

namespace {

std::vector<std::uint8_t> Keystream(const std::vector<std::uint8_t>& key, std::size_t length) {
  Rc4State state;
  Rc4SetKey(state, key.size(), key.data());
  std::vector<std::uint8_t> out(length, 0);
  Rc4Crypt(state, length, out.data(), out.data());
  return out;
}

struct Rfc6229Vector {
  const char* key;
  std::size_t offset;
  const char* keystream;
};

// RFC 6229 section 2, keys counting up from 01: 16 bytes at offsets that straddle the
// 256-byte mark and reach 4096.
const Rfc6229Vector kVectors[] = {
    {"0102030405", 0, "b2396305f03dc027ccc3524a0a1118a8"},
    {"0102030405", 16, "6982944f18fc82d589c403a47a0d0919"},
    {"0102030405", 240, "28cb1132c96ce286421dcaadb8b69eae"},
    {"0102030405", 256, "1cfcf62b03eddb641d77dfcf7f8d8c93"},
    {"0102030405", 1520, "3294f744d8f9790507e70f62e5bbceea"},
    {"0102030405", 4096, "ff25b58995996707e51fbdf08b34d875"},
    {"01020304050607", 0, "293f02d47f37c9b633f2af5285feb46b"},
    {"01020304050607", 3072, "ad26581c0c5be45f4cea01db2f3805d5"},
    {"0102030405060708", 0, "97ab8a1bf0afb96132f2f67258da15a8"},
    {"0102030405060708", 768, "44173a103b6616c5d5ad1cee40c863d0"},
    {"0102030405060708090a0b0c0d0e0f10", 0, "9ac7cc9a609d1ef7b2932899cde41b97"},
    {"0102030405060708090a0b0c0d0e0f10", 4080, "ff38265c1642c1abe8d3c2fe5e572bf8"},
    {"0102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f20", 0, "eaa6bd25880bf93d3f5d1e4ca2611d91"},
    {"0102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f20", 2048, "18b62503bfbc077fbabb98f20d98ab34"},
};

TEST(Rc4, Rfc6229Keystreams) {
  for (const auto& v : kVectors) {
    const auto stream = Keystream(FromHex(v.key), v.offset + 16);
    EXPECT_EQ(Hex(stream.data() + v.offset, 16), v.keystream) << "key " << v.key << " offset " << v.offset;
  }
}

// A one-byte key is repeated over all 256 positions of the schedule: the same as keying
// with that byte written out 256 times.
TEST(Rc4, OneByteKeyRepeatsOverTheSchedule) {
  EXPECT_EQ(Hex(Keystream({0x5a}, 64)), Hex(Keystream(std::vector<std::uint8_t>(256, 0x5a), 64)));
}

// Keying repeats the key over the schedule; an empty key would make it read past the key.
TEST(Rc4, EmptyKeyIsRefused) {
  Rc4State state;
  const std::uint8_t key[1] = {1};
  EXPECT_THROW(Rc4SetKey(state, 0, key), dcfRangeException);
  EXPECT_THROW(Rc4SetKey(state, 5, nullptr), dcfRangeException);
}

TEST(Rc4, CryptOfNothingLeavesTheStateAlone) {
  Rc4State a, b;
  const auto key = FromHex("0102030405");
  Rc4SetKey(a, key.size(), key.data());
  Rc4SetKey(b, key.size(), key.data());
  std::uint8_t scratch[1];
  Rc4Crypt(a, 7, std::vector<std::uint8_t>(7).data(), std::vector<std::uint8_t>(7).data());
  Rc4Crypt(b, 7, std::vector<std::uint8_t>(7).data(), std::vector<std::uint8_t>(7).data());
  Rc4Crypt(a, 0, scratch, scratch);
  Rc4Crypt(a, 0, nullptr, nullptr);
  EXPECT_EQ(a.x, b.x);
  EXPECT_EQ(a.y, b.y);
  EXPECT_EQ(std::memcmp(a.S, b.S, sizeof a.S), 0);
}

// Random keys of several lengths and messages of every interesting length, crypted in one
// call and in two calls split at every offset: the same bytes as OpenSSL's RC4.
TEST(Rc4, MatchesOpenSsl) {
  std::mt19937 rng(6229);
  for (std::size_t keyLength : {1, 5, 13, 16, 32, 256}) {
    const auto key = RandomBytes(rng, keyLength);
    for (std::size_t length : InterestingLengths()) {
      const auto data = RandomBytes(rng, length);
      std::vector<std::uint8_t> ours(length), theirs(length);
      Rc4State state;
      Rc4SetKey(state, key.size(), key.data());
      Rc4Crypt(state, length, data.data(), ours.data());
      openssl_reference::Cipher("RC4", key.data(), key.size()).Update(data.data(), length, theirs.data());
      EXPECT_EQ(Hex(ours), Hex(theirs)) << "key " << keyLength << ", length " << length;
    }
  }
  const auto key = RandomBytes(rng, 16);
  const auto data = RandomBytes(rng, 100);
  std::vector<std::uint8_t> theirs(data.size());
  openssl_reference::Cipher("RC4", key.data(), key.size()).Update(data.data(), data.size(), theirs.data());
  for (std::size_t cut = 0; cut <= data.size(); ++cut) {
    std::vector<std::uint8_t> ours(data);
    Rc4State state;
    Rc4SetKey(state, key.size(), key.data());
    Rc4Crypt(state, cut, ours.data(), ours.data());
    Rc4Crypt(state, ours.size() - cut, ours.data() + cut, ours.data() + cut);
    EXPECT_EQ(Hex(ours), Hex(theirs)) << "cut at " << cut;
  }
}

}  // namespace
