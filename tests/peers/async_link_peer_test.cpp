// An asynchronous link against hostapd's 802.1X authenticator: the link thread runs
// KSSTK_LINK_Thread on a thread of its own and calls the host back there, while the test's
// thread carries the EAPOL frames between the link and the wired port. The identity a host
// sets once stays in force through every reauthentication hostapd starts (each begins with
// the keys-reset notice), and an identity the host gives only in answer to that notice, from
// inside the callback, is the one the link answers with.
#include <ksstk.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ksSupp/link/link_test_host.h"
#include "tests/peers/hostapd_fixture.h"
#include "tests/peers/user_certificates.h"

namespace peers {
namespace {

using link_test::Bytes;
using link_test::Network;

// The host of one asynchronous link: the link thread is started at once and ended with the
// host. Everything the callback records is guarded, as it runs on the link thread.
class AsyncLinkHost {
 public:
  explicit AsyncLinkHost(std::function<void(KSSTK_CALLBACK_MESSAGE*)> answer = {})
      : answer_(std::move(answer)) {
    utility_.AddRef();
    context_ = ApiContext::Create(&utility_);
    EXPECT_EQ(KSSTK_CONTEXT_CreateLinkAsynchronousA(context_, &link), 0);
    EXPECT_EQ(KSSTK_LINK_SetCallbackA(link, &AsyncLinkHost::Callback, reinterpret_cast<uintptr_t>(this)), 0);
    EXPECT_EQ(KSSTK_LINK_Initialize(link), 0);
    thread_ = std::thread([this] { KSSTK_LINK_Thread(link); });
    // The first EAPOL-Start at once: the test does not wait out the usual delay.
    KSSTK_AUTH_STATE_MACHINE_CONSTANTS constants{28, 30000, 60000, 30000, 0, 3, 0};
    EXPECT_EQ(KSSTK_LINK_SetAuthStateMachineConstants(link, &constants), 0);
  }
  ~AsyncLinkHost() {
    KSSTK_LINK_Terminate(link);
    thread_.join();
    KSSTK_Release(link);
    context_->Release();
  }
  AsyncLinkHost(const AsyncLinkHost&) = delete;
  AsyncLinkHost& operator=(const AsyncLinkHost&) = delete;

  KSSTK_CONTEXT context() const { return context_; }

  // Carries frames both ways (on the caller's thread) until done() holds for the trail, or
  // 20 s of real time passed; whether it held.
  bool Run(EapolPort& port, const std::function<bool(const std::vector<std::string>&)>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
      std::vector<Bytes> outgoing;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (done(trail_)) return true;
        outgoing.swap(frames_);
      }
      for (const Bytes& frame : outgoing) {
        port.set_version(frame[0]);
        port.Send(frame[1], std::span<const std::uint8_t>(frame.data() + 4, frame.size() - 4));
      }
      if (const auto frame = port.Receive(std::chrono::milliseconds(20))) {
        Bytes bytes = {frame->version, frame->type, static_cast<std::uint8_t>(frame->body.size() >> 8),
                       static_cast<std::uint8_t>(frame->body.size())};
        bytes.insert(bytes.end(), frame->body.begin(), frame->body.end());
        EXPECT_EQ(KSSTK_LINK_ReceiveEapol(link, bytes.data(), static_cast<uint32_t>(bytes.size())), 0);
      }
    }
    std::lock_guard<std::mutex> lock(mutex_);
    return done(trail_);
  }
  // The messages so far, as LinkHost's Trail writes them ("code" or "code:value").
  std::vector<std::string> Trail() {
    std::lock_guard<std::mutex> lock(mutex_);
    return trail_;
  }
  void ClearTrail() {
    std::lock_guard<std::mutex> lock(mutex_);
    trail_.clear();
  }

  KSSTK_LINK link = nullptr;

 private:
  static uint32_t KSSTK_CALL Callback(uintptr_t user, KSSTK_CALLBACK_MESSAGE* message) {
    auto* host = reinterpret_cast<AsyncLinkHost*>(user);
    if (host->answer_) host->answer_(message);
    std::string entry = std::to_string(message->Code);
    if (message->Code == KSSTK_MSG_LINK_STATUS)
      entry += ":" + std::to_string(reinterpret_cast<KSSTK_LINK_STATUS_MESSAGE*>(message)->Status);
    else if (message->Code == KSSTK_MSG_AUTH_REPORT)
      entry += ":" + std::to_string(reinterpret_cast<KSSTK_AUTH_REPORT_MESSAGE*>(message)->PaeState);
    std::lock_guard<std::mutex> lock(host->mutex_);
    host->trail_.push_back(entry);
    if (message->Code == KSSTK_MSG_SEND_EAPOL) {
      const auto& send = *reinterpret_cast<const KSSTK_SEND_EAPOL_MESSAGE*>(message);
      host->frames_.emplace_back(send.Frame, send.Frame + send.FrameLength);
    }
    return 0;
  }

  const std::function<void(KSSTK_CALLBACK_MESSAGE*)> answer_;
  fake_cert::Utility utility_;
  ApiContext* context_ = nullptr;
  std::thread thread_;
  std::mutex mutex_;
  std::vector<std::string> trail_;  // under mutex_
  std::vector<Bytes> frames_;       // under mutex_
};

bool Holds(const std::vector<std::string>& trail, const std::string& entry) {
  return std::find(trail.begin(), trail.end(), entry) != trail.end();
}

// 802.1X on the wire without keys: the link is authenticated at EAP success.
Network Wired(const MacAddress& station) {
  Network n;
  n.associationMode = KSSTK_ASSOCIATION_8021X;
  n.use8021X = 1;
  n.keySource = KSSTK_KEY_SOURCE_NONE;
  n.cipher = 0;
  std::copy(station.begin(), station.end(), n.station.begin());
  n.bssid = {0x01, 0x80, 0xC2, 0x00, 0x00, 0x03};
  n.ssid = "wired";
  return n;
}

// hostapd's count of EAP successes so far.
std::size_t Successes(const std::string& log) {
  std::size_t count = 0;
  for (std::size_t at = log.find("EAP-MD5: Done - Success"); at != std::string::npos;
       at = log.find("EAP-MD5: Done - Success", at + 1))
    ++count;
  return count;
}

const std::string kAuthenticated = "1:" + std::to_string(KSSTK_LINK_STATUS_AUTHENTICATED);
const std::string kPaeAuthenticated = "2:7";
const std::string kPaeHeld = "2:3";

using AsyncLinkPeerTest = HostapdTest;

// The host sets the identity once, before the port comes up. hostapd then reauthenticates the
// station twice; each time the link hears the keys-reset notice and answers with the same
// identity, and the port is authenticated again without ever going to HELD.
TEST_F(AsyncLinkPeerTest, IdentitySetOnceSurvivesReauthenticationsByTheAuthenticator) {
  StartHostapd({.eapUsers = {"\"bob\" MD5 \"md5 secret\""}});
  AsyncLinkHost host;
  KSSTK_IDENTITY identity = MakeIdentity(host.context(), "bob", "md5 secret", 4);
  ASSERT_EQ(KSSTK_LINK_SetIdentity(host.link, identity), 0);
  KSSTK_Release(identity);
  const MacAddress station = NewStation();
  Network network = Wired(station);
  network.SetOn(host.link);
  EapolPort port(space(), stationInterface(), station);
  KSSTK_LINK_PortUp(host.link);
  ASSERT_TRUE(host.Run(port, [](const auto& trail) { return Holds(trail, kAuthenticated); }))
      << ::testing::PrintToString(host.Trail()) << hostapd().Log().substr(0, 4000);
  ASSERT_EQ(Successes(hostapd().Log()), 1u);

  for (std::size_t round = 2; round <= 3; ++round) {
    SCOPED_TRACE(round);
    host.ClearTrail();
    ASSERT_EQ(hostapd().Request("EAPOL_REAUTH " + ToString(station)), "OK\n");
    EXPECT_TRUE(host.Run(port, [&](const auto&) { return Successes(hostapd().Log()) == round; }))
        << ::testing::PrintToString(host.Trail());
    EXPECT_TRUE(host.Run(port, [](const auto& trail) { return Holds(trail, kPaeAuthenticated); }));
    const std::vector<std::string> trail = host.Trail();
    EXPECT_TRUE(Holds(trail, std::to_string(KSSTK_MSG_KEYS_RESET))) << "a new authentication";
    EXPECT_FALSE(Holds(trail, kPaeHeld)) << ::testing::PrintToString(trail);
  }
  hostapd().Deauthenticate(station);
}

// No identity until the link says that a new authentication begins: the host sets it from
// inside that notice's callback, on the link thread, and the link answers hostapd's identity
// request with it at once.
TEST_F(AsyncLinkPeerTest, IdentityGivenInsideTheKeysResetNotice) {
  StartHostapd({.eapUsers = {"\"bob\" MD5 \"md5 secret\""}});
  KSSTK_IDENTITY identity = nullptr;  // outlives the link thread that may use it
  std::optional<AsyncLinkHost> host;
  host.emplace([&](KSSTK_CALLBACK_MESSAGE* message) {
    if (message->Code == KSSTK_MSG_KEYS_RESET && message->Context == 0) {
      EXPECT_EQ(KSSTK_LINK_SetIdentity(message->Handle, identity), 0);
    }
  });
  identity = MakeIdentity(host->context(), "bob", "md5 secret", 4);
  const MacAddress station = NewStation();
  Network network = Wired(station);
  network.SetOn(host->link);
  EapolPort port(space(), stationInterface(), station);
  KSSTK_LINK_PortUp(host->link);
  EXPECT_TRUE(host->Run(port, [](const auto& trail) { return Holds(trail, kAuthenticated); }))
      << ::testing::PrintToString(host->Trail()) << hostapd().Log().substr(0, 4000);
  EXPECT_EQ(Successes(hostapd().Log()), 1u);
  EXPECT_FALSE(Holds(host->Trail(), kPaeHeld));
  hostapd().Deauthenticate(station);
  host.reset();
  KSSTK_Release(identity);
}

}  // namespace
}  // namespace peers
