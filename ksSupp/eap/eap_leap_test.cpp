#include "ksSupp/eap/eap_leap.h"

#include <gtest/gtest.h>
#include <openssl/rand.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "dcf1/src/crypto/crypto_test_support.h"
#include "ksSupp/eap/eap_session.h"
#include "ksSupp/eap/eap_status.h"
#include "ksSupp/eap/fake_eap_method_host.h"
#include "ksSupp/eap/ms_chap_reference.h"
#include "ksSupp/eap_type_list.h"

namespace {

namespace ref = ms_chap_reference;
using crypto_test::Hex;
using Bytes = std::vector<std::uint8_t>;

// {code, id, length, type} {version, 0, count} value, user name.
Bytes LeapPacket(std::uint8_t code, std::uint8_t id, const Bytes& value, const std::string& user,
                 std::uint8_t type = 17, std::uint8_t version = 1, int count = -1) {
  const auto length = static_cast<std::uint16_t>(8 + value.size() + user.size());
  Bytes packet = {code,
                  id,
                  static_cast<std::uint8_t>(length >> 8),
                  static_cast<std::uint8_t>(length),
                  type,
                  version,
                  0,
                  static_cast<std::uint8_t>(count >= 0 ? count : value.size())};
  packet.insert(packet.end(), value.begin(), value.end());
  packet.insert(packet.end(), user.begin(), user.end());
  return packet;
}

Bytes Random(std::size_t n) {
  Bytes out(n);
  EXPECT_EQ(RAND_bytes(out.data(), static_cast<int>(n)), 1);
  return out;
}

// The access point's side of LEAP, written from the protocol on OpenSSL: it challenges the
// station, checks its answer under the NT hash of the password it stores, sends EAP-Success
// or EAP-Failure, then answers the station's challenge under the hash of that hash.
class LeapAuthenticator {
 public:
  LeapAuthenticator(std::u16string password, std::string user)
      : ntHash_(ref::NtHash(password)), user_(std::move(user)) {}

  Bytes Challenge(std::uint8_t id) {
    challenge_ = Random(8);
    return LeapPacket(1, id, challenge_, user_);
  }

  // EAP-Success when the station's response proves the password, else EAP-Failure.
  Bytes Verdict(const Bytes& response) {
    if (response.size() < 32) return {4, 0, 0, 4};
    stationResponse_.assign(response.begin() + 8, response.begin() + 32);
    const bool accepted = response[0] == 2 && response[7] == 24 &&
                          stationResponse_ == ref::ChallengeResponse(challenge_, ntHash_);
    return {static_cast<std::uint8_t>(accepted ? 3 : 4), static_cast<std::uint8_t>(response[1] + 1),
            0, 4};
  }

  // The answer to the station's challenge, by an AP that knows the password's hash (or, for an
  // impostor, some other hash).
  Bytes Answer(const Bytes& request, const Bytes* otherHash = nullptr) {
    stationChallenge_.assign(request.begin() + 8, request.begin() + 16);
    answer_ = ref::ChallengeResponse(stationChallenge_, ref::Md4(otherHash ? *otherHash : ntHash_));
    return LeapPacket(2, request[1], answer_, user_);
  }

  // MD5 over the hash of the hash, the station's challenge, our answer, our challenge and the
  // station's response.
  Bytes SessionKey() const {
    return ref::Md5(
        ref::Concat({ref::Md4(ntHash_), stationChallenge_, answer_, challenge_, stationResponse_}));
  }

  const Bytes& challenge() const { return challenge_; }
  const Bytes& ntHash() const { return ntHash_; }

 private:
  Bytes ntHash_;
  std::string user_;
  Bytes challenge_, stationResponse_, stationChallenge_, answer_;
};

// The station: LEAP run through the EAP runner as the PAE runs it, every EAP packet handed on
// because the method asks for all of them.
class LeapExchange : public ::testing::Test {
 protected:
  LeapExchange() {
    host_.userName = "leapuser";
    SetPassword(u"leap secret");
    const std::uint32_t leap = 17;
    allowed_.types.Append(&leap, 1);
  }

  void SetPassword(const std::u16string& password) {
    const Bytes hash = ref::NtHash(password);
    host_.ntHash.emplace();
    std::copy(hash.begin(), hash.end(), host_.ntHash->begin());
  }

  Bytes Process(const Bytes& packet, std::uint32_t* status) {
    Bytes response(1400);
    std::uint32_t length = 0;
    *status = session_.ProcessRequest(packet.data(), static_cast<std::uint32_t>(packet.size()),
                                      response.data(), 1400, &length);
    response.resize(length);
    return response;
  }

  FakeEapMethodHost host_;
  EapTypeList allowed_;
  EapSession session_{&allowed_, &host_};
  LeapAuthenticator ap_{u"leap secret", "leapuser"};
};

TEST_F(LeapExchange, BothSidesProveThePasswordAndShareTheKey) {
  std::uint32_t status = 1;
  const Bytes response = Process(ap_.Challenge(5), &status);
  ASSERT_EQ(status, 0u);
  EXPECT_EQ(response,
            LeapPacket(2, 5, ref::ChallengeResponse(ap_.challenge(), ap_.ntHash()), "leapuser"));

  const Bytes success = ap_.Verdict(response);
  ASSERT_EQ(success[0], 3) << "the authenticator refused the response";
  const Bytes ourChallenge = Process(success, &status);
  ASSERT_EQ(status, 0u);
  // Our challenge goes out as an EAP-Request with the Success's identifier.
  ASSERT_EQ(ourChallenge.size(), 24u);
  EXPECT_EQ(Bytes(ourChallenge.begin(), ourChallenge.begin() + 8),
            (Bytes{1, 6, 0, 24, 17, 1, 0, 8}));
  EXPECT_EQ(std::string(ourChallenge.begin() + 16, ourChallenge.end()), "leapuser");
  EXPECT_EQ(host_.succeededNotices, 0u);

  EXPECT_TRUE(Process(ap_.Answer(ourChallenge), &status).empty());
  ASSERT_EQ(status, 0u);
  EXPECT_EQ(host_.succeededNotices, 1u);
  EXPECT_EQ(session_.GetStatus(), 0u);

  // The PAE takes a 16-byte key; the rest of its 64-byte buffer stays as it was.
  std::uint8_t keys[kEapKeyBlockSize];
  std::fill(std::begin(keys), std::end(keys), 0xEE);
  ASSERT_TRUE(session_.method()->GetKeys(keys));
  EXPECT_EQ(Hex(keys, 16), Hex(ap_.SessionKey()));
  EXPECT_EQ(Bytes(keys + 16, keys + 64), Bytes(48, 0xEE));
  EXPECT_EQ(session_.VerifyCompletion(), 0u);
  EXPECT_STREQ(session_.names(), "EAP-LEAP");
}

TEST_F(LeapExchange, WrongPasswordIsRejectedByTheServer) {
  SetPassword(u"leap secreT");
  std::uint32_t status = 1;
  const Bytes failure = ap_.Verdict(Process(ap_.Challenge(5), &status));
  ASSERT_EQ(failure[0], 4);
  EXPECT_TRUE(Process(failure, &status).empty());
  EXPECT_EQ(status, 0x0C00A000u);
}

TEST_F(LeapExchange, ServerThatCannotProveThePasswordGetsNoKey) {
  std::uint32_t status = 1;
  const Bytes ourChallenge = Process(ap_.Verdict(Process(ap_.Challenge(5), &status)), &status);
  const Bytes otherHash = ref::NtHash(u"guess");
  Process(ap_.Answer(ourChallenge, &otherHash), &status);
  EXPECT_EQ(status, 0x0C009000u);
  std::uint8_t keys[kEapKeyBlockSize];
  EXPECT_FALSE(session_.method()->GetKeys(keys));
  EXPECT_EQ(host_.succeededNotices, 0u);
}

struct Refusal {
  const char* name;
  int stepsBefore;  // 0: waiting for the challenge, 1: response sent, 2: our challenge sent
  Bytes packet;
  std::uint32_t status;
  bool hasHash = true;
};

void PrintTo(const Refusal& r, std::ostream* os) { *os << r.name; }

class LeapRefusalTest : public ::testing::TestWithParam<Refusal> {};

// Brings a fresh method `steps` steps into the exchange with the server's packets.
void Advance(EapLeap& method, int steps) {
  ASSERT_EQ(method.Initialize(), 0u);
  const Bytes packets[] = {LeapPacket(1, 1, Bytes(8, 0x11), "ap"), Bytes{3, 2, 0, 4}};
  for (int i = 0; i < steps; ++i) {
    ASSERT_EQ(
        method.ReceiveEapRequest(packets[i].data(), static_cast<std::uint32_t>(packets[i].size())),
        0u);
  }
}

TEST_P(LeapRefusalTest, FailsForGood) {
  const Refusal& r = GetParam();
  FakeEapMethodHost host;
  host.userName = "leapuser";
  if (r.hasHash) host.ntHash.emplace();
  EapLeap method(&host);
  Advance(method, r.stepsBefore);

  EXPECT_EQ(method.ReceiveEapRequest(r.packet.data(), static_cast<std::uint32_t>(r.packet.size())),
            r.status);
  EXPECT_EQ(method.state(), EapLeap::kDone);
  std::uint8_t buffer[64];
  std::uint32_t length = 99;
  EXPECT_EQ(method.GetEapResponse(buffer, sizeof buffer, &length), 0u);
  EXPECT_EQ(length, 0u) << "nothing may go out after a refusal";
  EXPECT_FALSE(method.GetKeys(buffer));
  const Bytes again = LeapPacket(1, 1, Bytes(8, 0x11), "ap");
  EXPECT_EQ(method.ReceiveEapRequest(again.data(), static_cast<std::uint32_t>(again.size())),
            0x0C008000u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LeapRefusalTest,
    ::testing::Values(
        Refusal{"ChallengeCount16", 0, LeapPacket(1, 1, Bytes(16, 1), "ap"), 0x0C008000},
        Refusal{"ChallengeVersion2", 0, LeapPacket(1, 1, Bytes(8, 1), "ap", 17, 2), 0x0C008000},
        Refusal{"ChallengeTwoDataBytes", 0, Bytes{1, 1, 0, 7, 17, 1, 0}, 0x0C005000},
        Refusal{"ChallengeCountBeyondData", 0, LeapPacket(1, 1, Bytes(4, 1), "", 17, 1, 8),
                0x0C005000},
        Refusal{"HeaderCutShort", 0, Bytes{1, 1, 0}, 0x0C005000},
        Refusal{"SuccessBeforeChallenge", 0, Bytes{3, 1, 0, 4}, 0x0C008000},
        Refusal{"NoPasswordHash", 0, LeapPacket(1, 1, Bytes(8, 1), "ap"), 0x0C006000, false},
        Refusal{"FailureAfterResponse", 1, Bytes{4, 2, 0, 4}, 0x0C00A000},
        Refusal{"RequestInsteadOfVerdict", 1, LeapPacket(1, 2, Bytes(8, 1), "ap"), 0x0C008000},
        Refusal{"ServerResponseCount8", 2, LeapPacket(2, 2, Bytes(8, 1), "ap"), 0x0C008000},
        Refusal{"ServerResponseVersion2", 2, LeapPacket(2, 2, Bytes(24, 1), "ap", 17, 2),
                0x0C008000},
        Refusal{"ServerResponseCutShort", 2, LeapPacket(2, 2, Bytes(10, 1), "", 17, 1, 24),
                0x0C005000},
        Refusal{"RequestInsteadOfServerResponse", 2, LeapPacket(1, 3, Bytes(24, 1), "ap"),
                0x0C008000},
        Refusal{"WrongServerResponse", 2, LeapPacket(2, 2, Bytes(24, 1), "ap"), 0x0C009000}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return info.param.name; });

// Responses of another EAP type are not LEAP packets: ignored whatever their bytes, and the
// server's real answer still completes the exchange.
TEST_F(LeapExchange, ResponsesOfAnotherTypeAreIgnored) {
  std::uint32_t status = 1;
  const Bytes ourChallenge = Process(ap_.Verdict(Process(ap_.Challenge(5), &status)), &status);
  ASSERT_EQ(status, 0u);
  for (const Bytes& other : {Bytes{2, 6, 0, 13, 1, 'l', 'e', 'a', 'p', 'u', 's', 'e', 'r'},
                             Bytes{2, 6, 0, 5, 4}, LeapPacket(2, 6, Bytes(24, 1), "ap", 26)}) {
    EXPECT_TRUE(Process(other, &status).empty());
    EXPECT_EQ(status, 0u) << Hex(other);
  }
  Process(ap_.Answer(ourChallenge), &status);
  EXPECT_EQ(status, 0u);
  EXPECT_EQ(host_.succeededNotices, 1u);
}

TEST(EapLeapTest, MadeByTheFactoryAndWantsEveryPacket) {
  FakeEapMethodHost host;
  std::unique_ptr<EapMethod> method(createEapMethod(&host, 17));
  ASSERT_TRUE(method);
  EXPECT_STREQ(method->GetName(), "EAP-LEAP");
  EXPECT_TRUE(method->WantsAllEapPackets());
  EXPECT_TRUE(method->SupportsKeys());
  EXPECT_EQ(method->Initialize(), 0u);
  EXPECT_EQ(method->GetStatus(), 0x0C004000u);
  std::uint8_t keys[kEapKeyBlockSize];
  EXPECT_FALSE(method->GetKeys(keys)) << "no key before the exchange";
}

}  // namespace
