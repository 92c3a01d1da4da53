#pragma once
// A key handler of the station against the access point's authenticator of sim/air, with
// the link engine replaced by a recorder: the fixture of the WPA and RSN handshake tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "ksSupp/keys/key_derivation.h"
#include "ksSupp/keys/key_test_support.h"
#include "ksSupp/keys/key_trace.h"
#include "ksSupp/keys/null_key_handler_services.h"
#include "ksSupp/keys/rsn_key_handler.h"
#include "ksSupp/keys/wpa_key_handler.h"
#include "sim/air/authenticator.h"

namespace keys_test {

using air::Cipher;
using air::KeyProtocol;
using air::Misbehaviour;

struct InstalledKey {
  uint32_t suite;
  Bytes key;
  uint32_t index;
  Bytes bssid;
  uint32_t rscLow, rscHigh;
};

// The link engine as the key handler sees it: records what the handler asks for, and
// sets the PSK as the PMK when message 1 arrives.
struct RecordingServices : NullKeyHandlerServices {
  KeyHandler* handler = nullptr;
  Bytes psk;
  std::vector<Bytes> sent;
  std::vector<InstalledKey> installed;
  std::vector<uint32_t> failures;
  int reauthentications = 0;
  int cacheHits = 0;
  int cachedHandshakes = 0;
  std::vector<Bytes> pmkidMaps;  // each map as the host receives it
  std::vector<std::pair<uint32_t, Bytes>> cckmElements;  // kind, element
  std::vector<uint32_t> cckmResults;

  void TransmitEapolKey(const uint8_t* frame, uint32_t length) override { sent.emplace_back(frame, frame + length); }
  void InstallKey(uint32_t suite, const uint8_t* key, uint32_t length, uint32_t index,
                  const uint8_t* bssid, uint32_t rscLow, uint32_t rscHigh) override {
    installed.push_back({suite, Bytes(key, key + length), index, Bytes(bssid, bssid + 6), rscLow, rscHigh});
  }
  void InstallWepKey(const uint8_t*, uint32_t, uint32_t) override { ADD_FAILURE(); }
  void RemoveKey(uint32_t, const uint8_t*) override { ADD_FAILURE(); }
  void Reauthenticate() override { ++reauthentications; }
  void ReportKeyFailure(uint32_t reason) override { failures.push_back(reason); }
  void PairwiseMessage1Received() override {
    if (!psk.empty()) handler->SetPmk(psk.data(), static_cast<uint32_t>(psk.size()));
  }
  void PmksaCacheHit() override { ++cacheHits; }
  void CachedHandshakeDone() override { ++cachedHandshakes; }
  void SetPmkidList(uint32_t count, const uint8_t* entries) override {
    pmkidMaps.emplace_back(entries, entries + 22 * count);
  }
  void SendCckmElement(uint32_t kind, const uint8_t* element, uint32_t length) override {
    cckmElements.emplace_back(kind, element == nullptr ? Bytes() : Bytes(element, element + length));
  }
  void CckmResult(uint32_t result) override { cckmResults.push_back(result); }
};

inline const air::MacAddress kLowAddress = {0x00, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E};
inline const air::MacAddress kHighAddress = {0x02, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F};
inline const std::string kPassphrase = "correct horse battery", kSsid = "zelnet";

// The PSK of the pass phrase from OpenSSL's PBKDF2 (the access point's) and from ours (the
// station's), each computed once: 4096 iterations are slow under the sanitizers.
inline const Bytes& AccessPointPsk() {
  static const Bytes psk = air::PskFromPassphrase(kPassphrase, kSsid);
  return psk;
}
inline const Bytes& StationPsk() {
  static const Bytes psk = [] {
    Bytes out(kPskLength);
    PassphraseToPsk(kPassphrase.data(), static_cast<uint32_t>(kPassphrase.size()),
                    reinterpret_cast<const uint8_t*>(kSsid.data()), static_cast<uint32_t>(kSsid.size()),
                    out.data());
    return out;
  }();
  return psk;
}

inline std::vector<std::string>* g_traceLines = nullptr;
inline void CaptureTrace(int, int, const char* text, const uint8_t*, uint32_t) {
  if (g_traceLines != nullptr) g_traceLines->push_back(text);
}

inline bool Deliver(RsnKeyHandler& handler, const Bytes& frame) {
  return handler.rsn_receive_key(frame.data(), static_cast<uint32_t>(frame.size()));
}
inline bool Deliver(WpaKeyHandler& handler, const Bytes& frame) {
  return handler.wpa_receive_key(frame.data(), static_cast<uint32_t>(frame.size()));
}

template <class Handler>
class HandshakeFixture : public testing::Test {
 protected:
  static constexpr KeyProtocol kProtocol =
      std::is_same_v<Handler, RsnKeyHandler> ? KeyProtocol::Rsn : KeyProtocol::Wpa;
  static constexpr uint32_t kOui = kProtocol == KeyProtocol::Rsn ? 0x000FAC00 : 0x0050F200;
  static constexpr const char* kMessage3Refusal = kProtocol == KeyProtocol::Rsn
                                                      ? "EAPOL-Key handshake message 3 discarded: "
                                                      : "EAPOL-Key pairwise key message 3 discarded: ";
  // Frames of the access point in a whole handshake: RSN's message 3 carries the group key,
  // WPA's group message follows message 4.
  static constexpr uint64_t kHandshakeFrames = kProtocol == KeyProtocol::Rsn ? 2 : 3;

  void SetUp() override {
    g_traceLines = &trace_;
    SetKeyTraceSink(CaptureTrace);
    SetKeyTraceLevel(4);
  }
  void TearDown() override {
    SetKeyTraceSink(nullptr);
    SetKeyTraceLevel(0);
    g_traceLines = nullptr;
  }

  air::AuthenticatorConfig Config(Cipher pairwise = Cipher::Ccmp, Cipher group = Cipher::Ccmp) {
    air::AuthenticatorConfig c;
    c.protocol = kProtocol;
    c.pairwise = pairwise;
    c.group = group;
    c.authenticatorAddress = kHighAddress;
    c.supplicantAddress = kLowAddress;
    c.pmk = AccessPointPsk();
    c.supplicantElement = air::BuildElement(kProtocol, pairwise, group);
    c.groupRsc = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x00, 0x00};
    return c;
  }

  // The access point with its configuration; the station's handler at association, with
  // the PSK of the pass phrase for the engine to hand over at message 1 (none when `psk`
  // is false: the test sets the PMK itself).
  void Associate(air::AuthenticatorConfig config, Bytes stationElement = {}, bool psk = true) {
    if (stationElement.empty()) stationElement = config.supplicantElement;
    ap_.emplace(config);
    services_.handler = &handler_;
    services_.psk.clear();
    if (psk) services_.psk = StationPsk();
    handler_.Reset();
    handler_.SetAddresses(config.authenticatorAddress.data(), config.supplicantAddress.data());
    const Bytes& beacon = ap_->Config().authenticatorElement;
    handler_.SetAuthenticatorIes(beacon.data(), static_cast<uint32_t>(beacon.size()));
    handler_.SetSupplicantIes(stationElement.data(), static_cast<uint32_t>(stationElement.size()));
  }

  // Hands the frame to the station and every answer to the access point, and so on until
  // neither side has anything more to say.
  void Exchange(const Bytes& first) {
    std::deque<Bytes> toStation{first};
    while (!toStation.empty()) {
      const Bytes frame = toStation.front();
      toStation.pop_front();
      delivered_.push_back(frame);
      const size_t before = services_.sent.size();
      Deliver(handler_, frame);
      for (size_t i = before; i < services_.sent.size(); ++i)
        if (std::optional<Bytes> answer = ap_->Receive(services_.sent[i])) toStation.push_back(*answer);
    }
  }

  void CompleteHandshake() {
    Exchange(ap_->StartHandshake());
    ASSERT_TRUE(ap_->PairwiseComplete()) << ap_->LastError();
    ASSERT_TRUE(handler_.HandshakeComplete());
  }

  bool Traced(const std::string& line) const {
    return std::find(trace_.begin(), trace_.end(), line) != trace_.end();
  }

  void ExpectPairwiseKey(const InstalledKey& k) const {
    EXPECT_EQ(k.suite, kOui | static_cast<uint32_t>(ap_->Config().pairwise));
    EXPECT_EQ(k.key, ap_->TemporalKey());
    EXPECT_EQ(k.index, 0xE0000000u);
    EXPECT_EQ(k.bssid, Bytes(ap_->Config().authenticatorAddress.begin(), ap_->Config().authenticatorAddress.end()));
  }

  void ExpectGroupKey(const InstalledKey& k) const {
    EXPECT_EQ(k.suite, kOui | static_cast<uint32_t>(ap_->Config().group));
    EXPECT_EQ(k.key, ap_->Gtk());
    EXPECT_EQ(k.index, 0x20000000u | ap_->GtkIndex() | (ap_->Config().groupKeyTransmit ? 0x80000000u : 0));
    EXPECT_EQ(k.rscLow, 0x04030201u);
    EXPECT_EQ(k.rscHigh, 0x00000605u);
  }

  // The access point misbehaves once, in the 4-way handshake or in a group rekey after it:
  // the handler refuses with `trace`, installs nothing, answers nothing more and reports
  // exactly `failures` to the host.
  void ExpectAttackRefused(Misbehaviour misbehaviour, bool duringRekey, const char* trace,
                           const std::vector<uint32_t>& failures) {
    SCOPED_TRACE(trace);
    services_.installed.clear();
    services_.failures.clear();
    trace_.clear();
    if (duringRekey) {
      CompleteHandshake();
      services_.installed.clear();
      const size_t sent = services_.sent.size();
      ap_->Misbehave(misbehaviour);
      Exchange(ap_->StartGroupRekey());
      EXPECT_FALSE(ap_->GroupComplete());
      EXPECT_EQ(services_.sent.size(), sent) << "no acknowledgement";
    } else {
      Bytes message1 = ap_->StartHandshake();
      ap_->Misbehave(misbehaviour);
      Exchange(message1);
      EXPECT_FALSE(ap_->PairwiseComplete());
      EXPECT_FALSE(handler_.HandshakeComplete());
      EXPECT_TRUE(handler_.InstalledPtk().Empty());
    }
    EXPECT_TRUE(services_.installed.empty());
    EXPECT_TRUE(Traced(trace));
    EXPECT_EQ(services_.failures, failures);
  }

  struct Indication {
    uint32_t flags;
    std::optional<uint16_t> keyInformation;  // of the request; none: nothing is sent
    const char* trace;
  };
  // After a complete handshake, each authentication event of the host becomes the
  // EAPOL-Key request it asks for, which the access point accepts as signed.
  template <class Indicate>
  void ExpectSignedRequests(const std::vector<Indication>& cases, Indicate indicate) {
    CompleteHandshake();
    for (const Indication& c : cases) {
      trace_.clear();
      const size_t requests = ap_->Requests().size();
      const size_t sent = services_.sent.size();
      indicate(c.flags);
      EXPECT_TRUE(Traced(c.trace)) << c.flags;
      if (!c.keyInformation) {
        EXPECT_EQ(services_.sent.size(), sent);
        continue;
      }
      ASSERT_EQ(services_.sent.size(), sent + 1);
      EXPECT_FALSE(ap_->Receive(services_.sent.back()));
      ASSERT_EQ(ap_->Requests().size(), requests + 1) << ap_->LastError();
      EXPECT_EQ(ap_->Requests().back(), *c.keyInformation);
    }
  }

  std::optional<air::PskAuthenticator> ap_;
  RecordingServices services_;
  Handler handler_{services_};
  std::vector<std::string> trace_;
  std::vector<Bytes> delivered_;
};

}  // namespace keys_test
