// The pre-authentication port against a scripted authenticator (EAP-MD5, which has no
// keys, and the engine's PMKSA cache faked): the host sees the pre-authentication codes with
// the candidate's address as context, frames from anyone else are discarded, a silent
// candidate ends after its three starts, disabling ends a running candidate.
#include "ksSupp/link/preauth_port.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "ksSupp/fake_cert_library.h"
#include "ksSupp/identity.h"
#include "ksSupp/link_callback_adapter.h"
#include "ksSupp/trace.h"
#include "platform/win32/tick_count.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Mac = std::array<std::uint8_t, 6>;

const Mac kFirst = {0x02, 0, 0, 0, 0, 0xB1};
const Mac kSecond = {0x02, 0, 0, 0, 0, 0xB2};

class FakeLink : public RefCounted {};

struct Message {
  std::uint32_t code;
  Mac context;  // the 6 bytes the context word points at, when it was set
  Bytes frame;  // code 25
};

struct HostLog {
  std::vector<Message> messages;
  const char* password = "secret";
  std::vector<std::string> traces;
};
HostLog* g_log = nullptr;

uint32_t KSSTK_CALL HostCallback(uintptr_t, KSSTK_CALLBACK_MESSAGE* message) {
  Message seen{message->Code, {}, {}};
  if (message->Context != 0)
    std::memcpy(seen.context.data(), reinterpret_cast<const void*>(message->Context), 6);
  if (message->Code == KSSTK_MSG_SEND_PREAUTH_EAPOL) {
    const auto* send = reinterpret_cast<KSSTK_SEND_EAPOL_MESSAGE*>(message);
    seen.frame.assign(send->Frame, send->Frame + send->FrameLength);
  }
  if (message->Code == KSSTK_MSG_PREAUTH_GET_PASSWORD && g_log->password != nullptr)
    KSSTK_AllocStringA(g_log->password,
                       &reinterpret_cast<KSSTK_GET_PASSWORD_MESSAGE*>(message)->Password.A);
  g_log->messages.push_back(seen);
  return 0;
}

void CaptureTrace(int32_t, int32_t, const char* text, const uint8_t*, uint32_t) {
  if (g_log != nullptr) g_log->traces.push_back(text);
}

class FakePmksa final : public PreauthPmksaServices {
 public:
  std::deque<Mac> candidates;
  std::vector<std::pair<Mac, Bytes>> stored;
  bool NextPreauthCandidate(std::uint8_t bssid[6]) override {
    if (candidates.empty()) return false;
    std::copy(candidates.front().begin(), candidates.front().end(), bssid);
    candidates.pop_front();
    return true;
  }
  void AddPreauthPmk(const std::uint8_t bssid[6], const std::uint8_t* pmk,
                     std::uint32_t length) override {
    Mac m;
    std::copy(bssid, bssid + 6, m.begin());
    stored.emplace_back(m, Bytes(pmk, pmk + length));
  }
};

Bytes Eapol(const Bytes& packet, std::uint8_t type = 0) {
  Bytes frame = {2, type, 0, static_cast<std::uint8_t>(packet.size())};
  frame.insert(frame.end(), packet.begin(), packet.end());
  return frame;
}

class PreauthPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_log = &log_;
    KSSTK_SetTraceCallbackA(CaptureTrace);
    KSSTK_SetTraceLevel(4);
    utility_.AddRef();
    context_ = ApiContext::Create(&utility_);
    identity_ = Identity::Create(context_);
    identity_->SetUserName("bob", 3);
    const std::uint32_t md5 = 4;
    identity_->SetEapTypes(&md5, 1);
    adapter_ = std::make_unique<LinkCallbackAdapter>(StringForm::Narrow, &link_, *context_);
    adapter_->SetHost(&HostCallback, 0x77);
    port_ = std::make_unique<PreauthPort>(*context_, *adapter_, pmksa_);
    port_->SetIdentity(identity_);
  }
  void TearDown() override {
    port_.reset();
    identity_->Release();
    context_->Release();
    KSSTK_SetTraceLevel(0);
    KSSTK_SetTraceCallbackA(nullptr);
    g_log = nullptr;
  }
  // Time passes as the engine's step would see it.
  void Advance(std::uint32_t ms) {
    clock_.Advance(ms);
    port_->ElapseTime(ms);
    port_->Step();
  }
  std::vector<std::uint32_t> Codes() const {
    std::vector<std::uint32_t> codes;
    for (const auto& m : log_.messages) codes.push_back(m.code);
    return codes;
  }
  bool Traced(const std::string& text) const {
    return std::find(log_.traces.begin(), log_.traces.end(), text) != log_.traces.end();
  }

  plat::ManualTickCount clock_{0};
  HostLog log_;
  fake_cert::Utility utility_;
  ApiContext* context_ = nullptr;
  Identity* identity_ = nullptr;
  FakeLink link_;
  FakePmksa pmksa_;
  std::unique_ptr<LinkCallbackAdapter> adapter_;
  std::unique_ptr<PreauthPort> port_;
};

// EAP-MD5 with the first candidate: every message has a pre-authentication code and the
// candidate as its context; the success ends the candidate (MD5 has no keys: nothing
// stored) and the port moves on to the next in the same step.
TEST_F(PreauthPortTest, AuthenticatesWithTheCandidateThroughItsOwnCodes) {
  port_->Step();  // the first step holds the PAE (its report has no candidate yet)
  ASSERT_EQ(Codes(), std::vector<std::uint32_t>{KSSTK_MSG_PREAUTH_AUTH_REPORT});
  EXPECT_EQ(log_.messages[0].context, Mac{});
  log_.messages.clear();
  pmksa_.candidates = {kFirst, kSecond};
  port_->SetActive(true);
  port_->Step();
  EXPECT_EQ(port_->state(), PreauthPort::kAuthenticating);
  EXPECT_TRUE(std::equal(kFirst.begin(), kFirst.end(), port_->Candidate()));
  Advance(20);  // the first EAPOL-Start
  ASSERT_FALSE(log_.messages.empty());
  EXPECT_EQ(log_.messages.back().code, KSSTK_MSG_SEND_PREAUTH_EAPOL);
  EXPECT_EQ(log_.messages.back().frame, Eapol({}, 1));

  port_->Receive(kFirst.data(), Eapol({1, 1, 0, 5, 1}).data(), 9);
  const Bytes challenge = Eapol({1, 2, 0, 10, 4, 4, 9, 8, 7, 6});
  port_->Receive(kFirst.data(), challenge.data(), static_cast<std::uint32_t>(challenge.size()));
  port_->Receive(kFirst.data(), Eapol({3, 2, 0, 4}).data(), 8);
  EXPECT_TRUE(Traced("Cannot get PMK from preauthentication: authentication not complete or "
                     "method does not support session keys\n"));
  EXPECT_TRUE(pmksa_.stored.empty());

  for (const auto& m : log_.messages) {
    EXPECT_GE(m.code, 24u);
    EXPECT_LE(m.code, 31u);
    EXPECT_EQ(m.context, kFirst) << m.code;
  }
  const auto codes = Codes();
  for (std::uint32_t code : {24u, 25u, 26u, 27u})
    EXPECT_NE(std::find(codes.begin(), codes.end(), code), codes.end()) << code;

  port_->Step();
  EXPECT_EQ(port_->state(), PreauthPort::kAuthenticating);
  EXPECT_TRUE(std::equal(kSecond.begin(), kSecond.end(), port_->Candidate()));
}

// Frames are taken from the candidate only, as EAPOL EAP packets of a sound length.
TEST_F(PreauthPortTest, ReceiveChecks) {
  const Bytes request = Eapol({1, 1, 0, 5, 1});
  port_->Receive(kFirst.data(), request.data(), 9);  // no candidate runs
  EXPECT_TRUE(Traced("Discarding EAPOL packet: unexpected BSSID\n"));

  pmksa_.candidates = {kFirst};
  port_->SetActive(true);
  port_->Step();
  struct Case {
    Mac source;
    Bytes frame;
    const char* trace;
  } cases[] = {
      {kSecond, request, "Discarding EAPOL packet: unexpected BSSID\n"},
      {kFirst, {2, 0, 0}, "Discarding EAPOL packet: too small to contain EAPOL header\n"},
      {kFirst, {2, 0, 0, 6, 1, 1, 0, 5, 1}, "Discarding EAPOL packet: length requires longer message\n"},
      {kFirst, Eapol({2, 0, 0, 0}, 3), "Discarding EAPOL packet: unexpected packet type 3\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.trace);
    log_.traces.clear();
    log_.messages.clear();
    port_->Receive(c.source.data(), c.frame.data(), static_cast<std::uint32_t>(c.frame.size()));
    EXPECT_TRUE(Traced(c.trace));
    EXPECT_TRUE(log_.messages.empty()) << "nothing answered";
  }
  port_->Receive(kFirst.data(), request.data(), 9);
  ASSERT_FALSE(log_.messages.empty());
  EXPECT_EQ(log_.messages.back().frame, Eapol({2, 1, 0, 8, 1, 'b', 'o', 'b'}))
      << "answered at once";
}

// A silent candidate: starts at 20, 3020 and 6020 ms, then the candidate is given up (no
// link failure reported); with no more candidates the port idles and wants no wake-up.
TEST_F(PreauthPortTest, SilentCandidateEndsAfterItsStarts) {
  pmksa_.candidates = {kFirst};
  port_->SetActive(true);
  port_->Step();
  std::uint32_t elapsed = 0;
  std::vector<std::uint32_t> startTimes;
  while (port_->state() == PreauthPort::kAuthenticating && elapsed < 20000) {
    std::uint32_t wait = 60000;
    port_->NextTimeout(wait);
    const std::size_t before = log_.messages.size();
    Advance(wait);
    elapsed += wait;
    for (std::size_t i = before; i < log_.messages.size(); ++i)
      if (log_.messages[i].code == KSSTK_MSG_SEND_PREAUTH_EAPOL) startTimes.push_back(elapsed);
  }
  EXPECT_EQ(startTimes, (std::vector<std::uint32_t>{20, 3020, 6020}));
  EXPECT_EQ(port_->state(), PreauthPort::kIdle);
  EXPECT_LE(elapsed, PreauthPort::kCandidateTime);
  for (const auto& m : log_.messages) EXPECT_NE(m.code, KSSTK_MSG_LINK_FAILURE);
  const Mac none{};
  EXPECT_TRUE(std::equal(none.begin(), none.end(), port_->Candidate()));
}

// Disabling in the middle of an authentication ends it at the next step; Stop ends it at
// once and leaves the port enabled for the next candidate.
TEST_F(PreauthPortTest, DisablingEndsTheRunningCandidate) {
  pmksa_.candidates = {kFirst, kSecond};
  port_->SetActive(true);
  port_->Step();
  Advance(20);
  port_->Receive(kFirst.data(), Eapol({1, 1, 0, 5, 1}).data(), 9);
  port_->SetActive(false);
  port_->Step();
  EXPECT_EQ(port_->state(), PreauthPort::kIdle);
  const Mac none{};
  EXPECT_TRUE(std::equal(none.begin(), none.end(), port_->Candidate()));
  std::uint32_t wait = 60000;
  port_->NextTimeout(wait);
  EXPECT_EQ(wait, 60000u) << "no timer runs";

  port_->SetActive(true);
  port_->Step();
  EXPECT_TRUE(std::equal(kSecond.begin(), kSecond.end(), port_->Candidate()));
  port_->Stop();
  EXPECT_EQ(port_->state(), PreauthPort::kIdle);
  EXPECT_TRUE(port_->Active());
}

}  // namespace
