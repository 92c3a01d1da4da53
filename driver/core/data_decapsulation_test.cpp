// Decapsulation in place: the 802.3 addresses by the DS bits, the SNAP forms, the length
// limit and the frames too short for their header; the maker's vendor-mode frame, answered
// and handed to the firmware by a started driver.
#include <gtest/gtest.h>

#include <vector>

#include "driver/core/management_frames.h"
#include "driver/core/station_seams.h"
#include "driver/core/testing/core_fixture.h"
#include "driver/core/testing/protected_link.h"
#include "sim/chip/firmware_engine.h"

namespace zelnic::core {
namespace {

constexpr std::uint32_t kBuffer = 2032;

// A chip-layout data frame: addresses 1..4 are 0x1n, 0x2n, 0x3n, 0x4n.
std::vector<std::uint8_t> Frame(std::uint8_t dsBits, std::vector<std::uint8_t> body) {
  std::vector<std::uint8_t> f(32);
  f[2] = 0x08;
  f[3] = dsBits;
  for (int a = 0; a < 3; ++a)
    for (int i = 0; i < 6; ++i) f[6 + a * 6 + i] = static_cast<std::uint8_t>(0x10 * (a + 1) + i);
  for (int i = 0; i < 6; ++i) f[26 + i] = static_cast<std::uint8_t>(0x40 + i);
  f.insert(f.end(), body.begin(), body.end());
  return f;
}

struct Result {
  bool kept;
  bool eapol;
  std::vector<std::uint8_t> ethernet;
};

Result Decapsulate(const std::vector<std::uint8_t>& frame) {
  std::vector<std::uint8_t> buffer(kBuffer);
  std::copy(frame.begin(), frame.end(), buffer.begin());
  ReceiveRecord record{{nullptr}, buffer.data(), static_cast<ULONG>(frame.size()), kBuffer};
  Result r{};
  r.kept = DataFrameDecapsulate(nullptr, &record, r.eapol);
  if (r.kept) r.ethernet.assign(record.Frame, record.Frame + record.Length);
  return r;
}

const std::vector<std::uint8_t> kIpv4{0xAA, 0xAA, 0x03, 0, 0, 0, 0x08, 0x00, 1, 2};

TEST(DataDecapsulation, TheDsBitsNameTheDestinationAndSource) {
  struct Case {
    std::uint8_t ds;
    std::uint8_t destination;  // first byte of the address it comes from
    std::uint8_t source;
  } cases[] = {{0, 0x10, 0x20}, {1, 0x30, 0x20}, {2, 0x10, 0x30}, {3, 0x30, 0x40}};
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.ds));
    const Result r = Decapsulate(Frame(c.ds, kIpv4));
    ASSERT_TRUE(r.kept);
    ASSERT_EQ(r.ethernet.size(), 16u);
    EXPECT_EQ(r.ethernet[0], c.destination);
    EXPECT_EQ(r.ethernet[6], c.source);
    EXPECT_EQ(r.ethernet[12], 0x08);
    EXPECT_EQ(r.ethernet[13], 0x00);
    EXPECT_FALSE(r.eapol);
  }
}

TEST(DataDecapsulation, EapolIsMarkedAndOnlyUnderItsSnapType) {
  EXPECT_TRUE(Decapsulate(Frame(2, {0xAA, 0xAA, 0x03, 0, 0, 0, 0x88, 0x8E, 2, 3})).eapol);
  EXPECT_FALSE(Decapsulate(Frame(2, {0x88, 0x8E, 0x03, 0, 0, 0, 0x88, 0x8E})).eapol);  // no SNAP: a length frame
}

TEST(DataDecapsulation, TheLengthLimitAndShortFrames) {
  std::vector<std::uint8_t> body = kIpv4;
  body.resize(8 + 1500);
  EXPECT_TRUE(Decapsulate(Frame(2, body)).kept);  // 32 + 8 + 1500 - 2 - 8 = 1530
  body.resize(8 + 1505);
  EXPECT_FALSE(Decapsulate(Frame(2, body)).kept);  // 1535 remaining
  std::vector<std::uint8_t> raw(1600, 0x42);
  EXPECT_FALSE(Decapsulate(Frame(2, raw)).kept);    // a length frame past the limit
  const Result empty = Decapsulate(Frame(2, {}));   // header only: an empty length frame
  ASSERT_TRUE(empty.kept);
  EXPECT_EQ(empty.ethernet.size(), 14u);
  std::vector<std::uint8_t> truncated(20);
  EXPECT_FALSE(Decapsulate(truncated).kept);  // shorter than the chip header
}

// The maker's vendor-mode frame from the access point: header, type, mode byte, then `rest`.
std::vector<std::uint8_t> VendorModeBody(std::uint8_t mode, std::vector<std::uint8_t> rest = {}) {
  std::vector<std::uint8_t> body = {0xAA, 0xAA, 0x03, 0x02, 0x5A, 0x9C, 0x00, 0x00, 0x03, 0x01, mode};
  body.insert(body.end(), rest.begin(), rest.end());
  return body;
}

// An associated station; the chip layer's transmit slot keeps the bytes of every frame.
class VendorModeFrames : public testing::StartedDriver {
protected:
  void SetUp() override {
    StartedDriver::SetUp();
    ASSERT_TRUE(testing::AssociateUnder(h, core, testing::Cipher::kNone));
    sent.clear();
    auto& ops = *const_cast<HalAdapterOps*>(reinterpret_cast<HalAdapterHead*>(core->Hal)->Ops);
    ops.Transmit = [](HalAdapter*, SendDescriptor* d) -> ULONG {
      const auto* frame = static_cast<const ManagementFrameBuffer*>(d->Frame);
      sent.emplace_back(frame->Buffer, frame->Buffer + frame->Length);
      return 0;
    };
  }

  // A frame from the access point (FromDS) to the station, decapsulated by the core.
  bool Decapsulate(const std::vector<std::uint8_t>& body, std::vector<std::uint8_t>& ethernet) {
    std::vector<std::uint8_t> buffer(kBuffer);
    buffer[0] = static_cast<std::uint8_t>(body.size());
    buffer[1] = static_cast<std::uint8_t>(body.size() >> 8);
    buffer[2] = 0x08;
    buffer[3] = 0x02;
    std::copy(testing::kStation.begin(), testing::kStation.end(), buffer.begin() + kAddress1);
    std::copy(testing::kApAddress.begin(), testing::kApAddress.end(), buffer.begin() + kAddress2);
    std::copy(kWiredHost.begin(), kWiredHost.end(), buffer.begin() + kAddress3);
    std::copy(body.begin(), body.end(), buffer.begin() + 32);
    ReceiveRecord record{{nullptr}, buffer.data(), static_cast<ULONG>(32 + body.size()), kBuffer};
    bool kept = false;
    bool eapol = false;
    h.run([&] { kept = DataFrameDecapsulate(core, &record, eapol); });
    h.advance(std::chrono::milliseconds(5));  // the firmware takes its commands
    if (kept) ethernet.assign(record.Frame, record.Frame + record.Length);
    return kept;
  }

  // The SET_MODE records the chip read, from the header on.
  std::vector<std::vector<std::uint8_t>> ModeCommands() const {
    std::vector<std::vector<std::uint8_t>> records;
    for (const auto& command : h.chip.commands())
      if (command.code == simchip::command::kSetMode) records.push_back(command.record);
    return records;
  }

  static inline const testing::Address kWiredHost = {0x02, 0x00, 0x00, 0x00, 0x09, 0x01};
  static inline std::vector<std::vector<std::uint8_t>> sent;
};

TEST_F(VendorModeFrames, AreAnsweredTheirModeGoesToTheFirmwareAndTheHeaderWithTheTypeIsStripped) {
  std::vector<std::uint8_t> ethernet;
  ASSERT_TRUE(Decapsulate(VendorModeBody(0x05, {0xC1, 0xC2}), ethernet));
  // 10 bytes stripped: destination address 1, source address 3 (FromDS), the vendor type as
  // the 802.3 type, the payload from the mode byte on.
  std::vector<std::uint8_t> expected(testing::kStation.begin(), testing::kStation.end());
  expected.insert(expected.end(), kWiredHost.begin(), kWiredHost.end());
  expected.insert(expected.end(), {0x03, 0x01, 0x05, 0xC1, 0xC2});
  EXPECT_EQ(ethernet, expected);

  // The answer, in the chip layout: ToDS data, duration 258, A1 = A3 = BSSID, A2 = the
  // station, body the maker vendor header and 03 02 00.
  ASSERT_EQ(sent.size(), 1u);
  const std::vector<std::uint8_t>& reply = sent[0];
  ASSERT_EQ(reply.size(), 32u + 11u);
  EXPECT_EQ(reply[0] | reply[1] << 8, 11);
  EXPECT_EQ(reply[2], 0x08);
  EXPECT_EQ(reply[3], 0x01);
  EXPECT_EQ(reply[4] | reply[5] << 8, 258);
  EXPECT_TRUE(std::equal(testing::kApAddress.begin(), testing::kApAddress.end(), reply.begin() + kAddress1));
  EXPECT_TRUE(std::equal(testing::kStation.begin(), testing::kStation.end(), reply.begin() + kAddress2));
  EXPECT_TRUE(std::equal(testing::kApAddress.begin(), testing::kApAddress.end(), reply.begin() + kAddress3));
  EXPECT_EQ(std::vector<std::uint8_t>(reply.begin() + 32, reply.end()),
            (std::vector<std::uint8_t>{0xAA, 0xAA, 0x03, 0x02, 0x5A, 0x9C, 0x00, 0x00, 0x03, 0x02, 0x00}));

  // HLVN_FW_SET_MODE: 11 bytes, action 1, the mode byte, then 0.
  const auto modes = ModeCommands();
  ASSERT_EQ(modes.size(), 1u);
  ASSERT_EQ(modes[0].size(), 11u);
  EXPECT_EQ(modes[0][2] | modes[0][3] << 8, 11);
  EXPECT_EQ(std::vector<std::uint8_t>(modes[0].begin() + 8, modes[0].end()), (std::vector<std::uint8_t>{1, 0x05, 0}));
}

TEST_F(VendorModeFrames, AFrameWithoutItsModeByteOrTooLongIsDroppedUnanswered) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> body;
  } cases[] = {
      {"header and type only", {0xAA, 0xAA, 0x03, 0x02, 0x5A, 0x9C, 0x00, 0x00, 0x03, 0x01}},
      {"header only", {0xAA, 0xAA, 0x03, 0x02, 0x5A, 0x9C, 0x00, 0x00}},
      {"1535 bytes after stripping", VendorModeBody(1, std::vector<std::uint8_t>(1504, 0x42))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::uint8_t> ethernet;
    EXPECT_FALSE(Decapsulate(c.body, ethernet));
  }
  EXPECT_TRUE(sent.empty());
  EXPECT_TRUE(ModeCommands().empty());
}

}  // namespace
}  // namespace zelnic::core
