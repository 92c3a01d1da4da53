#include "ksSupp/eap/ms_chap_failure.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

namespace {

const std::string kChallengeHex = "0123456789ABCDEF0123456789abcdef";

struct Fields {
  std::uint32_t error, retry, challengeLength, version;
  std::string message;
};

struct FailureText {
  const char* what;
  std::string text;
  std::optional<Fields> fields;  // nullopt: malformed
};

void PrintTo(const FailureText& c, std::ostream* os) { *os << c.what; }

class MsChapFailureTest : public ::testing::TestWithParam<FailureText> {};

TEST_P(MsChapFailureTest, ReadsTheFields) {
  const FailureText& c = GetParam();
  MsChapFailure failure;
  failure.error = 12345;  // left over from an earlier text
  const bool parsed =
      ParseMsChapFailure(c.text.data(), static_cast<std::uint32_t>(c.text.size()), failure);
  ASSERT_EQ(parsed, c.fields.has_value()) << c.text;
  if (!parsed) return;
  EXPECT_EQ(failure.error, c.fields->error);
  EXPECT_EQ(failure.retry, c.fields->retry);
  EXPECT_EQ(failure.challengeLength, c.fields->challengeLength);
  EXPECT_EQ(failure.version, c.fields->version);
  EXPECT_STREQ(failure.message.CStr(), c.fields->message.c_str());
}

INSTANTIATE_TEST_SUITE_P(
    Texts, MsChapFailureTest,
    ::testing::Values(
        FailureText{"all fields", "E=691 R=1 C=" + kChallengeHex + " V=3 M=Authentication failure",
                    Fields{691, 1, 16, 3, "Authentication failure"}},
        FailureText{"only E", "E=691", Fields{691, 0, 0, 1, ""}},
        FailureText{"nothing", "", Fields{0, 0, 0, 1, ""}},
        FailureText{"M takes the rest, spaces and '=' too",
                    "E=648 R=0 V=3 M=Password expired: E=1 and so on ",
                    Fields{648, 0, 0, 3, "Password expired: E=1 and so on "}},
        FailureText{"extra spaces", "  E=646   R=1  ", Fields{646, 1, 0, 1, ""}},
        FailureText{"largest number", "E=4294967295", Fields{4294967295u, 0, 0, 1, ""}},
        FailureText{"field without digits reads 0", "E= R=1", Fields{0, 1, 0, 1, ""}},
        FailureText{"unknown field X", "E=691 X=1", std::nullopt},
        FailureText{"lower-case field", "e=691", std::nullopt},
        FailureText{"letter without '='", "E=691 R", std::nullopt},
        FailureText{"number too large", "E=4294967296", std::nullopt},
        FailureText{"odd number of hex digits", "C=ABC R=0", std::nullopt},
        FailureText{"challenge of more than 128 bytes", "C=" + std::string(258, '0'),
                    std::nullopt}));

TEST(MsChapFailureTest, TextEndsAtItsLengthOrANul) {
  MsChapFailure failure;
  const std::string text = "E=691 R=1";
  ASSERT_TRUE(ParseMsChapFailure(text.data(), 5, failure));
  EXPECT_EQ(failure.error, 691u);
  EXPECT_EQ(failure.retry, 0u) << "R=1 lies past the length";

  const std::string withNul("E=691\0R=1", 9);
  ASSERT_TRUE(ParseMsChapFailure(withNul.data(), 9, failure));
  EXPECT_EQ(failure.retry, 0u);

  ASSERT_TRUE(ParseMsChapFailure(nullptr, 10, failure));
  EXPECT_EQ(failure.version, 1u);
}

TEST(MsChapFailureTest, ChallengeBytesAreDecoded) {
  MsChapFailure failure;
  const std::string text = "C=" + kChallengeHex;
  ASSERT_TRUE(ParseMsChapFailure(text.data(), static_cast<std::uint32_t>(text.size()), failure));
  const std::uint8_t expected[16] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF,
                                     0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
  ASSERT_EQ(failure.challengeLength, 16u);
  EXPECT_EQ(std::memcmp(failure.challenge, expected, 16), 0);
}

}  // namespace
