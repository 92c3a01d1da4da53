// CKIP's pieces against an independent model of the algorithm (no public vectors exist):
// key permutation, the MMH reduction, the CMIC over a frame body, sequence numbering and the
// encryption with its refusals.
#include "driver/core/ckip_cipher.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "dcf1/src/crypto/crypto_test_support.h"

using namespace zelnic::core;
using crypto_test::FromHex;
using crypto_test::Hex;

namespace {

const std::vector<std::uint8_t> kKey = FromHex("101112131415161718191a1b1c1d1e1f");

CkipKeyRecord Installed(const std::vector<std::uint8_t>& key) {
  CkipKeyRecord record;
  InstallCkipKey(record, key.data(), static_cast<std::uint32_t>(key.size()));
  return record;
}

TEST(CkipCipher, KeyPermutationTable) {
  struct Case {
    std::uint32_t direction;
    const char* iv;
    const char* expected;
  };
  const Case kCases[] = {
      {1, "000000", "000000552ca1a6291a8ca4d3138b0bc8"},
      {1, "123456", "12345628c5a688a9943ccf3687108862"},
      {2, "123456", "1234563087766ccb8422513ac799c50c"},  // the direction changes every byte after the IV
      {3, "ffffff", "ffffff064ab89ac7e1b6be43fa5f5871"},
  };
  for (const Case& c : kCases) {
    std::uint8_t out[16];
    CkipKeyPermute(out, kKey.data(), c.direction, FromHex(c.iv).data());
    EXPECT_EQ(Hex(out, 16), c.expected) << c.direction << " " << c.iv;
  }
}

TEST(CkipCipher, AShortKeyIsRepeatedToSixteenBytes) {
  const CkipKeyRecord record = Installed(FromHex("0102030405"));
  EXPECT_EQ(Hex(record.key, 16), "01020304050102030405010203040501");
  EXPECT_TRUE(record.Installed());
  std::uint8_t out[16];
  const std::uint8_t iv[3] = {0, 0, 0};
  CkipKeyPermute(out, record.key, 1, iv);
  EXPECT_EQ(Hex(out, 16), "000000720b12cbc9be4848e58a8fcaec");

  const CkipKeyRecord longer = Installed(FromHex("000102030405060708090a0b0c0d0e0f1011121314"));
  EXPECT_EQ(Hex(longer.key, 16), "000102030405060708090a0b0c0d0e0f");
  EXPECT_FALSE(Installed({}).Installed());
}

TEST(CkipCipher, MmhReductionEdgeCases) {
  struct Case {
    std::uint64_t sum;
    std::uint32_t residue;
  };
  const Case kCases[] = {
      {0, 0},
      {0xFFFFFFFFu, 0xFFFFFFFFu},
      {0x10000000Eu, 0xE},       // the modulus less one: its low 32 bits
      {0x10000000Fu, 0},         // exactly the modulus
      {0x100000010u, 1},         // the modulus plus one
      {0xF00000000u, 0xFFFFFF2Eu},  // the first fold goes negative
      {0xF0000000Eu, 0xFFFFFF3Cu},
      {0x8000000000000000u, 0x80000078u},
      {0xFFFFFFFFFFFFFFFFu, 0xE0},  // the largest sum
  };
  for (const Case& c : kCases) EXPECT_EQ(MmhReduce(c.sum), c.residue) << std::hex << c.sum;
}

// A plaintext CKIP body: SNAP, CMIC, SEQ 4, an EtherType and "hello ckip".
std::vector<std::uint8_t> Body() {
  std::vector<std::uint8_t> body(kCkipSnap, kCkipSnap + 8);
  const std::vector<std::uint8_t> rest = FromHex("00000000000000040800");
  body.insert(body.end(), rest.begin(), rest.end());
  const char* text = "hello ckip";
  body.insert(body.end(), text, text + std::strlen(text));
  return body;
}

const std::uint8_t kDestination[6] = {0x02, 0, 0, 0, 0, 0x02};
const std::uint8_t kSource[6] = {0x02, 0, 0, 0, 0, 0x01};

TEST(CkipCipher, CmicCoversAddressesLengthSnapSeqAndPayload) {
  std::vector<std::uint8_t> body = Body();
  const auto length = static_cast<std::uint32_t>(body.size());
  CkipSealCmic(kKey.data(), kDestination, kSource, body.data(), length);
  EXPECT_EQ(Hex(body.data() + kCkipCmicAt, 4), "7daa4bf6");
  EXPECT_TRUE(CkipCmicMatches(kKey.data(), kDestination, kSource, body.data(), length));

  // Each covered byte after the SNAP header matters (a changed SNAP header is no longer a
  // CKIP body, below); so do the addresses, the length and the key.
  for (std::uint32_t at : {12u, 15u, 16u, length - 1}) {
    std::vector<std::uint8_t> changed = body;
    changed[at] ^= 0x01;
    EXPECT_FALSE(CkipCmicMatches(kKey.data(), kDestination, kSource, changed.data(), length)) << at;
  }
  EXPECT_FALSE(CkipCmicMatches(kKey.data(), kSource, kDestination, body.data(), length));
  EXPECT_FALSE(CkipCmicMatches(kKey.data(), kDestination, kSource, body.data(), length - 1));
  std::vector<std::uint8_t> otherKey = kKey;
  otherKey[15] ^= 1;
  EXPECT_FALSE(CkipCmicMatches(otherKey.data(), kDestination, kSource, body.data(), length));
}

TEST(CkipCipher, ABodyWithoutTheCkipSnapPassesUnchecked) {
  const std::vector<std::uint8_t> plain = FromHex("aaaa0300000008004500");
  EXPECT_TRUE(CkipCmicMatches(kKey.data(), kDestination, kSource, plain.data(), 10));
  EXPECT_TRUE(CkipCmicMatches(kKey.data(), kDestination, kSource, plain.data(), 0));
  // The SNAP header but no room for CMIC and SEQ: refused, never read past the end.
  const std::vector<std::uint8_t> cut(kCkipSnap, kCkipSnap + 8);
  EXPECT_FALSE(CkipCmicMatches(kKey.data(), kDestination, kSource, cut.data(), 8));
}

TEST(CkipCipher, SequenceNumbersRunInStepsOfTwoFromEveryInstall) {
  CkipKeyRecord record = Installed(kKey);
  EXPECT_EQ(TakeCkipSequence(record), 0u);
  EXPECT_EQ(TakeCkipSequence(record), 2u);
  EXPECT_EQ(TakeCkipSequence(record), 4u);
  InstallCkipKey(record, kKey.data(), 16);
  EXPECT_EQ(TakeCkipSequence(record), 0u);
}

TEST(CkipCipher, EncryptThenDecryptWithAndWithoutPermutation) {
  const CkipKeyRecord key = Installed(kKey);
  for (bool permute : {true, false}) {
    const std::vector<std::uint8_t> plain = Body();
    const auto length = static_cast<std::uint32_t>(plain.size());
    std::vector<std::uint8_t> frame(4 + length + 4);
    std::memcpy(frame.data() + 4, plain.data(), length);
    CkipEncrypt(frame.data(), length, 0x123456, 2, key, permute, 1);
    EXPECT_EQ(Hex(frame.data(), 4), "12345680");
    EXPECT_NE(std::memcmp(frame.data() + 4, plain.data(), length), 0);

    // Sent with direction 1 (ToDS): a receiver that reads other DS bits gets a bad ICV
    // when the key is permuted.
    if (permute) {
      std::vector<std::uint8_t> copy = frame;
      std::uint32_t data = 7;
      EXPECT_EQ(CkipDecrypt(copy.data(), static_cast<std::uint32_t>(copy.size()), key, true, 2, data),
                CkipRefusal::kIcvMismatch);
      EXPECT_EQ(data, 0u);
    }
    std::vector<std::uint8_t> tampered = frame;
    tampered[10] ^= 0x40;
    std::uint32_t data = 0;
    EXPECT_EQ(CkipDecrypt(tampered.data(), static_cast<std::uint32_t>(tampered.size()), key, permute, 1, data),
              CkipRefusal::kIcvMismatch);

    ASSERT_EQ(CkipDecrypt(frame.data(), static_cast<std::uint32_t>(frame.size()), key, permute, 1, data),
              CkipRefusal::kNone);
    EXPECT_EQ(data, length);
    EXPECT_EQ(std::memcmp(frame.data() + 4, plain.data(), length), 0) << permute;
  }
}

TEST(CkipCipher, WithoutPermutationEachIvGivesItsOwnKeystream) {
  const CkipKeyRecord key = Installed(kKey);
  std::vector<std::uint8_t> a(4 + 16 + 4, 0), b(4 + 16 + 4, 0);
  CkipEncrypt(a.data(), 16, 1, 0, key, false, 1);
  CkipEncrypt(b.data(), 16, 2, 0, key, false, 1);
  EXPECT_NE(std::memcmp(a.data() + 4, b.data() + 4, 16), 0);
}

TEST(CkipCipher, DecryptRefusals) {
  std::vector<std::uint8_t> frame(7, 0);
  std::uint32_t data = 0;
  EXPECT_EQ(CkipDecrypt(frame.data(), 7, Installed(kKey), true, 2, data), CkipRefusal::kTooShort);
  frame.resize(8);
  EXPECT_EQ(CkipDecrypt(frame.data(), 8, CkipKeyRecord{}, true, 2, data), CkipRefusal::kNoKey);
}

}  // namespace
