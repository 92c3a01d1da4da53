// AES-128 and CCMP against FIPS-197, the IEEE 802.11 CCMP MPDU example and OpenSSL's
// AES-128-CCM, with the receive refusals; each in both AES forms (the CPU's instructions and
// the table code).
#include "driver/core/ccmp_cipher.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <random>
#include <vector>

#include "dcf1/src/crypto/crypto_test_support.h"
#include "driver/core/aes128.h"

using namespace zelnic::core;
using crypto_test::FromHex;
using crypto_test::Hex;

namespace {

enum class AesForm { kTables, kCpuInstructions };

// Runs a test in one AES form; the CPU's instructions only where the CPU has them.
class EachAesForm : public ::testing::TestWithParam<AesForm> {
 protected:
  void SetUp() override {
    if (GetParam() == AesForm::kCpuInstructions && !CpuHasAesInstructions())
      GTEST_SKIP() << "this CPU has no AES instructions";
    AllowCpuAesInstructions(GetParam() == AesForm::kCpuInstructions);
    ASSERT_EQ(CpuAesInstructionsInUse(), GetParam() == AesForm::kCpuInstructions);
  }
  void TearDown() override { AllowCpuAesInstructions(true); }
};

INSTANTIATE_TEST_SUITE_P(Aes, EachAesForm, ::testing::Values(AesForm::kTables, AesForm::kCpuInstructions),
                         [](const auto& info) { return info.param == AesForm::kTables ? "Tables" : "CpuInstructions"; });

TEST_P(EachAesForm, MatchesTheFips197Examples) {
  struct Case {
    const char* key;
    const char* plain;
    const char* cipher;
  };
  const Case kCases[] = {
      {"000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff", "69c4e0d86a7b0430d8cdb78070b4c55a"},
      {"2b7e151628aed2a6abf7158809cf4f3c", "3243f6a8885a308d313198a2e0370734", "3925841d02dc09fbdc118597196a0b32"},
  };
  for (const Case& c : kCases) {
    const std::vector<std::uint8_t> key = FromHex(c.key), plain = FromHex(c.plain);
    std::uint8_t out[16];
    AesEncryptWithKey(key.data(), plain.data(), out);
    EXPECT_EQ(Hex(out, 16), c.cipher) << c.key;
  }
  AesKeySchedule schedule;
  EXPECT_FALSE(AesExpandKey(FromHex("000102030405060708090a0b0c0d0e").data(), 15, schedule));
}

// The paired form overlaps two blocks' rounds; each must come out as it would alone, also
// when a block is encrypted in place.
TEST_P(EachAesForm, TwoBlocksAtOnceEqualTwoSingleBlocks) {
  const std::vector<std::uint8_t> key = FromHex("2b7e151628aed2a6abf7158809cf4f3c");
  AesKeySchedule schedule;
  ASSERT_TRUE(AesExpandKey(key.data(), 16, schedule));
  std::uint8_t a[16], b[16], aAlone[16], bAlone[16];
  for (int i = 0; i < 16; ++i) a[i] = static_cast<std::uint8_t>(i * 7 + 1), b[i] = static_cast<std::uint8_t>(0xF0 - i);
  AesEncryptBlock(a, aAlone, schedule);
  AesEncryptBlock(b, bAlone, schedule);
  std::uint8_t bOut[16];
  AesEncryptTwoBlocks(a, a, b, bOut, schedule);
  EXPECT_EQ(Hex(a, 16), Hex(aAlone, 16));
  EXPECT_EQ(Hex(bOut, 16), Hex(bAlone, 16));
}

// A schedule is read in the form it was expanded in, whatever the switch says later (CKIP's
// MIC keeps one across a frame).
TEST_P(EachAesForm, AScheduleKeepsItsFormWhenTheSwitchChanges) {
  const std::vector<std::uint8_t> key = FromHex("000102030405060708090a0b0c0d0e0f");
  const std::vector<std::uint8_t> plain = FromHex("00112233445566778899aabbccddeeff");
  AesKeySchedule schedule;
  ASSERT_TRUE(AesExpandKey(key.data(), 16, schedule));
  AllowCpuAesInstructions(GetParam() != AesForm::kCpuInstructions);
  std::uint8_t out[16];
  AesEncryptBlock(plain.data(), out, schedule);
  EXPECT_EQ(Hex(out, 16), "69c4e0d86a7b0430d8cdb78070b4c55a");
}

// The IEEE 802.11 CCMP MPDU example.
const std::vector<std::uint8_t> kExampleKey = FromHex("c97c1f67ce371185514a8a19f2bdd52f");
const std::vector<std::uint8_t> kExampleHeader = FromHex("0848c32c0fd2e128a57c5030f1844408abaea5b8fcba8033");
const std::vector<std::uint8_t> kExamplePlain = FromHex("f8ba1a55d02f85ae967bb62fb6cda8eb7e78a050");
const char kExampleBody[] =
    "0ce70020769703b5"
    "f3d0a2fe9a3dbf2342a643e43246e80c3c04d019"
    "7845ce0b16f97623";

TEST_P(EachAesForm, CcmpEncryptsAndDecryptsTheStandardsExample) {
  std::vector<std::uint8_t> body(kCcmpHeaderBytes + kExamplePlain.size() + kCcmpMicBytes);
  std::copy(kExamplePlain.begin(), kExamplePlain.end(), body.begin() + kCcmpHeaderBytes);
  ASSERT_EQ(CcmpEncrypt(kExampleKey.data(), kExampleHeader.data(), 24, 0xB5039776E70Cull, 0, body.data(),
                        static_cast<std::uint32_t>(kExamplePlain.size())),
            CcmpRefusal::kNone);
  std::string expected;
  for (char c : std::string(kExampleBody)) if (c != ' ') expected += c;
  EXPECT_EQ(Hex(body.data(), body.size()), expected);
  EXPECT_EQ(CcmpReceivedPn(body.data()), 0xB5039776E70Cull);

  std::uint32_t dataLength = 0;
  ASSERT_EQ(CcmpDecrypt(kExampleKey.data(), kExampleHeader.data(), 24, 0, true, body.data(),
                        static_cast<std::uint32_t>(body.size()), dataLength),
            CcmpRefusal::kNone);
  ASSERT_EQ(dataLength, kExamplePlain.size());
  EXPECT_EQ(Hex(body.data() + kCcmpHeaderBytes, dataLength), Hex(kExamplePlain.data(), kExamplePlain.size()));
}

// OpenSSL's AES-128-CCM with an 8-byte tag: ciphertext followed by the tag.
std::vector<std::uint8_t> OpenSslCcm(const std::vector<std::uint8_t>& key, const std::uint8_t nonce[13],
                                     const std::vector<std::uint8_t>& aad, const std::vector<std::uint8_t>& plain) {
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  EVP_CIPHER* ccm = EVP_CIPHER_fetch(nullptr, "AES-128-CCM", nullptr);
  std::vector<std::uint8_t> out(plain.size() + 8);
  std::uint8_t none = 0;  // an empty MSDU still goes through the data step, which makes the tag
  const std::uint8_t* in = plain.empty() ? &none : plain.data();
  std::uint8_t* into = plain.empty() ? &none : out.data();
  int n = 0;
  bool ok = ctx != nullptr && ccm != nullptr && EVP_EncryptInit_ex2(ctx, ccm, nullptr, nullptr, nullptr) == 1 &&
            EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_SET_IVLEN, 13, nullptr) == 1 &&
            EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_SET_TAG, 8, nullptr) == 1 &&
            EVP_EncryptInit_ex2(ctx, nullptr, key.data(), nonce, nullptr) == 1 &&
            EVP_EncryptUpdate(ctx, nullptr, &n, nullptr, static_cast<int>(plain.size())) == 1 &&
            EVP_EncryptUpdate(ctx, nullptr, &n, aad.data(), static_cast<int>(aad.size())) == 1 &&
            EVP_EncryptUpdate(ctx, into, &n, in, static_cast<int>(plain.size())) == 1 &&
            EVP_EncryptFinal_ex(ctx, into + n, &n) == 1 &&
            EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_GET_TAG, 8, out.data() + plain.size()) == 1;
  EVP_CIPHER_free(ccm);
  EVP_CIPHER_CTX_free(ctx);
  EXPECT_TRUE(ok);
  return out;
}

TEST_P(EachAesForm, CcmpAgreesWithOpenSslCcmForThreeAndFourAddressQosFrames) {
  std::mt19937 random(23);
  const std::vector<std::uint8_t> key = FromHex("000102030405060708090a0b0c0d0e0f");
  struct Case {
    const char* name;
    std::uint8_t fc0, fc1;
    std::uint32_t headerLength;
  };
  const Case kCases[] = {{"data toward the AP", 0x08, 0x01, 24},
                         {"QoS data from the AP with retry", 0x88, 0x0A, 26},
                         {"four-address QoS data", 0x88, 0x03, 32}};
  for (const Case& c : kCases) {
    for (std::uint32_t length : {0u, 1u, 16u, 17u, 32u, 1500u}) {
      std::vector<std::uint8_t> header(c.headerLength), plain(length);
      for (auto& b : header) b = static_cast<std::uint8_t>(random());
      for (auto& b : plain) b = static_cast<std::uint8_t>(random());
      header[0] = c.fc0;
      header[1] = c.fc1;
      const std::uint64_t pn = (static_cast<std::uint64_t>(random()) << 16 | random()) & kCcmpPnMask;

      // The nonce and AAD as the standard builds them, given to OpenSSL independently.
      const bool four = c.headerLength >= 30;
      const bool qos = (c.fc0 & 0x80) != 0;
      const std::uint8_t tid = qos ? header[four ? 30 : 24] & 0x0F : 0;
      std::uint8_t nonce[13] = {tid};
      std::copy(header.begin() + 10, header.begin() + 16, nonce + 1);
      for (int i = 0; i < 6; ++i) nonce[7 + i] = static_cast<std::uint8_t>(pn >> (8 * (5 - i)));
      std::vector<std::uint8_t> aad = {static_cast<std::uint8_t>(c.fc0 & 0x8F),
                                       static_cast<std::uint8_t>((c.fc1 & 0xC7) | 0x40)};
      aad.insert(aad.end(), header.begin() + 4, header.begin() + 22);
      aad.push_back(header[22] & 0x0F);
      aad.push_back(0);
      if (four) aad.insert(aad.end(), header.begin() + 24, header.begin() + 30);
      if (qos) aad.insert(aad.end(), {tid, 0});
      const std::vector<std::uint8_t> theirs = OpenSslCcm(key, nonce, aad, plain);

      std::vector<std::uint8_t> body(kCcmpHeaderBytes + length + kCcmpMicBytes);
      std::copy(plain.begin(), plain.end(), body.begin() + kCcmpHeaderBytes);
      ASSERT_EQ(CcmpEncrypt(key.data(), header.data(), c.headerLength, pn, 2, body.data(), length),
                CcmpRefusal::kNone);
      EXPECT_EQ(body[3], 0xA0) << c.name;
      EXPECT_EQ(Hex(body.data() + kCcmpHeaderBytes, length + 8), Hex(theirs.data(), theirs.size()))
          << c.name << " " << length;
      std::uint32_t dataLength = 0;
      ASSERT_EQ(CcmpDecrypt(key.data(), header.data(), c.headerLength, pn - 1, true, body.data(),
                            static_cast<std::uint32_t>(body.size()), dataLength),
                CcmpRefusal::kNone)
          << c.name;
      EXPECT_TRUE(std::equal(plain.begin(), plain.end(), body.begin() + kCcmpHeaderBytes)) << c.name;
    }
  }
}

TEST_P(EachAesForm, CcmpRefusesReplaysShortInputsMissingExtendedIvAndForgeries) {
  const std::uint64_t pn = 0x000100000000ull;  // only an upper byte set: a 32-bit compare would miss it
  std::vector<std::uint8_t> good(kCcmpHeaderBytes + 20 + kCcmpMicBytes, 0x33);
  ASSERT_EQ(CcmpEncrypt(kExampleKey.data(), kExampleHeader.data(), 24, pn, 0, good.data(), 20), CcmpRefusal::kNone);
  const auto size = static_cast<std::uint32_t>(good.size());
  struct Case {
    const char* name;
    std::uint64_t lastPn;
    bool checkReplay;
    std::uint32_t headerLength, bodyLength;
    int flipBody, flipHeader;
    CcmpRefusal expected;
  };
  const Case kCases[] = {
      {"fresh", pn - 1, true, 24, size, -1, -1, CcmpRefusal::kNone},
      {"same packet number", pn, true, 24, size, -1, -1, CcmpRefusal::kReplay},
      {"older packet number", pn + 1, true, 24, size, -1, -1, CcmpRefusal::kReplay},
      {"last differs only in the low 32 bits", 0xFFFFFFFFull, true, 24, size, -1, -1, CcmpRefusal::kNone},
      {"replay without the check (WPA-None)", pn, false, 24, size, -1, -1, CcmpRefusal::kNone},
      {"body shorter than header and MIC", 0, true, 24, 15, -1, -1, CcmpRefusal::kTooShort},
      {"MAC header of 23 bytes", 0, true, 23, size, -1, -1, CcmpRefusal::kTooShort},
      {"no Extended IV bit", 0, true, 24, size, 3, -1, CcmpRefusal::kNoExtendedIv},
      {"flipped data bit", pn - 1, true, 24, size, 12, -1, CcmpRefusal::kMicFailure},
      {"flipped MIC bit", pn - 1, true, 24, size, static_cast<int>(size - 1), -1, CcmpRefusal::kMicFailure},
      {"flipped address 3 bit", pn - 1, true, 24, size, -1, 17, CcmpRefusal::kMicFailure},
      {"retry bit set (masked out)", pn - 1, true, 24, size, -1, 100, CcmpRefusal::kNone},
  };
  for (const Case& c : kCases) {
    std::vector<std::uint8_t> body = good, header = kExampleHeader;
    if (c.flipBody >= 0) body[c.flipBody] ^= c.flipBody == 3 ? 0x20 : 0x01;
    if (c.flipHeader == 100) header[1] |= 0x08;
    else if (c.flipHeader >= 0) header[c.flipHeader] ^= 0x01;
    std::uint32_t dataLength = 99;
    EXPECT_EQ(CcmpDecrypt(kExampleKey.data(), header.data(), c.headerLength, c.lastPn, c.checkReplay, body.data(),
                          c.bodyLength, dataLength),
              c.expected)
        << c.name;
    EXPECT_EQ(dataLength, c.expected == CcmpRefusal::kNone ? 20u : 0u) << c.name;
  }
}

}  // namespace
