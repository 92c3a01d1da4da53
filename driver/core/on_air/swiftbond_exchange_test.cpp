// The SwiftBond exchange against the cooperating access point of the simulated air, in
// virtual time: every frame both ways goes into a pcap that tshark reads back as LLC/SNAP
// with the maker's OUI.
#include "driver/core/swiftbond_exchange.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "driver/core/on_air/air_station.h"
#include "sim/air/pcap_recorder.h"
#include "sim/air/swiftbond_responder.h"

namespace zelnic::core::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kBssid[6] = {0x02, 0x5A, 0x9C, 0x00, 0x00, 0x01};
constexpr std::uint8_t kStation[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x42};

// The station core's side of the exchange: frames go to the responder (the access point)
// and its replies come back on the next delivery; the step timer runs on a virtual clock.
class AirLink : public SwiftBondLink {
 public:
  explicit AirLink(simair::SwiftBondResponder& ap, const std::string& pcap) : ap_(ap) {
    std::string error;
    recorder_ = simair::PcapRecorder::Create(pcap, simair::PcapLinkType::Ieee80211, error);
  }
  bool Associated() override { return associated; }
  bool SendBody(const std::uint8_t* body, std::uint32_t length) override {
    if (!freeBuffers) return false;
    sent.emplace_back(body, body + length);
    Record(body, length, true);
    Bytes reply = ap_.answer(kBssid, kStation, body, length);
    if (!reply.empty()) pending_.push_back(reply);
    return true;
  }
  void ArmTimer(std::uint32_t ms) override { deadline_ = now_ + ms; }
  void CancelTimer() override { deadline_ = -1; }
  void PostEvent(std::uint32_t event) override { events.push_back(event); }
  void RestoreTxPower() override { ++txPowerRestored; }
  const std::uint8_t* Bssid() override { return kBssid; }
  const std::uint8_t* StationAddress() override { return kStation; }
  std::uint16_t StationWord() override { return 0x0102; }

  // Delivers the access point's replies (1 ms each) until none is left, then lets `ms` of
  // virtual time pass, firing the step timer when it is due.
  void Run(SwiftBondExchange& exchange, std::int64_t ms) {
    const std::int64_t end = now_ + ms;
    while (!pending_.empty() || (deadline_ >= 0 && deadline_ <= end)) {
      if (!pending_.empty()) {
        ++now_;
        Bytes reply = pending_.front();
        pending_.pop_front();
        Record(reply.data(), static_cast<std::uint32_t>(reply.size()), false);
        exchange.Receive(reply.data(), static_cast<std::uint32_t>(reply.size()));
      } else {
        now_ = deadline_;
        deadline_ = -1;
        exchange.Timeout();
      }
    }
    if (now_ < end) now_ = end;
  }

  bool associated = true;
  bool freeBuffers = true;
  std::vector<Bytes> sent;
  std::vector<std::uint32_t> events;
  int txPowerRestored = 0;
  std::int64_t now() const { return now_; }

 private:
  // An 802.11 data frame: ToDS from the station, FromDS from the access point.
  void Record(const std::uint8_t* body, std::uint32_t length, bool toDs) {
    if (!recorder_) return;
    simair::AirFrame frame;
    frame.channel = 6;
    frame.bytes = {0x08, static_cast<std::uint8_t>(toDs ? 0x01 : 0x02), 0, 0};
    const std::uint8_t* a1 = toDs ? kBssid : kStation;
    const std::uint8_t* a2 = toDs ? kStation : kBssid;
    frame.bytes.insert(frame.bytes.end(), a1, a1 + 6);
    frame.bytes.insert(frame.bytes.end(), a2, a2 + 6);
    frame.bytes.insert(frame.bytes.end(), kBssid, kBssid + 6);
    frame.bytes.insert(frame.bytes.end(), {static_cast<std::uint8_t>(sequence_ << 4), 0});
    ++sequence_;
    frame.bytes.insert(frame.bytes.end(), body, body + length);
    recorder_->record(frame, -40, now_ * 1000);
  }

  simair::SwiftBondResponder& ap_;
  std::unique_ptr<simair::PcapRecorder> recorder_;
  std::deque<Bytes> pending_;
  std::int64_t now_ = 0;
  std::int64_t deadline_ = -1;
  std::uint8_t sequence_ = 0;
};

std::array<std::uint8_t, 128> ApBlock() {
  std::array<std::uint8_t, 128> block{};
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i * 7 + 1);
  return block;
}

const std::array<std::uint8_t, 16> kApValue = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7,
                                               0xA8, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF};

class SwiftBondOnAir : public ::testing::Test {
 protected:
  std::string PcapPath() const {
    return simair::testing::TempPcapPath(std::string("swiftbond_") +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
  }
  void Start(std::uint16_t keyType, std::uint16_t keyIndex) {
    std::uint8_t security[kSwiftBondSecurityRecordBytes] = {};
    std::memcpy(security + 2, "open sesame", 11);
    for (int i = 0; i < 128; ++i) security[34 + i] = static_cast<std::uint8_t>(0xFF - i);
    security[162] = 0x34;
    security[163] = 0x12;
    security[164] = 0x78;
    security[167] = 0x01;
    ASSERT_TRUE(exchange.SetSecurity(security, sizeof security));
    const std::uint8_t setup[8] = {0, 0, 1, 0, static_cast<std::uint8_t>(keyType), 0,
                                   static_cast<std::uint8_t>(keyIndex), 0};
    exchange.Setup(setup, sizeof setup);
  }

  simair::SwiftBondResponder ap{"BondedNet", kApValue, ApBlock()};
  AirLink link{ap, PcapPath()};
  SwiftBondExchange exchange{link};
};

TEST_F(SwiftBondOnAir, RunsThroughEveryStateToTheAccessPointsAnswer) {
  for (const std::uint16_t keyType : {1, 2, 3}) {
    SCOPED_TRACE(keyType);
    link.events.clear();
    Start(keyType, 2);
    link.Run(exchange, 1000);
    EXPECT_EQ(exchange.State(), kSbIdle);
    const std::vector<std::uint32_t> steps = {0xF0000000, 0xF0000001, 0xF0000002, 0xF0000003,
                                              0xF0000004, 0xF0000005, 0xF0000006, 0xF0000007};
    EXPECT_EQ(link.events, steps);
    EXPECT_EQ(ap.passphrase(), "open sesame");  // decrypted with the shared derivation and mask
    EXPECT_EQ(ap.keyType(), keyType);
    EXPECT_EQ(ap.keyIndex(), 2);
    EXPECT_EQ(ap.securityBlock()[0], 0xFF);
    const auto block = ApBlock();
    EXPECT_EQ(Bytes(exchange.ReceivedBlock(), exchange.ReceivedBlock() + 128), Bytes(block.begin(), block.end()));
    std::uint8_t info[kSwiftBondApInfoBytes];
    exchange.ApInfo(info);
    EXPECT_EQ(info[0], 9);
    EXPECT_EQ(std::string(info + 4, info + 13), "BondedNet");
    EXPECT_EQ(Bytes(info + 36, info + 52), Bytes(kApValue.begin(), kApValue.end()));
  }
  EXPECT_EQ(link.txPowerRestored, 3);
  // The first message: its fields in the clear, the pass phrase not.
  const Bytes& start = link.sent[0];
  ASSERT_EQ(start.size(), 90u);
  EXPECT_EQ(Bytes(start.begin() + 8, start.begin() + 16), (Bytes{1, 0, 82, 0, 1, 0, 0, 0}));
  EXPECT_NE(std::memcmp(start.data() + 16, "open sesame", 11), 0);
  EXPECT_EQ(Bytes(start.begin() + 48, start.begin() + 60), (Bytes{1, 0, 2, 0, 0x34, 0x12, 0x78, 0, 0, 1, 2, 1}));
  EXPECT_EQ(link.sent[1].size(), 144u);
  EXPECT_EQ(link.sent[2].size(), 18u);
  EXPECT_EQ(link.sent[3].size(), 16u);
}

TEST_F(SwiftBondOnAir, EachFailureEndsInTheFailedStateWithItsEvent) {
  struct Case {
    const char* name;
    simair::SwiftBondKnobs knobs;
  } cases[] = {
      {"silence", {.silentOnType = 3}},
      {"wrong type", {.wrongTypeOnType = 1}},
      {"short reply", {.shortOnType = 4}},
      {"short block reply", {.shortOnType = 3}},
      {"bad status", {.statusOnType = 2, .status = 5}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    simair::SwiftBondResponder peer{"BondedNet", kApValue, ApBlock()};
    peer.knobs() = c.knobs;
    AirLink air{peer, ""};
    SwiftBondExchange run{air};
    std::uint8_t security[kSwiftBondSecurityRecordBytes] = {'x', 'x', 'p', 'w'};
    ASSERT_TRUE(run.SetSecurity(security, sizeof security));
    const std::uint8_t setup[8] = {0, 0, 1, 0, 1, 0, 0, 0};
    run.Setup(setup, sizeof setup);
    air.Run(run, 1000);
    EXPECT_EQ(run.State(), kSbFailed);
    ASSERT_FALSE(air.events.empty());
    EXPECT_EQ(air.events.back(), kSwiftBondEventFailed);
    EXPECT_EQ(std::count(air.events.begin(), air.events.end(), kSwiftBondEventFailed), 1);
    EXPECT_EQ(air.txPowerRestored, 1);
    // A new start after the failure runs again from the beginning.
    peer.knobs() = {};
    run.Setup(setup, sizeof setup);
    air.Run(run, 1000);
    EXPECT_EQ(run.State(), kSbIdle);
    EXPECT_EQ(air.events.back(), 0xF0000007u);
  }
}

TEST_F(SwiftBondOnAir, ASetupWhileRunningOrAStopChangesWhatItShould) {
  Start(1, 0);
  EXPECT_EQ(exchange.State(), kSbWaitStart);
  const std::size_t sentBefore = link.sent.size();
  const std::uint8_t again[8] = {0, 0, 1, 0, 2, 0, 3, 0};
  exchange.Setup(again, sizeof again);
  EXPECT_EQ(exchange.State(), kSbWaitStart);
  EXPECT_EQ(link.sent.size(), sentBefore);
  const std::uint8_t stop[8] = {0, 0, 2, 0, 0, 0, 0, 0};
  exchange.Setup(stop, sizeof stop);
  EXPECT_EQ(exchange.State(), kSbIdle);
  link.Run(exchange, 1000);  // the reply in flight is no longer awaited; no timer fires
  EXPECT_EQ(exchange.State(), kSbIdle);
  EXPECT_EQ(link.events, (std::vector<std::uint32_t>{0xF0000000}));
}

// Without the association or a frame buffer nothing goes out, and the exchange does not wait
// for ever: the step timer fails it.
TEST_F(SwiftBondOnAir, NothingIsSentOutsideTheAssociatedStateOrWithoutABufferAndTheTimerEndsIt) {
  for (const bool associated : {false, true}) {
    SCOPED_TRACE(associated);
    simair::SwiftBondResponder peer{"BondedNet", kApValue, ApBlock()};
    AirLink air{peer, ""};
    air.associated = associated;
    air.freeBuffers = false;
    SwiftBondExchange run{air};
    std::uint8_t security[kSwiftBondSecurityRecordBytes] = {'x', 'x', 'p', 'w'};
    ASSERT_TRUE(run.SetSecurity(security, sizeof security));
    const std::uint8_t setup[8] = {0, 0, 1, 0, 1, 0, 0, 0};
    run.Setup(setup, sizeof setup);
    EXPECT_TRUE(air.sent.empty());
    air.Run(run, 199);
    EXPECT_EQ(run.State(), kSbSendStart);
    air.Run(run, 1);
    EXPECT_EQ(run.State(), kSbFailed);
    EXPECT_EQ(air.events, (std::vector<std::uint32_t>{kSwiftBondEventFailed}));
  }
}

TEST_F(SwiftBondOnAir, TsharkReadsTheFramesAsSnapWithTheMakersOui) {
  Start(2, 1);
  link.Run(exchange, 1000);
  ASSERT_EQ(exchange.State(), kSbIdle);
  const auto rows = Dissect(PcapPath(), "llc", {"llc.oui", "llc.pid", "wlan.fc.ds"});
  ASSERT_EQ(rows.size(), 8u);
  for (const std::string& row : rows) {
    const auto f = SplitRow(row);
    ASSERT_EQ(f.size(), 4u) << row;
    EXPECT_EQ(f[0], "") << row;  // not malformed
    EXPECT_EQ(f[1], "154268") << row;  // 02-5a-9c, as tshark prints the OUI
    EXPECT_EQ(f[2], "0x0001") << row;
  }
}

}  // namespace
}  // namespace zelnic::core::testing
