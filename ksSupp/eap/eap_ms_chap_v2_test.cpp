#include "ksSupp/eap/eap_ms_chap_v2.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "dcf1/src/crypto/crypto_test_support.h"
#include "ksSupp/eap/eap_status.h"
#include "ksSupp/eap/fake_eap_method_host.h"
#include "ksSupp/eap/ms_chap_reference.h"

namespace {

namespace ref = ms_chap_reference;
using crypto_test::FromHex;
using crypto_test::Hex;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kChallengeId = 0x42;
const Bytes kAuthenticatorChallenge = FromHex("5B5D7C7D7B3F2F3E3C2C602132262628");
const std::string kNewChallengeHex = "00112233445566778899AABBCCDDEEFF";

// An EAP-Request/MS-CHAP-V2: {1, id, length, 26} {OpCode, MS-CHAPv2-ID, MS-Length} body.
Bytes Request(std::uint8_t eapId, std::uint8_t opCode, std::uint8_t msId, const Bytes& body,
              int msLength = -1) {
  const auto ms = static_cast<std::uint16_t>(msLength >= 0 ? msLength : 4 + body.size());
  const auto length = static_cast<std::uint16_t>(9 + body.size());
  Bytes packet = {
      1,      eapId, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length), 26,
      opCode, msId,  static_cast<std::uint8_t>(ms >> 8),     static_cast<std::uint8_t>(ms)};
  packet.insert(packet.end(), body.begin(), body.end());
  return packet;
}

Bytes Challenge(std::uint8_t valueSize = 16, const std::string& serverName = "hostapd",
                int msLength = -1) {
  Bytes body = {valueSize};
  Bytes value = kAuthenticatorChallenge;
  value.resize(valueSize, 0x5A);
  body.insert(body.end(), value.begin(), value.end());
  body.insert(body.end(), serverName.begin(), serverName.end());
  return Request(1, 1, kChallengeId, body, msLength);
}

Bytes Success(const std::string& proof, std::uint8_t eapId = 2) {
  return Request(eapId, 3, kChallengeId, ref::Text(proof + " M=Welcome"));
}

Bytes Failure(const std::string& text, std::uint8_t eapId = 2, std::uint8_t msId = kChallengeId) {
  return Request(eapId, 4, msId, ref::Text(text));
}

// A method over a host whose user "EXAMPLE\User" has the password "clientPass".
class MsChapV2Exchange : public ::testing::Test {
 protected:
  MsChapV2Exchange() {
    host_.userName = "EXAMPLE\\User";
    host_.windowsUserName = "User";
    SetPassword(u"clientPass");
  }

  void SetPassword(const std::u16string& password) {
    const Bytes hash = ref::NtHash(password);
    host_.ntHash.emplace();
    std::copy(hash.begin(), hash.end(), host_.ntHash->begin());
  }

  std::uint32_t Send(const Bytes& request) {
    response_.clear();
    const std::uint32_t status =
        method_.ReceiveEapRequest(request.data(), static_cast<std::uint32_t>(request.size()));
    Bytes buffer(1400);
    std::uint32_t length = 0;
    const std::uint32_t copied = method_.GetEapResponse(buffer.data(), 1400, &length);
    EXPECT_EQ(copied, 0u);
    buffer.resize(length);
    response_ = buffer;
    return status;
  }

  // Answers the Challenge and returns the proof a server knowing `password` sends back.
  std::string Answer(const std::u16string& password = u"clientPass") {
    EXPECT_EQ(method_.Initialize(), 0u);
    EXPECT_EQ(Send(Challenge()), 0u);
    EXPECT_EQ(response_.size(), 59u + host_.userName.size());
    if (response_.size() < 59) return "";
    const Bytes peer(response_.begin() + 10, response_.begin() + 26);
    const Bytes ntResponse(response_.begin() + 34, response_.begin() + 58);
    return ref::AuthenticatorResponse(ref::NtHash(password), ntResponse, peer,
                                      kAuthenticatorChallenge, "User");
  }

  FakeEapMethodHost host_;
  EapMsChapV2 method_{&host_};
  Bytes response_;
};

TEST_F(MsChapV2Exchange, AnswersTheChallengeAndVerifiesTheServer) {
  ASSERT_EQ(method_.Initialize(), 0u);
  EXPECT_EQ(method_.GetStatus(), 0x0A004000u);
  ASSERT_EQ(Send(Challenge()), 0u);

  // {2, 1, 71, 26} {2, 0x42, 66, 49} peer challenge, 8 zeros, NT-Response, flags, name.
  ASSERT_EQ(response_.size(), 71u);
  EXPECT_EQ(Bytes(response_.begin(), response_.begin() + 10),
            (Bytes{2, 1, 0, 71, 26, 2, kChallengeId, 0, 66, 49}));
  const Bytes peer(response_.begin() + 10, response_.begin() + 26);
  EXPECT_EQ(Bytes(response_.begin() + 26, response_.begin() + 34), Bytes(8, 0));
  const Bytes ntResponse(response_.begin() + 34, response_.begin() + 58);
  const Bytes hash = ref::NtHash(u"clientPass");
  EXPECT_EQ(Hex(ntResponse), Hex(ref::NtResponse(kAuthenticatorChallenge, peer, "User", hash)))
      << "computed with the Windows user name";
  EXPECT_EQ(response_[58], 0);
  EXPECT_EQ(std::string(response_.begin() + 59, response_.end()), "EXAMPLE\\User");
  EXPECT_EQ(method_.state(), EapMsChapV2::kResponseSent);

  const std::string proof =
      ref::AuthenticatorResponse(hash, ntResponse, peer, kAuthenticatorChallenge, "User");
  ASSERT_EQ(Send(Success(proof, 7)), 0u);
  EXPECT_EQ(response_, (Bytes{2, 7, 0, 6, 26, 3}));
  EXPECT_EQ(method_.state(), EapMsChapV2::kSuccessAcknowledged);
  EXPECT_EQ(method_.GetStatus(), 0u);
  EXPECT_EQ(method_.VerifyCompletion(), 0x1000u);
  std::uint8_t keys[kEapKeyBlockSize];
  EXPECT_FALSE(method_.GetKeys(keys));
  EXPECT_FALSE(method_.SupportsKeys());
  EXPECT_STREQ(method_.GetName(), "EAP-MS-CHAP-V2");
}

TEST_F(MsChapV2Exchange, PeerChallengeIsFreshEachTime) {
  Answer();
  const Bytes first(response_.begin() + 10, response_.begin() + 26);
  Answer();
  EXPECT_NE(Bytes(response_.begin() + 10, response_.begin() + 26), first);
}

struct Refusal {
  const char* name;
  bool afterChallenge;  // the Challenge has been answered first
  // The request, given the proof a server with the right password would send.
  std::function<Bytes(const std::string& proof)> request;
  std::uint32_t status;
  std::function<void(FakeEapMethodHost&)> adjustHost = nullptr;
};

void PrintTo(const Refusal& r, std::ostream* os) { *os << r.name; }

class MsChapV2RefusalTest : public MsChapV2Exchange,
                            public ::testing::WithParamInterface<Refusal> {};

TEST_P(MsChapV2RefusalTest, ReportsAndLeavesNothingToSend) {
  const Refusal& r = GetParam();
  if (r.adjustHost) r.adjustHost(host_);
  std::string proof;
  if (r.afterChallenge) {
    proof = Answer();
  } else {
    ASSERT_EQ(method_.Initialize(), 0u);
  }
  EXPECT_EQ(Send(r.request(proof)), r.status);
  EXPECT_TRUE(response_.empty()) << "nothing may go out after a refusal";
  EXPECT_FALSE(EapStatusIsComplete(method_.VerifyCompletion()));
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MsChapV2RefusalTest,
    ::testing::Values(
        Refusal{"SecondChallenge", true, [](auto&) { return Challenge(); }, 0x0A008000},
        Refusal{"ValueSize8", false, [](auto&) { return Challenge(8, "authenticator"); },
                0x0A008000},
        Refusal{"ChallengeMsLength20", false, [](auto&) { return Challenge(16, "hostapd", 20); },
                0x0A005000},
        Refusal{"MsLengthBeyondThePacket", false,
                [](auto&) { return Challenge(16, "hostapd", 29); }, 0x0A005000},
        Refusal{"ThreeBytesOfTypeData", false,
                [](auto&) { return Bytes{1, 1, 0, 8, 26, 1, kChallengeId, 0}; }, 0x0A005000},
        Refusal{"HeaderCutShort", false,
                [](auto&) {
                  return Bytes{1, 1, 0};
                },
                0x0A005000},
        Refusal{"EapSuccess", true,
                [](auto&) {
                  return Bytes{3, 2, 0, 4};
                },
                0x0A005000},
        Refusal{"EapResponse", true,
                [](auto&) {
                  Bytes r = Challenge();
                  r[0] = 2;
                  return r;
                },
                0x0A005000},
        Refusal{"SuccessBeforeChallenge", false,
                [](auto&) { return Success("S=" + std::string(40, '0')); }, 0x0A008000},
        Refusal{"SuccessWithWrongProof", true,
                [](auto&) { return Success("S=" + std::string(40, '0')); }, 0x0A009000},
        Refusal{"SuccessInLowerCase", true,
                [](const std::string& proof) { return Success("S=" + Lower(proof.substr(2))); },
                0x0A009000},
        Refusal{"SuccessFromAServerWithAnotherPassword", true,
                [](auto&) {
                  return Success(ref::AuthenticatorResponse(ref::NtHash(u"other"), Bytes(24, 0),
                                                            Bytes(16, 0), kAuthenticatorChallenge,
                                                            "User"));
                },
                0x0A009000},
        Refusal{"SuccessMsLength45", true,
                [](const std::string& proof) {
                  return Request(2, 3, kChallengeId, ref::Text(proof), 45);
                },
                0x0A008000},
        Refusal{"FailureBeforeChallenge", false, [](auto&) { return Failure("E=691 R=0"); },
                0x0A008000},
        Refusal{"MalformedFailureText", true, [](auto&) { return Failure("E=691 X=1"); },
                0x0A005000},
        Refusal{"FailureMsLengthBelowHeader", true,
                [](auto&) { return Request(2, 4, kChallengeId, ref::Text("E=691"), 3); },
                0x0A005000},
        Refusal{"ServerSendsResponseOpCode", true,
                [](auto&) { return Request(2, 2, kChallengeId, Bytes(49, 0)); }, 0x0A008000},
        Refusal{"ServerSendsChangePasswordOpCode", true,
                [](auto&) { return Request(2, 7, kChallengeId, Bytes(582, 0)); }, 0x0A008000},
        // A Failure that allows a retry ends the exchange at once.
        Refusal{"RestrictedHoursWithRetry", true, [](auto&) { return Failure("E=646 R=1 V=3"); },
                0x0A010000},
        Refusal{"WrongPasswordWithRetry", true,
                [](auto&) { return Failure("E=691 R=1 C=" + kNewChallengeHex + " V=3"); },
                0x0A00A000},
        Refusal{"ExpiredPasswordOldVersion", true,
                [](auto&) { return Failure("E=648 R=0 C=" + kNewChallengeHex + " V=2"); },
                0x0A008000},
        Refusal{"ExpiredPasswordShortChallenge", true,
                [](auto&) { return Failure("E=648 R=0 C=0011223344556677 V=3"); }, 0x0A008000},
        Refusal{"ExpiredPasswordChangeDeclined", true,
                [](auto&) { return Failure("E=648 R=0 C=" + kNewChallengeHex + " V=3 M=x"); },
                0x0A00F000},
        Refusal{"ExpiredPasswordNewOneNotUtf8", true,
                [](auto&) { return Failure("E=648 R=0 C=" + kNewChallengeHex + " V=3 M=x"); },
                0x0A00F000,
                [](FakeEapMethodHost& host) {
                  host.credentials = {std::make_pair("clientPass", "n\xFCpass")};
                }},
        Refusal{"NoPasswordHash", false, [](auto&) { return Challenge(); }, 0x0A006000,
                [](FakeEapMethodHost& host) { host.ntHash.reset(); }},
        Refusal{"NoWindowsUserName", false, [](auto&) { return Challenge(); }, 0x0A006000,
                [](FakeEapMethodHost& host) { host.windowsUserName.clear(); }}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return info.param.name; });

struct Acknowledged {
  const char* text;
  std::uint32_t completion;
};

class MsChapV2FailureTest : public MsChapV2Exchange,
                            public ::testing::WithParamInterface<Acknowledged> {};

TEST_P(MsChapV2FailureTest, IsAcknowledgedAndReportedAtCompletion) {
  Answer();
  ASSERT_EQ(Send(Failure(GetParam().text, 5)), 0u);
  EXPECT_EQ(response_, (Bytes{2, 5, 0, 6, 26, 4}));
  EXPECT_EQ(method_.state(), EapMsChapV2::kFailureAcknowledged);
  EXPECT_EQ(method_.VerifyCompletion(), GetParam().completion);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, MsChapV2FailureTest,
    ::testing::Values(
        Acknowledged{"E=691 R=0 C=00000000000000000000000000000000 V=3 M=FAILED", 0x0A00A000},
        Acknowledged{"E=646 R=0 V=3", 0x0A010000}, Acknowledged{"E=647 R=0 V=3", 0x0A012000},
        Acknowledged{"E=649 R=0 V=3", 0x0A011000}, Acknowledged{"E=709 R=0 V=3", 0x0A00F000},
        Acknowledged{"E=1234", 0x0A00A000}));

// The server's check of a Change-Password packet: the new password under the old hash, the
// old hash under the new one, and an NT-Response to the new challenge under the new hash.
TEST_F(MsChapV2Exchange, ChangesAnExpiredPassword) {
  Answer();
  host_.credentials = {std::make_pair("clientPass", "n\xC3\xBC Pass")};
  ASSERT_EQ(Send(Failure("E=648 R=0 C=" + kNewChallengeHex + " V=3 M=Password expired", 9)), 0u);
  ASSERT_EQ(host_.credentialMessages, std::vector<std::string>{"Password expired"});
  EXPECT_EQ(method_.state(), EapMsChapV2::kChangePasswordSent);

  ASSERT_EQ(response_.size(), 591u);
  // {2, 9, 591, 26} {7, ID + 1 (the Failure repeats the Challenge's), 586}
  EXPECT_EQ(Bytes(response_.begin(), response_.begin() + 9),
            (Bytes{2, 9, 0x02, 0x4F, 26, 7, kChallengeId + 1, 0x02, 0x4A}));
  const Bytes oldHash = ref::NtHash(u"clientPass");
  const Bytes newHash = ref::NtHash(u"n\u00FC Pass");
  const Bytes plain = ref::Rc4(oldHash, Bytes(response_.begin() + 9, response_.begin() + 525));
  const Bytes newUnits = ref::Utf16Le(u"n\u00FC Pass");
  EXPECT_EQ(Hex(Bytes(plain.end() - 4 - newUnits.size(), plain.end() - 4)), Hex(newUnits));
  EXPECT_EQ(Bytes(plain.end() - 4, plain.end()), (Bytes{14, 0, 0, 0}));
  const std::uint8_t* encryptedHash = &response_[525];
  EXPECT_EQ(Hex(ref::Concat({ref::Des(&newHash[0], encryptedHash, false),
                             ref::Des(&newHash[7], encryptedHash + 8, false)})),
            Hex(oldHash));
  const Bytes peer(response_.begin() + 541, response_.begin() + 557);
  EXPECT_EQ(Bytes(response_.begin() + 557, response_.begin() + 565), Bytes(8, 0));
  const Bytes ntResponse(response_.begin() + 565, response_.begin() + 589);
  const Bytes newChallenge = FromHex(kNewChallengeHex);
  EXPECT_EQ(Hex(ntResponse), Hex(ref::NtResponse(newChallenge, peer, "User", newHash)));
  EXPECT_EQ(Bytes(response_.end() - 2, response_.end()), (Bytes{0, 0}));

  // The server's Success is checked against the new password and challenge.
  const std::string oldProof =
      ref::AuthenticatorResponse(oldHash, ntResponse, peer, newChallenge, "User");
  EXPECT_EQ(Send(Success(oldProof, 10)), 0x0A009000u);
}

TEST_F(MsChapV2Exchange, SucceedsAfterAChangedPassword) {
  Answer();
  host_.credentials = {std::make_pair("clientPass", "newPass")};
  ASSERT_EQ(Send(Failure("E=648 R=0 C=" + kNewChallengeHex + " V=3 M=expired", 9, 0x17)), 0u);
  EXPECT_EQ(response_[6], 0x17) << "a Failure ID other than the Challenge's is kept";
  const Bytes peer(response_.begin() + 541, response_.begin() + 557);
  const Bytes ntResponse(response_.begin() + 565, response_.begin() + 589);
  ASSERT_EQ(Send(Success(ref::AuthenticatorResponse(ref::NtHash(u"newPass"), ntResponse, peer,
                                                    FromHex(kNewChallengeHex), "User"),
                         10)),
            0u);
  EXPECT_EQ(response_, (Bytes{2, 10, 0, 6, 26, 3}));
  EXPECT_EQ(method_.VerifyCompletion(), 0x1000u);
}

TEST_F(MsChapV2Exchange, ExpiredAgainAfterAChangeIsAFailedChange) {
  Answer();
  host_.credentials = {std::make_pair("clientPass", "newPass")};
  ASSERT_EQ(Send(Failure("E=648 R=0 C=" + kNewChallengeHex + " V=3 M=expired", 9)), 0u);
  ASSERT_EQ(Send(Failure("E=648 R=0 C=" + kNewChallengeHex + " V=3 M=expired", 10)), 0u);
  EXPECT_EQ(response_, (Bytes{2, 10, 0, 6, 26, 4}));
  EXPECT_EQ(host_.credentialMessages.size(), 1u) << "no second prompt";
  EXPECT_EQ(method_.VerifyCompletion(), 0x0A00F000u);
}

TEST_F(MsChapV2Exchange, SmallBufferCopiesNothing) {
  Answer();
  Bytes buffer(70, 0xEE);
  std::uint32_t length = 99;
  EXPECT_EQ(method_.GetEapResponse(buffer.data(), 70, &length), 0x0A007000u);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(buffer, Bytes(70, 0xEE));
}

}  // namespace
