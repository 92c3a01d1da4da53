// Test support (header-only): a PaeServices that records what the PAE sent and asked, and a
// driver that plays the link engine's part around a PAE: it reads the tick count (drive it
// with plat::ManualTickCount), lowers the PAE's timers, hands it received frames and steps it.
#pragma once

#include <collections/dcfByteArray.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "ksSupp/eapol/eapol_frame.h"
#include "ksSupp/eapol/pae_services.h"
#include "ksSupp/eapol/supplicant_pae.h"
#include "platform/win32/tick_count.h"

struct RecordedReport {
  bool authorized;
  std::uint32_t state;
  bool noAuthenticator;
  std::string methodNames;  // "(null)" for a null text
  std::uint32_t status;
  std::uint32_t cipherSuite;
  std::string identityRequest;
  std::string notifications;
};

class RecordingPaeOwner : public PaeServices {
 public:
  // Script: one answer per password request (nullopt declines); the token answer.
  std::deque<std::optional<std::string>> passwords;
  std::optional<std::string> token;

  // Record.
  std::vector<std::vector<std::uint8_t>> frames;
  std::vector<RecordedReport> reports;
  unsigned keysInvalidated = 0;
  unsigned noAuthenticator = 0;
  unsigned masterKeys = 0;
  std::vector<std::uint32_t> failures;
  std::vector<std::string> tokenPrompts;
  unsigned passwordRequests = 0;

  void Report(const AuthReport& r) override {
    auto text = [](const char* t) { return std::string(t != nullptr ? t : "(null)"); };
    reports.push_back({r.authorized, r.paeState, r.authenticatedWithoutAuthenticator,
                       text(r.methodNames), r.methodStatus, r.cipherSuite,
                       text(r.identityRequestText), text(r.notificationText)});
  }
  void SendEapol(const std::uint8_t* frame, std::uint32_t length) override {
    frames.emplace_back(frame, frame + length);
  }
  bool GetPassword(char* buffer, std::uint32_t size) override {
    ++passwordRequests;
    if (passwords.empty() || !passwords.front()) {
      if (!passwords.empty()) passwords.pop_front();
      return false;
    }
    std::snprintf(buffer, size, "%s", passwords.front()->c_str());
    passwords.pop_front();
    return true;
  }
  bool GetTokenResponse(const char* text, dcfByteArray& response) override {
    tokenPrompts.emplace_back(text);
    if (!token) return false;
    response.Assign(reinterpret_cast<const std::uint8_t*>(token->data()),
                    static_cast<std::uint32_t>(token->size()));
    return true;
  }
  bool GetCredentials(const char*, char*, std::uint32_t, char*, std::uint32_t) override {
    return false;
  }
  std::uint32_t ValidateServerChain(const DerCertificate*, std::uint32_t) override { return 8; }
  void KeysInvalidated() override { ++keysInvalidated; }
  void NoAuthenticator() override { ++noAuthenticator; }
  void SetMasterSessionKeys() override { ++masterKeys; }
  void AuthenticationFailed(std::uint32_t status) override { failures.push_back(status); }
  bool CertificateText(const std::uint8_t*, char*, std::uint32_t) override { return false; }
  bool Sign(char, std::uint32_t, const std::uint8_t*, const std::uint8_t*, std::uint32_t,
            std::uint32_t, std::uint32_t, std::uint8_t*, std::uint32_t,
            std::uint32_t&) override {
    return false;
  }

  // The last frame sent, and its EAPOL type; -1 when none.
  int LastFrameType() const { return frames.empty() ? -1 : frames.back()[1]; }
  std::uint32_t LastState() const { return reports.empty() ? 0 : reports.back().state; }
};

// The link engine's part for one PAE.
class PaeDriver {
 public:
  explicit PaeDriver(SupplicantPae& pae) : pae_(pae), last_(plat::TickCount()) {}

  // Time passes, then the PAE runs.
  void Step() {
    const std::uint32_t now = plat::TickCount();
    pae_.ElapseTime(now - last_);
    last_ = now;
    pae_.Step();
  }
  // A received frame, consumed as the engine does: step, read the frame, step.
  EapolReceived Receive(const std::uint8_t* frame, std::uint32_t length) {
    Step();
    EapolHeader header;
    const EapolReceived kind = ReceiveEapolFrame(pae_, frame, length, header);
    pae_.Step();
    return kind;
  }
  EapolReceived Receive(const std::vector<std::uint8_t>& frame) {
    return Receive(frame.data(), static_cast<std::uint32_t>(frame.size()));
  }
  // How long the engine may wait before the next Step.
  std::uint32_t NextTimeout() const {
    std::uint32_t ms = 60000;
    pae_.NextTimeout(ms);
    return ms;
  }

 private:
  SupplicantPae& pae_;
  std::uint32_t last_;
};
