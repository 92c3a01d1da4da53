#include "ksSupp/keys/rsn_key_handler.h"

#include <gtest/gtest.h>

#include "ksSupp/keys/key_test_support.h"
#include "ksSupp/keys/null_key_handler_services.h"
#include "sim/air/authenticator_crypto.h"

namespace {

struct KeyRecorder : NullKeyHandlerServices {
  std::vector<std::pair<uint32_t, Bytes>> installed;  // index, key
  void InstallKey(uint32_t, const uint8_t* key, uint32_t length, uint32_t index, const uint8_t*,
                  uint32_t, uint32_t) override {
    installed.emplace_back(index, Bytes(key, key + length));
  }
};

// With CCKM the first PTK comes from a base transient key, and committing it hands the host
// the key-request key under the all-ones index.
TEST(KeyHandler, CckmDerivesThePtkFromTheBaseKey) {
  KeyRecorder services;
  RsnKeyHandler handler(services);
  const uint8_t aa[6] = {0x00, 0x40, 0x96, 0x01, 0x02, 0x03}, spa[6] = {0x00, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E};
  handler.SetAddresses(aa, spa);
  const Bytes cckmElement = Hex("30140100000fac020100000fac02010000409600" "0000");
  handler.SetSupplicantIes(cckmElement.data(), static_cast<uint32_t>(cckmElement.size()));
  const Bytes pmk(32, 0x5C), anonce(32, 0xA1);
  handler.SetPmk(pmk.data(), 32);
  handler.derive_ptk(anonce.data(), 32);

  Bytes seed(aa, aa + 6);
  seed.insert(seed.end(), spa, spa + 6);
  seed.insert(seed.end(), handler.SNonce(), handler.SNonce() + 32);
  seed.insert(seed.end(), anonce.begin(), anonce.end());
  const Bytes btk = air::Prf(pmk, "Fast-Roam Generate Base Key", seed, 48);
  EXPECT_EQ(Bytes(handler.Cckm().btk.begin(), handler.Cckm().btk.end()), btk);
  Bytes expectedPtk;
  for (uint8_t counter = 0; expectedPtk.size() < 64; ++counter) {  // no label: RN | AA | counter
    Bytes input = {1, 0, 0, 0};
    input.insert(input.end(), aa, aa + 6);
    input.push_back(counter);
    Bytes block = OpenSslHmac(EVP_sha1(), Bytes(btk.begin() + 16, btk.end()), input);
    expectedPtk.insert(expectedPtk.end(), block.begin(), block.end());
  }
  expectedPtk.resize(64);
  EXPECT_EQ(Bytes(handler.Ptk().begin(), handler.Ptk().end()), expectedPtk);

  handler.CommitPtk(1, 32);
  ASSERT_EQ(services.installed.size(), 1u);
  EXPECT_EQ(services.installed[0].first, 0xFFFFFFFFu);
  EXPECT_EQ(services.installed[0].second, Bytes(btk.begin(), btk.begin() + 16));
  EXPECT_EQ(handler.Cckm().state, 2u);
  EXPECT_EQ(handler.Cckm().rn, 1u);
  EXPECT_TRUE(handler.Ptk().Empty());
  EXPECT_EQ(handler.InstalledPtk().Length(), 64u);
}

TEST(KeyHandler, ResetForgetsTheAssociation) {
  KeyRecorder services;
  RsnKeyHandler handler(services);
  const Bytes element = Hex("30140100000fac040100000fac040100000fac020000"), pmk(32, 1), anonce(32, 2);
  handler.SetAuthenticatorIes(element.data(), static_cast<uint32_t>(element.size()));
  handler.SetSupplicantIes(element.data(), static_cast<uint32_t>(element.size()));
  handler.SetPmk(pmk.data(), 32);
  handler.derive_ptk(anonce.data(), 16);
  EXPECT_EQ(handler.Ptk().Length(), 64u) << "at least 32 bytes of TK room whatever the key length";
  handler.CommitPtk(2, 16);
  handler.Reset();
  EXPECT_TRUE(handler.Pmk().Empty());
  EXPECT_TRUE(handler.InstalledPtk().Empty());
  EXPECT_FALSE(handler.SupplicantElement().Present());
  EXPECT_FALSE(handler.AuthenticatorElement().Present());
  EXPECT_EQ(handler.SupplicantPairwiseSuite(), 0x000FAC00u);
  EXPECT_FALSE(handler.HandshakeComplete());
}

}  // namespace
