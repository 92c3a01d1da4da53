// Decapsulation in place: the 802.3 addresses by the DS bits, the SNAP forms, the length
// limit and the frames too short for their header.
#include <gtest/gtest.h>

#include <vector>

#include "driver/core/station_seams.h"

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

}  // namespace
}  // namespace zelnic::core
