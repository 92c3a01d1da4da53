#include "ksLib_OSSL/peap_v0_framing.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Of(const SecureByteArray& array) { return Bytes(array.begin(), array.end()); }

struct CompressCase {
  const char* name;
  Bytes packet;
  bool accepted;
  Bytes written;
};

void PrintTo(const CompressCase& c, std::ostream* os) { *os << c.name; }

class PeapV0CompressTest : public ::testing::TestWithParam<CompressCase> {};

TEST_P(PeapV0CompressTest, WritesWhatTheServerExpects) {
  const CompressCase& c = GetParam();
  PeapV0State state;
  state.innerId = 0x77;
  SecureByteArray out;
  ASSERT_EQ(CompressPeapV0Packet(c.packet.data(), static_cast<std::uint32_t>(c.packet.size()),
                                 state, out),
            c.accepted);
  EXPECT_EQ(Of(out), c.written);
  EXPECT_EQ(state.innerId, c.accepted ? c.packet[1] : 0x77);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PeapV0CompressTest,
    ::testing::Values(
        CompressCase{"ResponseLosesItsHeader", {2, 9, 0, 7, 4, 0xAA, 0xBB}, true, {4, 0xAA, 0xBB}},
        // The EAP length counts, not the buffer.
        CompressCase{"TrailingBytesDropped", {2, 9, 0, 6, 1, 'a', 'x'}, true, {1, 'a'}},
        CompressCase{"SuccessBecomesResultTlv", {3, 5, 0, 4}, true,
                     {2, 5, 0, 11, 33, 0x80, 0x03, 0, 2, 0, 1}},
        CompressCase{"FailureBecomesResultTlv", {4, 6, 0, 4}, true,
                     {2, 6, 0, 11, 33, 0x80, 0x03, 0, 2, 0, 2}},
        CompressCase{"UnknownCode", {5, 1, 0, 4}, false, {}},
        CompressCase{"LengthPastBuffer", {2, 1, 0, 9, 1}, false, {}},
        CompressCase{"TooShort", {2, 1, 0}, false, {}}),
    [](const auto& info) { return std::string(info.param.name); });

struct ExpandCase {
  const char* name;
  bool innerSeen;
  Bytes data;
  Bytes packet;
};

void PrintTo(const ExpandCase& c, std::ostream* os) { *os << c.name; }

class PeapV0ExpandTest : public ::testing::TestWithParam<ExpandCase> {};

// The outer request's identifier is 0x42.
TEST_P(PeapV0ExpandTest, RebuildsTheInnerPacket) {
  const ExpandCase& c = GetParam();
  PeapV0State state;
  state.innerSeen = c.innerSeen;
  SecureByteArray out;
  ExpandPeapV0Packet(c.data.data(), static_cast<std::uint32_t>(c.data.size()), 0x42, state, out);
  EXPECT_EQ(Of(out), c.packet);
  EXPECT_TRUE(state.innerSeen);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PeapV0ExpandTest,
    ::testing::Values(
        ExpandCase{"IdentityRequest", false, {1}, {1, 0x42, 0, 5, 1}},
        // The first packet is always header-less, whatever it looks like.
        ExpandCase{"FirstPacketIsNeverATlv", false, {1, 7, 0, 11, 33, 0x80, 3, 0, 2, 0, 1},
                   {1, 0x42, 0, 15, 1, 7, 0, 11, 33, 0x80, 3, 0, 2, 0, 1}},
        ExpandCase{"ResultSuccess", true, {1, 7, 0, 11, 33, 0x80, 3, 0, 2, 0, 1}, {3, 7, 0, 4}},
        ExpandCase{"ResultFailure", true, {1, 7, 0, 11, 33, 0x80, 3, 0, 2, 0, 2}, {4, 7, 0, 4}},
        ExpandCase{"ResultOtherStatus", true, {1, 7, 0, 11, 33, 0x00, 3, 0, 2, 0, 0}, {4, 7, 0, 4}},
        ExpandCase{"OtherTlvPacketIsHandedOverWhole", true, {1, 7, 0, 9, 33, 0x80, 7, 0, 0},
                   {1, 7, 0, 9, 33, 0x80, 7, 0, 0}},
        ExpandCase{"Md5Challenge", true, {4, 1, 0xCC}, {1, 0x42, 0, 7, 4, 1, 0xCC}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
