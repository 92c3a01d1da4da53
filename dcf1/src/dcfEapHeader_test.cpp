#include <dcf/dcfEapHeader.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct EapCase {
  const char* name;
  std::vector<std::uint8_t> bytes;
  bool ok;
  std::uint8_t code, identifier, type;
  std::uint16_t eapLength;
  std::uint32_t dataOffset, dataLength;
};

void PrintTo(const EapCase& c, std::ostream* os) { *os << c.name; }

class EapPacket : public ::testing::TestWithParam<EapCase> {};

TEST_P(EapPacket, ParsesOrRefuses) {
  const EapCase& c = GetParam();
  std::uint8_t code = 0xEE, identifier = 0xEE, type = 0xEE;
  std::uint16_t eapLength = 0xEEEE;
  const std::uint8_t* data = nullptr;
  std::uint32_t dataLength = 0xEEEE;
  const auto size = static_cast<std::uint32_t>(c.bytes.size());
  ASSERT_EQ(ParseEapPacket(c.bytes.data(), size, code, identifier, eapLength, type, data,
                           dataLength),
            c.ok);
  if (!c.ok) {
    EXPECT_EQ(code, 0xEE);  // outputs untouched
    return;
  }
  EXPECT_EQ(code, c.code);
  EXPECT_EQ(identifier, c.identifier);
  EXPECT_EQ(eapLength, c.eapLength);
  EXPECT_EQ(type, c.type);
  EXPECT_EQ(data, c.bytes.data() + c.dataOffset);
  EXPECT_EQ(dataLength, c.dataLength);

  std::uint8_t hCode = 0, hId = 0;
  std::uint16_t hLength = 0;
  EXPECT_TRUE(ParseEapHeader(c.bytes.data(), size, hCode, hId, hLength));
  EXPECT_EQ(hLength, c.eapLength);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EapPacket,
    ::testing::Values(
        EapCase{"RequestIdentity", {1, 7, 0, 5, 1}, true, 1, 7, 1, 5, 5, 0},
        EapCase{"ResponseWithData", {2, 9, 0, 8, 4, 'a', 'b', 'c'}, true, 2, 9, 4, 8, 5, 3},
        EapCase{"SuccessHasNoType", {3, 2, 0, 4}, true, 3, 2, 0, 4, 4, 0},
        EapCase{"TrailingBytesBeyondTheLength", {4, 1, 0, 4, 9, 9}, true, 4, 1, 0, 4, 4, 0},
        EapCase{"ShorterThanHeader", {1, 1, 0}, false, 0, 0, 0, 0, 0, 0},
        EapCase{"LengthFieldBeyondBuffer", {1, 1, 0, 9, 1}, false, 0, 0, 0, 0, 0, 0},
        EapCase{"LengthFieldBelowHeader", {3, 1, 0, 2}, false, 0, 0, 0, 0, 0, 0},
        EapCase{"RequestWithoutTypeByte", {1, 1, 0, 4, 1}, false, 0, 0, 0, 0, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
