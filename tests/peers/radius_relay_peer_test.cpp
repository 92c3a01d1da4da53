// The simulated access point as an 802.1X authenticator in front of FreeRADIUS 3: our
// station's EAP session on one side, the access point's EAP relay and RADIUS client over
// UDP on the namespace's loopback on the other. PEAP/MS-CHAP-V2 and EAP-TLS end with the
// same PMK on both sides and the 4-way handshake keyed with it; a wrong password ends with
// Access-Reject and EAP-Failure; a reply with a tampered authenticator is dropped, and the
// retransmission on the virtual clock fetches the server's genuine answer.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "ksSupp/eap/eap_status.h"
#include "ksSupp/eap/fake_eap_method_host.h"
#include "ksSupp/eap/ms_chap.h"
#include "ksSupp/eap_type_list.h"
#include "sim/air/enterprise_handshake.h"
#include "tests/peers/eap_session_responder.h"
#include "tests/peers/freeradius_peer.h"
#include "tests/peers/radius_pki.h"
#include "tests/peers/relayed_authentication.h"
#include "tests/peers/tls_peer_pki.h"

namespace peers {
namespace {

constexpr char kPassword[] = "radius secret";
constexpr std::uint32_t kTls = 13;
constexpr std::uint32_t kPeap = 25;
constexpr std::uint32_t kMsChapV2 = 26;

struct RelayCase {
  const char* name;
  std::uint32_t method;
  std::string password;
  bool tamperFirstReply;
  EapOutcome outcome;
};

void PrintTo(const RelayCase& c, std::ostream* os) { *os << c.name; }

class RadiusRelayTest : public ::testing::TestWithParam<RelayCase> {
 protected:
  void SetUp() override {
    std::string whyNot;
    space_ = NetworkNamespace::Create(&whyNot);
    // CI runs these as root: without a namespace the test fails, it never passes unseen.
    if (!space_) GTEST_FAIL() << "needs root for a network namespace: " << whyNot;
    const RadiusPki& pki = RadiusPki::Get();
    radius_.emplace(*space_, dir_,
                    FreeRadiusOptions{{"alice Cleartext-Password := \"radius secret\""},
                                      Pem(pki.ca, false), Pem(pki.server, false),
                                      Pem(pki.server, true)});
    socket_ = space_->RunInside(
        [] { return std::make_unique<simair::RadiusSocket>("127.0.0.1", 1812); });
  }
  void TearDown() override {
    if (HasFailure() && radius_) radius_->PrintLogEnd();
  }

  ScratchDir dir_;
  std::optional<NetworkNamespace> space_;
  std::optional<FreeRadiusPeer> radius_;
  std::unique_ptr<simair::RadiusSocket> socket_;
};

TEST_P(RadiusRelayTest, StationAuthenticatesThroughTheAccessPoint) {
  const RelayCase& c = GetParam();
  TlsContext* context = MakePlainClientContext();
  FakeEapMethodHost host;
  ConfigureAlice(c.method, c.password, context, host);
  if (HasFatalFailure()) return;
  host.peapTypes.types.Append(&kMsChapV2, 1);
  EapTypeList allowed;
  allowed.types.Append(&c.method, 1);
  EapSession session(&allowed, &host);
  EapSessionResponder responder(session);

  RelayedAuthentication relayed(*socket_, FreeRadiusPeer::kSecret);
  simair::EapRelay& relay = relayed.relay;
  const Bytes& pmk = relayed.pmk;
  const EapOutcome outcome = relayed.Run(responder, "alice", c.tamperFirstReply);
  EXPECT_EQ(outcome, c.outcome) << "relay: " << relay.LastError() << std::hex << " status "
                                << responder.lastStatus();
  if (c.outcome == EapOutcome::kSuccess) {
    EXPECT_EQ(relay.state(), simair::EapRelay::State::Authenticated);
    EXPECT_EQ(relay.UserName(), "alice");
    std::uint8_t msk[kEapKeyBlockSize];
    ASSERT_TRUE(session.method()->GetKeys(msk));
    ASSERT_EQ(pmk, Bytes(msk, msk + 32));
    // The 4-way handshake starts keyed with that PMK.
    air::AuthenticatorConfig config;
    config.authenticatorAddress = {0x02, 0x5a, 0x4c, 0x00, 0x00, 0x05};
    config.supplicantAddress = {0x00, 0x1e, 0x4d, 0x2d, 0x17, 0x01};
    auto authenticator = simair::FourWayHandshakeWithPmk(config, pmk);
    EXPECT_EQ(authenticator->Config().pmk, pmk);
    EXPECT_FALSE(authenticator->StartHandshake().empty());
  } else {
    EXPECT_EQ(relay.state(), simair::EapRelay::State::Failed);
    EXPECT_EQ(relay.LastError(), "Access-Reject");
    EXPECT_TRUE(pmk.empty());
  }
  context->Release();
}

INSTANTIATE_TEST_SUITE_P(
    FreeRadius, RadiusRelayTest,
    ::testing::Values(
        RelayCase{"PeapMsChapV2", kPeap, kPassword, false, EapOutcome::kSuccess},
        RelayCase{"EapTls", kTls, kPassword, false, EapOutcome::kSuccess},
        RelayCase{"PeapMsChapV2WrongPassword", kPeap, "wrong", false, EapOutcome::kFailure},
        RelayCase{"TamperedReplyDroppedThenRetransmitted", kPeap, kPassword, true,
                  EapOutcome::kSuccess}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace peers
