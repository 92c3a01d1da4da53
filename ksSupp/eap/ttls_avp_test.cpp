#include "ksSupp/eap/ttls_avp.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

struct ReadCase {
  const char* name;
  Bytes input;
  bool malformed;
  std::vector<std::uint32_t> codes;  // of the AVPs read before the end or the fault
  std::vector<std::uint32_t> dataLengths;
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }

class AvpReaderTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(AvpReaderTest, WalksTheList) {
  const ReadCase& c = GetParam();
  AvpReader reader(c.input.data(), static_cast<std::uint32_t>(c.input.size()));
  Avp avp;
  std::vector<std::uint32_t> codes;
  std::vector<std::uint32_t> lengths;
  while (reader.Next(avp)) {
    codes.push_back(avp.code);
    lengths.push_back(avp.dataLength);
    // Every byte read lies inside the input.
    ASSERT_LE(avp.data + avp.dataLength, c.input.data() + c.input.size());
  }
  EXPECT_EQ(reader.malformed(), c.malformed);
  EXPECT_EQ(codes, c.codes);
  EXPECT_EQ(lengths, c.dataLengths);
  std::uint32_t count = 0;
  EXPECT_EQ(CountAvps(c.input.data(), static_cast<std::uint32_t>(c.input.size()), count),
            !c.malformed);
}

INSTANTIATE_TEST_SUITE_P(
    Table, AvpReaderTest,
    ::testing::Values(
        ReadCase{"Empty", {}, false, {}, {}},
        ReadCase{"PaddedThenUnpaddedLast",
                 {0, 0, 0, 1, 0x40, 0, 0, 9, 'a', 0, 0, 0, 0, 0, 0, 79, 0x40, 0, 0, 10, 1, 2},
                 false,
                 {1, 79},
                 {1, 2}},
        ReadCase{"VendorHeader",
                 {0, 0, 0, 26, 0xC0, 0, 0, 14, 0, 0, 1, 0x37, 'S', '='},
                 false,
                 {26},
                 {2}},
        ReadCase{"ShortHeader", {0, 0, 0, 1, 0x40, 0, 0}, true, {}, {}},
        ReadCase{"LengthBelowHeader", {0, 0, 0, 1, 0x40, 0, 0, 7}, true, {}, {}},
        ReadCase{"LengthPastInput", {0, 0, 0, 1, 0x40, 0, 0, 12, 1, 2}, true, {}, {}},
        ReadCase{"VendorFlagWithoutVendorId", {0, 0, 0, 1, 0x80, 0, 0, 8}, true, {}, {}},
        ReadCase{"VendorLengthBelowVendorHeader",
                 {0, 0, 0, 1, 0x80, 0, 0, 10, 0, 0, 1, 0x37},
                 true,
                 {},
                 {}},
        ReadCase{"GoodThenTruncated",
                 {0, 0, 0, 18, 0, 0, 0, 8, 0, 0, 0, 2, 0x40, 0, 0, 20},
                 true,
                 {18},
                 {0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AvpWriterTest, WritesPaddedAvpsWithAndWithoutVendor) {
  AvpWriter writer;
  const std::uint8_t value[] = {'b', 'o', 'b'};
  writer.Append(1, 0, true, value, sizeof value);
  writer.Append(11, 311, true, value, 2);
  writer.Append(18, 0, false, nullptr, 0);
  const Bytes expected = {0, 0, 0, 1,  0x40, 0, 0, 11, 'b', 'o', 'b', 0,               // User-Name
                          0, 0, 0, 11, 0xC0, 0, 0, 14, 0,   0,   1,   0x37, 'b', 'o', 0, 0,
                          0, 0, 0, 18, 0,    0, 0, 8};
  EXPECT_EQ(Bytes(writer.Data(), writer.Data() + writer.Length()), expected);
}

TEST(AvpWriterTest, GrowsPastItsFirstBlockAndReadsBack) {
  AvpWriter writer;
  const Bytes big(1500, 0x5A);
  writer.Append(79, 0, true, big.data(), static_cast<std::uint32_t>(big.size()));
  writer.AppendText(1, "alice");
  AvpReader reader(writer.Data(), writer.Length());
  Avp avp;
  ASSERT_TRUE(reader.Next(avp));
  EXPECT_TRUE(avp.Is(79, 0));
  EXPECT_TRUE(avp.Mandatory());
  EXPECT_EQ(Bytes(avp.data, avp.data + avp.dataLength), big);
  ASSERT_TRUE(reader.Next(avp));
  EXPECT_EQ(std::string(avp.data, avp.data + avp.dataLength), "alice");
  EXPECT_FALSE(reader.Next(avp));
  EXPECT_FALSE(reader.malformed());
}

}  // namespace
