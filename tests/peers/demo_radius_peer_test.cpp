// scripts/demo-radius against the demo's other pieces: the FreeRADIUS it starts takes the
// enterprise access points' client secret from the demo world, and the PEAP user of the
// demo's profiles authenticates through the access point's relay with the same PMK on both
// sides; the script stops the server it started.
#include <gtest/gtest.h>

#include <string>

#include "hosts/demo/demo_profiles.h"
#include "ksSupp/eap/eap_status.h"
#include "ksSupp/eap_type_list.h"
#include "sim/air/world_file.h"
#include "tests/peers/eap_session_responder.h"
#include "tests/peers/radius_pki.h"
#include "tests/peers/relayed_authentication.h"
#include "tests/peers/tls_peer_pki.h"

namespace peers {
namespace {

constexpr std::uint32_t kPeap = 25;
constexpr std::uint32_t kMsChapV2 = 26;

TEST(DemoRadius, TheDemoProfilesPeapUserAuthenticatesWithTheDemoWorldsSecret) {
  std::string error;
  const auto world = simair::LoadWorldFile(std::string(DEMO_WORLDS_DIR) + "/demo.world", error);
  ASSERT_TRUE(world) << error;
  std::string secret;
  for (const auto& ap : world->accessPoints) {
    if (ap.config.security == simair::Security::Wpa2Enterprise) secret = ap.config.radius.secret.reveal();
  }
  ASSERT_FALSE(secret.empty());

  std::string whyNot;
  auto space = NetworkNamespace::Create(&whyNot);
  if (!space) GTEST_FAIL() << "needs root for a network namespace: " << whyNot;
  ScratchDir dir;
  const std::string radiusDir = dir.File("radius");
  std::string output;
  ASSERT_EQ(RunProgram({"bash", DEMO_RADIUS_SCRIPT, "start", radiusDir}, &output, space->fd()), 0) << output;
  struct Stopper {  // by its pid, also when an assertion ends the test early
    std::string dir;
    ~Stopper() { RunProgram({"bash", DEMO_RADIUS_SCRIPT, "stop", dir}); }
  } stopper{radiusDir};
  auto socket = space->RunInside([] { return std::make_unique<simair::RadiusSocket>("127.0.0.1", 1812); });

  TlsContext* context = MakePlainClientContext();
  ASSERT_NE(context, nullptr);
  FakeEapMethodHost host;
  host.userName = demo::kPeapUser;
  host.windowsUserName = demo::kPeapUser;
  host.password = demo::kPeapPassword;
  host.hasIdentityPassword = true;
  host.ntHash.emplace();
  ASSERT_TRUE(NtPasswordHashOfUtf8(demo::kPeapPassword, host.ntHash->data()));
  host.tlsContext = context;
  host.peapTypes.types.Append(&kMsChapV2, 1);
  EapTypeList allowed;
  allowed.types.Append(&kPeap, 1);
  EapSession session(&allowed, &host);
  EapSessionResponder responder(session);

  RelayedAuthentication relayed(*socket, secret);
  EXPECT_EQ(relayed.Run(responder, demo::kPeapUser), EapOutcome::kSuccess)
      << relayed.relay.LastError() << "\n" << ReadTextFile(radiusDir + "/freeradius.log");
  std::uint8_t msk[kEapKeyBlockSize];
  if (session.method() != nullptr && session.method()->GetKeys(msk)) {
    EXPECT_EQ(relayed.pmk, Bytes(msk, msk + 32));
  } else {
    ADD_FAILURE() << "the station has no session key";
  }
  context->Release();
}

}  // namespace
}  // namespace peers
