// The asynchronous link: the host runs KSSTK_LINK_Thread on a thread of its own and calls
// the link from others. WPA2-PSK against the simulated access point (the answers come back
// from inside the callback, on the link thread), the bounded event queue, and the refusals
// of a second thread and of the synchronous link's polling step; an authentication event
// before any network is ignored. The identity across reauthentications is tested against
// hostapd (tests/peers/async_link_peer_test.cpp). Also built under ThreadSanitizer (preset
// tsan, program link_thread_tests).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "ksSupp/link/link_test_host.h"
#include "sim/air/authenticator.h"

namespace {

using namespace link_test;
using namespace std::chrono_literals;

const air::MacAddress kStation = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
const air::MacAddress kBssid = {0x02, 0x00, 0x00, 0x00, 0x00, 0xAA};

// A host of one asynchronous link: its callback runs on the link thread.
class AsyncHost {
 public:
  // onMessage runs on the link thread first for every message.
  AsyncHost(KSSTK_CONTEXT context, std::function<void(KSSTK_CALLBACK_MESSAGE*)> onMessage = {})
      : onMessage(std::move(onMessage)) {
    EXPECT_EQ(KSSTK_CONTEXT_CreateLinkAsynchronousA(context, &link), 0);
    EXPECT_EQ(KSSTK_LINK_SetCallbackA(link, &AsyncHost::Callback, reinterpret_cast<uintptr_t>(this)), 0);
    EXPECT_EQ(KSSTK_LINK_Initialize(link), 0);
    thread_ = std::thread([this] { threadResult = KSSTK_LINK_Thread(link); });
  }
  ~AsyncHost() {
    Stop();
    KSSTK_Release(link);
  }
  // Terminates the link and waits until its thread has returned.
  void Stop() {
    if (!thread_.joinable()) return;
    KSSTK_LINK_Terminate(link);
    thread_.join();
  }

  static uint32_t KSSTK_CALL Callback(uintptr_t user, KSSTK_CALLBACK_MESSAGE* message) {
    auto* host = reinterpret_cast<AsyncHost*>(user);
    if (host->onMessage) host->onMessage(message);
    std::lock_guard<std::mutex> lock(host->mutex_);
    host->codes.push_back(message->Code);
    if (message->Code == KSSTK_MSG_LINK_STATUS)
      host->statuses.push_back(reinterpret_cast<KSSTK_LINK_STATUS_MESSAGE*>(message)->Status);
    host->changed_.notify_all();
    return 0;
  }
  // Waits (real time, bounded) until done holds after a message.
  bool Await(const std::function<bool()>& done) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, 20s, done);
  }
  // Waits until the status was reported `times` times.
  bool AwaitStatus(std::uint32_t status, std::size_t times = 1) {
    return Await([&] { return static_cast<std::size_t>(std::count(statuses.begin(), statuses.end(), status)) >= times; });
  }
  std::size_t CountOfStatus(std::uint32_t status) {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<std::size_t>(std::count(statuses.begin(), statuses.end(), status));
  }
  std::size_t CountOf(std::uint32_t code) {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<std::size_t>(std::count(codes.begin(), codes.end(), code));
  }

  KSSTK_LINK link = nullptr;
  KSSTK_RESULT threadResult = 99;
  std::vector<std::uint32_t> codes, statuses;  // under mutex_
  const std::function<void(KSSTK_CALLBACK_MESSAGE*)> onMessage;

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::thread thread_;
};

// Holds the link thread inside a callback while the host records its requests, so that they
// all meet in the thread's next pass.
class ThreadHold {
 public:
  // On the link thread: blocks until Release.
  void Block() {
    std::unique_lock<std::mutex> lock(mutex_);
    held_ = true;
    changed_.notify_all();
    changed_.wait(lock, [&] { return released_; });
  }
  bool AwaitHeld() {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, 20s, [&] { return held_; });
  }
  void Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool held_ = false, released_ = false;
};

// The access point's answer to a frame the link sends, handed back to the link (from inside
// the callback, on the link thread).
void AnswerFrom(air::PskAuthenticator& ap, KSSTK_CALLBACK_MESSAGE* message) {
  const auto& send = *reinterpret_cast<KSSTK_SEND_EAPOL_MESSAGE*>(message);
  if (std::optional<Bytes> answer = ap.Receive(send.Frame, send.FrameLength))
    KSSTK_LINK_ReceiveEapol(send.Header.Handle, answer->data(), static_cast<uint32_t>(answer->size()));
}

class AsyncLinkTest : public testing::Test {
 protected:
  void SetUp() override {
    utility_.AddRef();
    context_ = ApiContext::Create(&utility_);
  }
  void TearDown() override { context_->Release(); }

  static Network Personal() {
    Network n;
    n.station = kStation;
    n.bssid = kBssid;
    n.passphrase = "correct horse battery";
    n.ssid = "zelnet";
    n.supplicantIe = air::BuildElement(air::KeyProtocol::Rsn, air::Cipher::Ccmp, air::Cipher::Ccmp);
    n.authenticatorIe = n.supplicantIe;
    return n;
  }
  static air::AuthenticatorConfig AccessPoint() {
    air::AuthenticatorConfig c;
    c.authenticatorAddress = kBssid;
    c.supplicantAddress = kStation;
    c.pmk = air::PskFromPassphrase("correct horse battery", "zelnet");
    c.supplicantElement = air::BuildElement(air::KeyProtocol::Rsn, air::Cipher::Ccmp, air::Cipher::Ccmp);
    return c;
  }

  fake_cert::Utility utility_;
  ApiContext* context_ = nullptr;
};

// Several host threads call the link while the link thread runs the 4-way handshake: the
// answers of the access point go back from inside the callback.
TEST_F(AsyncLinkTest, Wpa2PersonalFromSeveralHostThreads) {
  air::PskAuthenticator ap(AccessPoint());
  std::vector<Bytes> keys;  // read after the link thread reported the connection
  AsyncHost host(context_, [&](KSSTK_CALLBACK_MESSAGE* message) {
    if (message->Code == KSSTK_MSG_SEND_EAPOL) {
      AnswerFrom(ap, message);
    } else if (message->Code == KSSTK_MSG_ADD_KEY) {
      const auto& add = *reinterpret_cast<KSSTK_ADD_KEY_MESSAGE*>(message);
      keys.emplace_back(add.KeyMaterial, add.KeyMaterial + add.Key.KeyLength);
    }
  });
  Personal().SetOn(host.link);
  std::thread other([&] {
    KSSTK_AUTH_STATE_MACHINE_CONSTANTS constants{28, 30000, 60000, 30000, 2000, 3, 0};
    for (int i = 0; i < 50; ++i) {
      KSSTK_LINK_SetAuthStateMachineConstants(host.link, &constants);
      KSSTK_AUTH_STATE_MACHINE_CONSTANTS* copy = nullptr;
      KSSTK_LINK_GetAuthStateMachineConstants(host.link, &copy);
      KSSTK_Free(copy);
      KSSTK_LINK_SetSessionResumptionTimeout(host.link, static_cast<uint32_t>(i));
    }
  });
  KSSTK_LINK_PortUp(host.link);
  ASSERT_TRUE(host.AwaitStatus(KSSTK_LINK_STATUS_WAITING_FOR_PSK_KEYS));
  const Bytes message1 = ap.StartHandshake();
  KSSTK_LINK_ReceiveEapol(host.link, message1.data(), static_cast<uint32_t>(message1.size()));
  ASSERT_TRUE(host.AwaitStatus(KSSTK_LINK_STATUS_CONNECTED_WITHOUT_8021X));
  other.join();
  EXPECT_TRUE(ap.PairwiseComplete());
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[0], ap.TemporalKey());
  EXPECT_EQ(keys[1], ap.Gtk());
}

// Each authentication event is its own EAPOL-Key request, up to the queue's 16; an event
// for another access point is ignored.
TEST_F(AsyncLinkTest, AuthenticationEventsAreQueuedOneRequestEach) {
  air::PskAuthenticator ap(AccessPoint());
  ThreadHold hold;
  std::atomic<std::size_t> requests{0};
  AsyncHost host(context_, [&](KSSTK_CALLBACK_MESSAGE* message) {
    if (message->Code == KSSTK_MSG_SEND_EAPOL) {
      AnswerFrom(ap, message);
      requests = ap.Requests().size();
    }
    if (message->Code == KSSTK_MSG_LINK_UP) hold.Block();  // while the host queues its events
  });
  Personal().SetOn(host.link);
  KSSTK_LINK_PortUp(host.link);
  ASSERT_TRUE(host.AwaitStatus(KSSTK_LINK_STATUS_WAITING_FOR_PSK_KEYS));
  const Bytes message1 = ap.StartHandshake();
  KSSTK_LINK_ReceiveEapol(host.link, message1.data(), static_cast<uint32_t>(message1.size()));
  ASSERT_TRUE(host.AwaitStatus(KSSTK_LINK_STATUS_CONNECTED_WITHOUT_8021X));
  KSSTK_AUTHENTICATION_EVENT event{16, {}, {}, KSSTK_AUTH_REQUEST_PAIRWISE_ERROR};
  std::memcpy(event.Bssid, kBssid.data(), 6);
  for (int i = 0; i < 20; ++i) KSSTK_LINK_ReceiveAuthenticationEvent(host.link, &event);
  KSSTK_AUTHENTICATION_EVENT other = event;
  other.Bssid[5] ^= 1;
  KSSTK_LINK_ReceiveAuthenticationEvent(host.link, &other);
  ASSERT_TRUE(hold.AwaitHeld());
  hold.Release();
  // The events are applied on the next pass, all of them; a port-down afterwards runs on a
  // later pass, so once it is reported every request of the events has been sent.
  ASSERT_TRUE(host.Await([&] { return requests >= 16; })) << requests;
  const std::size_t idle = host.CountOfStatus(KSSTK_LINK_STATUS_IDLE);
  KSSTK_LINK_PortDown(host.link);
  ASSERT_TRUE(host.AwaitStatus(KSSTK_LINK_STATUS_IDLE, idle + 1));
  EXPECT_EQ(requests, 16u) << "one request per queued event, 16 at most";
}

// Terminate ends the thread at its next wake-up: the requests recorded with it (a port-up
// and a queued frame) are never applied, and the link frees the frame when it goes.
TEST_F(AsyncLinkTest, TerminateLeavesPendingRequestsUnapplied) {
  air::PskAuthenticator ap(AccessPoint());
  ThreadHold hold;
  std::atomic<bool> first{true};
  AsyncHost host(context_, [&](KSSTK_CALLBACK_MESSAGE* message) {
    if (message->Code == KSSTK_MSG_LINK_STATUS && first.exchange(false)) hold.Block();
  });
  ASSERT_TRUE(hold.AwaitHeld()) << "the link thread is in its first pass";
  Personal().SetOn(host.link);
  KSSTK_LINK_PortUp(host.link);
  const Bytes message1 = ap.StartHandshake();
  KSSTK_LINK_ReceiveEapol(host.link, message1.data(), static_cast<uint32_t>(message1.size()));
  KSSTK_LINK_Terminate(host.link);
  hold.Release();
  host.Stop();
  EXPECT_EQ(host.threadResult, 0);
  EXPECT_EQ(host.statuses, (std::vector<std::uint32_t>{KSSTK_LINK_STATUS_IDLE})) << "no port-up";
  EXPECT_EQ(host.CountOf(KSSTK_MSG_SEND_EAPOL), 0u) << "the frame was not processed";
}

TEST_F(AsyncLinkTest, TheRefusalsOfAnAsynchronousLink) {
  AsyncHost host(context_);
  ASSERT_TRUE(host.AwaitStatus(KSSTK_LINK_STATUS_IDLE)) << "the link thread runs";
  std::uint32_t wait = 0;
  EXPECT_EQ(KSSTK_LINK_Process(host.link, &wait), 0);
  EXPECT_EQ(wait, 60000u) << "a defined wait, the step refused";
  EXPECT_EQ(KSSTK_LINK_Thread(host.link), -1) << "a second link thread";
  // No network recorded yet: an authentication event has nothing to match and is ignored.
  KSSTK_AUTHENTICATION_EVENT event{16, {}, {}, KSSTK_AUTH_REQUEST_PAIRWISE_ERROR};
  EXPECT_EQ(KSSTK_LINK_ReceiveAuthenticationEvent(host.link, &event), 0);
  EXPECT_EQ(KSSTK_LINK_SetCallbackA(host.link, nullptr, 0), 0);
}

}  // namespace
