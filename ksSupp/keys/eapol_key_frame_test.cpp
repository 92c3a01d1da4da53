#include "ksSupp/keys/eapol_key_frame.h"

#include <gtest/gtest.h>

#include "ksSupp/keys/null_key_handler_services.h"
#include "ksSupp/keys/key_test_support.h"

namespace {

struct CapturingServices : NullKeyHandlerServices {
  std::vector<Bytes> sent;
  void TransmitEapolKey(const uint8_t* frame, uint32_t length) override { sent.emplace_back(frame, frame + length); }
};

TEST(EapolKeyWriter, LaysOutTheFrameAndSignsIt) {
  const Bytes kck = Hex("00112233445566778899aabbccddeeff"), nonce(32, 0x4E), iv(16, 0x1F);
  const Bytes keyData = Hex("30020100");
  CapturingServices services;
  EapolKeyWriter w;
  w.eapolVersion = 1;
  w.descriptorVersion = 2;
  w.micKey = kck.data();
  w.keyInformation = 0x010A;
  w.keyLength = 16;
  w.replayCounter = 0x0102030405060708;
  w.nonce = nonce.data();
  w.iv = iv.data();
  w.rscLow = 0x44332211;
  w.rscHigh = 0x88776655;
  w.keyData = keyData.data();
  w.keyDataLength = 4;
  ASSERT_TRUE(w.Write(eapol_key::kDescriptorRsn, services));
  ASSERT_EQ(services.sent.size(), 1u);
  const Bytes& f = services.sent[0];
  ASSERT_EQ(f.size(), 103u);
  EXPECT_EQ(Bytes(f.begin(), f.begin() + 9), Hex("0103006302010a0010"));
  EXPECT_EQ(Bytes(f.begin() + 9, f.begin() + 17), Hex("0102030405060708"));
  EXPECT_EQ(Bytes(f.begin() + 17, f.begin() + 49), nonce);
  EXPECT_EQ(Bytes(f.begin() + 49, f.begin() + 65), iv);
  EXPECT_EQ(Bytes(f.begin() + 65, f.begin() + 81), Hex("11223344556677880000000000000000"));
  EXPECT_EQ(Bytes(f.begin() + 97, f.end()), Hex("000430020100"));

  Bytes zeroed = f;
  std::fill(zeroed.begin() + 81, zeroed.begin() + 97, 0);
  Bytes expected = OpenSslHmac(EVP_sha1(), kck, zeroed);
  expected.resize(16);
  EXPECT_EQ(Bytes(f.begin() + 81, f.begin() + 97), expected);
  EXPECT_TRUE(eapol_key_mic(2, kck.data(), f.data(), static_cast<uint32_t>(f.size())));
}

TEST(EapolKeyMic, UsesHmacMd5ForVersion1AndChecksEveryByte) {
  const Bytes kck = Hex("0f0e0d0c0b0a09080706050403020100");
  CapturingServices services;
  EapolKeyWriter w;
  w.descriptorVersion = 1;
  w.micKey = kck.data();
  w.keyInformation = 0x0109;
  ASSERT_TRUE(w.Write(eapol_key::kDescriptorRsn, services));
  Bytes f = services.sent[0];
  Bytes zeroed = f;
  std::fill(zeroed.begin() + 81, zeroed.begin() + 97, 0);
  EXPECT_EQ(Bytes(f.begin() + 81, f.begin() + 97), OpenSslHmac(EVP_md5(), kck, zeroed));

  const uint32_t n = static_cast<uint32_t>(f.size());
  EXPECT_TRUE(eapol_key_mic(1, kck.data(), f.data(), n));
  EXPECT_FALSE(eapol_key_mic(2, kck.data(), f.data(), n));
  EXPECT_FALSE(eapol_key_mic(3, kck.data(), f.data(), n));
  EXPECT_FALSE(eapol_key_mic(1, nullptr, f.data(), n));
  EXPECT_FALSE(eapol_key_mic(1, kck.data(), f.data(), 96));
  Bytes withTrailer = f;  // bytes after the Key Data are not signed
  withTrailer.push_back(0xEE);
  EXPECT_TRUE(eapol_key_mic(1, kck.data(), withTrailer.data(), n + 1));
  for (size_t at : {0u, 40u, 85u, 98u}) {
    Bytes changed = f;
    changed[at] ^= 0x01;
    EXPECT_FALSE(eapol_key_mic(1, kck.data(), changed.data(), n)) << at;
  }
}

TEST(EapolKeyWriter, SendsNothingWhenItCannotSign) {
  CapturingServices services;
  EapolKeyWriter w;
  w.descriptorVersion = 2;
  w.keyInformation = 0x0108;  // MIC asked for, no key
  EXPECT_FALSE(w.Write(eapol_key::kDescriptorRsn, services));
  const Bytes kck(16, 1);
  w.micKey = kck.data();
  w.descriptorVersion = 0;
  EXPECT_FALSE(w.Write(eapol_key::kDescriptorRsn, services));
  EXPECT_TRUE(services.sent.empty());
}

}  // namespace
