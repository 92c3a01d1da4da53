// The supplicant PAE against hostapd's 802.1X authenticator and EAP server: a small test
// host plays the link engine's part (EAPOL frames over the harness's port, the clock, the
// steps) and the PAE does the rest, from EAPOL-Start to AUTHENTICATED or HELD.
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "ksSupp/eap/eap_ms_chap_v2.h"
#include "ksSupp/eap/eap_session.h"
#include "ksSupp/eap/eap_status.h"
#include "ksSupp/eap_method_host.h"
#include "ksSupp/eapol/recording_pae_owner.h"
#include "ksSupp/fake_cert_library.h"
#include "ksSupp/identity.h"
#include "tests/peers/hostapd_fixture.h"

namespace peers {
namespace {

const std::vector<std::string> kUsers = {
    "\"md5user\" MD5 \"md5 secret\"",
    "\"msuser\" MSCHAPV2 \"ms secret\"",
};

// EAP-MS-CHAP-V2 runs inside the tunnels only; this PAE's runner makes it as their runners
// do, so that hostapd can serve it as an outer method.
class MsChapV2Session : public EapSession {
 public:
  using EapSession::EapSession;
  EapMethod* CreateMethod(std::uint32_t type) override {
    EapMethodHost* host = methodHost;
    return type == 26 ? new EapMsChapV2(host->Services()) : EapSession::CreateMethod(type);
  }
  EapMethodHost* methodHost = nullptr;
};

class TestPae : public SupplicantPae {
 public:
  using SupplicantPae::SupplicantPae;
  bool msChapV2Runner = false;

 protected:
  EapSession* CreateRunner(const EapTypeList* allowed, EapMethodHost* host) override {
    if (!msChapV2Runner) return SupplicantPae::CreateRunner(allowed, host);
    auto* session = new MsChapV2Session(allowed, host);
    session->methodHost = host;
    return session;
  }
};

// The station: the PAE's frames go out on the port; some may be dropped on purpose.
class Station : public RecordingPaeOwner {
 public:
  explicit Station(EapolPort& port) : port_(port) {}

  unsigned dropStarts = 0;         // EAPOL-Starts lost before they reach the authenticator
  unsigned dropMethodResponse = 0;  // responses to method requests lost
  unsigned startsSent = 0;
  unsigned responsesDropped = 0;

  void SendEapol(const std::uint8_t* frame, std::uint32_t length) override {
    RecordingPaeOwner::SendEapol(frame, length);
    const std::uint8_t type = frame[1];
    if (type == kEapolStart) {
      ++startsSent;
      if (dropStarts > 0) return void(--dropStarts);
    }
    const bool methodResponse = type == kEapolEapPacket && length > 8 && frame[8] != 1;
    if (methodResponse && dropMethodResponse > 0) {
      --dropMethodResponse;
      ++responsesDropped;
      return;
    }
    port_.set_version(frame[0]);
    port_.Send(type, std::span<const std::uint8_t>(frame + 4, length - 4));
  }

 private:
  EapolPort& port_;
};

class PaePeerTest : public HostapdTest {
 protected:
  void SetUp() override {
    HostapdTest::SetUp();
    if (IsSkipped()) return;
    StartHostapd({.eapUsers = kUsers});
    utility_.AddRef();
    context_ = ApiContext::Create(&utility_);
    identity_ = Identity::Create(context_);
  }
  void TearDown() override {
    if (identity_ != nullptr) identity_->Release();
    if (context_ != nullptr) context_->Release();
    HostapdTest::TearDown();
  }
  void SetIdentity(const std::string& user, const std::string& password, std::uint32_t type) {
    identity_->SetUserName(user.c_str(), static_cast<std::uint32_t>(user.size()));
    identity_->SetPassword(password.c_str(), static_cast<std::uint32_t>(password.size()));
    identity_->SetEapTypes(&type, 1);
  }

  // Runs the PAE until it settles in AUTHENTICATED, or in HELD after a method ran. While
  // the authenticator is silent and the PAE is CONNECTING, the clock jumps to the PAE's next
  // timeout (its EAPOL-Start timer); during an exchange it follows real time, so the
  // authenticator's own retransmissions arrive within the PAE's 30 s authentication timer.
  void Authenticate(TestPae& pae, Station& station, EapolPort& port) {
    plat::ManualTickCount clock(1000);
    PaeDriver driver(pae);
    pae.SetIdentity(identity_);
    pae.SetInitialize(true);
    pae.SetPortActive(true);
    pae.SetInitialize(false);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    auto last = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() < deadline) {
      const auto frame = port.Receive(std::chrono::milliseconds(100));
      const auto now = std::chrono::steady_clock::now();
      const auto realElapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - last);
      last = now;
      if (frame) {
        clock.Advance(static_cast<std::uint32_t>(realElapsed.count()));
        std::vector<std::uint8_t> bytes = {frame->version, frame->type,
                                           static_cast<std::uint8_t>(frame->body.size() >> 8),
                                           static_cast<std::uint8_t>(frame->body.size())};
        bytes.insert(bytes.end(), frame->body.begin(), frame->body.end());
        driver.Receive(bytes);
      } else if (pae.state() == SupplicantPae::kConnecting) {
        clock.Advance(driver.NextTimeout());
        driver.Step();
      } else {
        clock.Advance(static_cast<std::uint32_t>(realElapsed.count()));
        driver.Step();
      }
      if (pae.state() == SupplicantPae::kAuthenticated) return;
      if (pae.state() == SupplicantPae::kHeld && !station.failures.empty()) return;
    }
  }

  fake_cert::Utility utility_;
  ApiContext* context_ = nullptr;
  Identity* identity_ = nullptr;
};

struct PeerCase {
  const char* name;
  std::string user;
  std::string password;
  std::uint32_t type;
  bool authenticated;
  const char* methodNames;
};

void PrintTo(const PeerCase& c, std::ostream* os) { *os << c.name; }

class PaePeerCases : public PaePeerTest, public ::testing::WithParamInterface<PeerCase> {};

TEST_P(PaePeerCases, EndsAuthenticatedOrHeld) {
  const PeerCase& c = GetParam();
  SetIdentity(c.user, c.password, c.type);
  EapolPort port(space(), stationInterface(), NewStation());
  Station station(port);
  TestPae pae(station);
  pae.msChapV2Runner = c.type == 26;
  Authenticate(pae, station, port);

  std::string sent;
  for (const auto& frame : station.frames) sent += std::to_string(frame[1]) + " ";
  if (c.authenticated) {
    ASSERT_EQ(pae.state(), SupplicantPae::kAuthenticated) << "frames sent: " << sent;
    EXPECT_TRUE(pae.Authorized());
    EXPECT_EQ(station.masterKeys, 1u);
    EXPECT_TRUE(station.failures.empty());
    const RecordedReport& report = station.reports.back();
    EXPECT_EQ(report.state, 7u);
    EXPECT_TRUE(report.authorized);
    EXPECT_TRUE(EapStatusIsComplete(report.status)) << std::hex << report.status;
    EXPECT_EQ(report.methodNames, c.methodNames);
    std::uint32_t type = 0;
    ASSERT_TRUE(pae.GetEapType(type));
    EXPECT_EQ(type, c.type);
  } else {
    ASSERT_EQ(pae.state(), SupplicantPae::kHeld) << "frames sent: " << sent;
    EXPECT_FALSE(pae.Authorized());
    EXPECT_EQ(station.masterKeys, 0u);
    ASSERT_EQ(station.failures.size(), 1u);
    const RecordedReport& report = station.reports.back();
    EXPECT_EQ(report.state, 3u);
    EXPECT_FALSE(report.authorized);
    EXPECT_EQ(report.status, station.failures[0]);
    EXPECT_EQ(report.methodNames, c.methodNames);
    EXPECT_NE(report.status & kEapClassMask, kEapComplete);
  }
  hostapd().Deauthenticate(port.station());
}

INSTANTIATE_TEST_SUITE_P(
    Hostapd, PaePeerCases,
    ::testing::Values(
        PeerCase{"Md5", "md5user", "md5 secret", 4, true, "EAP-MD5Challenge"},
        PeerCase{"Md5WrongPassword", "md5user", "md5 secreT", 4, false, "EAP-MD5Challenge"},
        PeerCase{"MsChapV2", "msuser", "ms secret", 26, true, "EAP-MS-CHAP-V2"},
        PeerCase{"MsChapV2WrongPassword", "msuser", "wrong", 26, false, "EAP-MS-CHAP-V2"}),
    [](const auto& info) { return std::string(info.param.name); });

// Lost frames in both directions: the PAE sends EAPOL-Start again after startPeriod, and
// when its response to the challenge is lost, hostapd repeats the request and the PAE
// answers it again with the same response.
TEST_F(PaePeerTest, LostFramesAreRetransmitted) {
  SetIdentity("md5user", "md5 secret", 4);
  EapolPort port(space(), stationInterface(), NewStation());
  Station station(port);
  station.dropStarts = 1;
  station.dropMethodResponse = 1;
  TestPae pae(station);
  Authenticate(pae, station, port);
  ASSERT_EQ(pae.state(), SupplicantPae::kAuthenticated) << hostapd().Log();
  EXPECT_EQ(station.startsSent, 2u);
  EXPECT_EQ(station.responsesDropped, 1u);
  // The MD5 response went out twice, byte for byte the same.
  std::vector<std::vector<std::uint8_t>> md5Responses;
  for (const auto& frame : station.frames) {
    if (frame[1] == kEapolEapPacket && frame.size() > 8 && frame[8] == 4) md5Responses.push_back(frame);
  }
  ASSERT_EQ(md5Responses.size(), 2u);
  EXPECT_EQ(md5Responses[0], md5Responses[1]);
  hostapd().Deauthenticate(port.station());
}

}  // namespace
}  // namespace peers
