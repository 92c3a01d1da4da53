#include "ksSupp/eap/peap_tlv.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct TlvCase {
  const char* name;
  std::vector<std::uint8_t> data;  // the EAP-TLV type data
  PeapTlvOutcome outcome;
};

void PrintTo(const TlvCase& c, std::ostream* os) { *os << c.name; }

class PeapTlvTest : public ::testing::TestWithParam<TlvCase> {};

TEST_P(PeapTlvTest, ReadsTheFirstTlv) {
  const TlvCase& c = GetParam();
  EXPECT_EQ(ReadPeapTlvRequest(c.data.data(), static_cast<std::uint32_t>(c.data.size())),
            c.outcome);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PeapTlvTest,
    ::testing::Values(
        TlvCase{"MandatoryResultSuccess", {0x80, 0x03, 0, 2, 0, 1}, PeapTlvOutcome::kSuccess},
        TlvCase{"OptionalResultFailure", {0x00, 0x03, 0, 2, 0, 2}, PeapTlvOutcome::kFailure},
        // A crypto-binding TLV after the Result is not read.
        TlvCase{"ResultThenMore", {0x80, 0x03, 0, 2, 0, 1, 0x80, 0x0C, 0, 0}, PeapTlvOutcome::kSuccess},
        TlvCase{"ResultUnknownStatus", {0x80, 0x03, 0, 2, 0, 3}, PeapTlvOutcome::kRefused},
        TlvCase{"ResultTooShort", {0x80, 0x03, 0, 1, 0}, PeapTlvOutcome::kRefused},
        TlvCase{"LengthPastData", {0x80, 0x03, 0, 4, 0, 1}, PeapTlvOutcome::kRefused},
        TlvCase{"NoHeader", {0x80, 0x03, 0}, PeapTlvOutcome::kRefused},
        TlvCase{"MandatoryUnknown", {0x80, 0x07, 0, 0}, PeapTlvOutcome::kRefused},
        TlvCase{"OptionalUnknown", {0x00, 0x07, 0, 1, 9}, PeapTlvOutcome::kNone}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
