#include "ksSupp/eap/ttls_ms_chap_v2.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ksSupp/eap/eap_status.h"
#include "ksSupp/eap/fake_eap_method_host.h"
#include "ksSupp/eap/ttls_avp.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr char kPassword[] = "v2 secret";

class TtlsMsChapV2Test : public ::testing::Test {
 protected:
  void SetUp() override {
    host_.userName = "EXAMPLE\\carol";
    host_.windowsUserName = "carol";
    host_.ntHash.emplace();
    ASSERT_TRUE(NtPasswordHashOfUtf8(kPassword, host_.ntHash->data()));
    for (std::uint8_t i = 0; i < 17; ++i) challenge_[i] = static_cast<std::uint8_t>(0xA0 + i);
    protocol_.SetChallenge(challenge_, sizeof challenge_);
    AvpWriter first;
    ASSERT_EQ(Process(nullptr, 0, first), 0u);
    AvpReader reader(first.Data(), first.Length());
    Avp avp;
    while (reader.Next(avp)) {
      if (avp.Is(25, 311)) response_.assign(avp.data, avp.data + avp.dataLength);
    }
    ASSERT_EQ(response_.size(), 50u);
    EXPECT_EQ(response_[0], challenge_[16]);
  }

  std::uint32_t Process(const std::uint8_t* avps, std::uint32_t length, AvpWriter& writer) {
    std::uint32_t count = 0;
    EXPECT_TRUE(CountAvps(avps, length, count));
    handled_.assign(count, 0);
    return protocol_.Process(avps, length, handled_.data(), count, writer);
  }

  std::uint32_t Send(std::uint32_t code, const Bytes& value, AvpWriter* out = nullptr) {
    AvpWriter in;
    in.Append(code, 311, false, value.data(), static_cast<std::uint32_t>(value.size()));
    AvpWriter ignored;
    return Process(in.Data(), in.Length(), out != nullptr ? *out : ignored);
  }

  Bytes Proof(const std::uint8_t* ntHash, const std::uint8_t* ntResponse,
              const std::uint8_t* peerChallenge, const std::uint8_t* challenge,
              std::uint8_t identifier) {
    std::uint8_t hashHash[16];
    PasswordHashHash(ntHash, hashHash);
    char proof[kAuthenticatorResponseSize];
    GenerateAuthenticatorResponse(hashHash, ntResponse, peerChallenge, challenge, "carol", proof);
    Bytes value = {identifier};
    value.insert(value.end(), proof, proof + sizeof proof);
    return value;
  }

  FakeEapMethodHost host_;
  TtlsMsChapV2 protocol_{&host_};
  std::uint8_t challenge_[17];
  Bytes response_;
  std::vector<std::uint8_t> handled_;
};

TEST_F(TtlsMsChapV2Test, TheServersProofCompletes) {
  EXPECT_EQ(Send(26, Proof(host_.ntHash->data(), response_.data() + 26, response_.data() + 2,
                           challenge_, challenge_[16])),
            0u);
  EXPECT_EQ(handled_, (std::vector<std::uint8_t>{1}));
  EXPECT_EQ(protocol_.VerifyCompletion(), kEapComplete);
}

TEST_F(TtlsMsChapV2Test, AWrongProofFails) {
  Bytes proof = Proof(host_.ntHash->data(), response_.data() + 26, response_.data() + 2,
                      challenge_, challenge_[16]);
  proof[5] ^= 1;
  EXPECT_EQ(Send(26, proof), kEapBaseTtlsMsChapV2 | kEapProofFailed);
  EXPECT_EQ(protocol_.VerifyCompletion(), kEapBaseTtlsMsChapV2 | kEapInProgress);
  EXPECT_EQ(Send(26, Bytes(10, 1)), kEapBaseTtlsMsChapV2 | kEapMalformed);
}

struct ErrorCase {
  const char* text;
  std::uint32_t status;
};

class TtlsMsChapV2ErrorTest : public TtlsMsChapV2Test,
                              public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(TtlsMsChapV2ErrorTest, MapsTheError) {
  const std::string text = GetParam().text;
  Bytes value = {challenge_[16]};
  value.insert(value.end(), text.begin(), text.end());
  EXPECT_EQ(Send(2, value), GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TtlsMsChapV2ErrorTest,
    ::testing::Values(ErrorCase{"E=646 R=0 V=3", kEapBaseTtlsMsChapV2 | kEapLogonHours},
                      ErrorCase{"E=647 R=0 V=3", kEapBaseTtlsMsChapV2 | kEapAccountDisabled},
                      ErrorCase{"E=649 R=0 V=3", kEapBaseTtlsMsChapV2 | kEapNoDialIn},
                      ErrorCase{"E=691 R=1 V=3", kEapBaseTtlsMsChapV2 | kEapRejected},
                      ErrorCase{"E=709 R=0 V=3", kEapBaseTtlsMsChapV2 | kEapPasswordChangeFailed},
                      ErrorCase{"E=648 R=0 V=3", kEapBaseTtlsMsChapV2 | kEapRejected},
                      ErrorCase{"E=648 R=1 V=2", kEapBaseTtlsMsChapV2 | kEapUnexpected},
                      ErrorCase{"E=12 R=0 V=3", kEapBaseTtlsMsChapV2 | kEapRejected},
                      ErrorCase{"E=691 X=1", kEapBaseTtlsMsChapV2 | kEapMalformed},
                      // hostapd sends a bare text.
                      ErrorCase{"ailed", kEapBaseTtlsMsChapV2 | kEapMalformed}));

TEST_F(TtlsMsChapV2Test, NoSuccessOrErrorIsUnexpected) {
  EXPECT_EQ(Send(10, Bytes{'d'}), kEapBaseTtlsMsChapV2 | kEapUnexpected);
  EXPECT_EQ(handled_, (std::vector<std::uint8_t>{1}));  // the domain is read and ignored
}

// An expired password is changed once: the new password encrypted with the old hash, a new
// response under the new hash to the server's new challenge; the next proof is checked
// against them. A second expiry fails.
TEST_F(TtlsMsChapV2Test, ChangesAnExpiredPasswordOnce) {
  host_.credentials.push_back(std::make_pair(std::string(kPassword), std::string("new secret")));
  const std::string text = "E=648 R=1 C=00112233445566778899AABBCCDDEEFF V=3 M=expired";
  Bytes value = {0x33};
  value.insert(value.end(), text.begin(), text.end());
  AvpWriter change;
  ASSERT_EQ(Send(2, value, &change), 0u);
  EXPECT_EQ(host_.credentialMessages, (std::vector<std::string>{"expired"}));

  std::map<std::uint32_t, Bytes> avps;
  AvpReader reader(change.Data(), change.Length());
  Avp avp;
  while (reader.Next(avp)) {
    EXPECT_EQ(avp.vendor, 311u);
    avps[avp.code] = Bytes(avp.data, avp.data + avp.dataLength);
  }
  ASSERT_EQ(avps.at(6).size(), 520u);
  EXPECT_EQ(avps.at(6)[0], 6);
  EXPECT_EQ(avps.at(6)[1], 0x33);
  const Bytes& cpw = avps.at(27);
  ASSERT_EQ(cpw.size(), 68u);
  EXPECT_EQ(cpw[0], 7);
  EXPECT_EQ(cpw[1], 0x33);
  const Bytes newChallenge = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                              0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
  EXPECT_EQ(avps.at(11), newChallenge);
  std::uint8_t newHash[16];
  ASSERT_TRUE(NtPasswordHashOfUtf8("new secret", newHash));
  std::uint8_t nt[24];
  GenerateNTResponse(newChallenge.data(), cpw.data() + 18, "carol", newHash, nt);
  EXPECT_EQ(Bytes(cpw.begin() + 42, cpw.begin() + 66), Bytes(nt, nt + 24));

  EXPECT_EQ(Send(2, value), kEapBaseTtlsMsChapV2 | kEapUnexpected);  // only once
  EXPECT_EQ(Send(26, Proof(newHash, cpw.data() + 42, cpw.data() + 18, newChallenge.data(), 0x33)),
            0u);
  EXPECT_EQ(protocol_.VerifyCompletion(), kEapComplete);
}

TEST_F(TtlsMsChapV2Test, DeclinedPasswordChangeFails) {
  const std::string text = "E=648 R=1 C=00112233445566778899AABBCCDDEEFF V=3 M=expired";
  Bytes value = {0x33};
  value.insert(value.end(), text.begin(), text.end());
  EXPECT_EQ(Send(2, value), kEapBaseTtlsMsChapV2 | kEapPasswordChangeFailed);
}

}  // namespace
