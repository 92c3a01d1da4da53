// The control device's messages: what the parsers accept, and each refusal with its reason.
#include "platform/ndis/control_protocol.h"

#include <gtest/gtest.h>

namespace ndis {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(ControlProtocol, RequestsAndRepliesEncodeAndParseBack) {
  const ControlRequest request{7, 0x00122400, 16124, {0x14, 0x02, 0x01, 0xFF}};
  std::string reason;
  auto parsed = ParseControlRequest(EncodeControlRequest(request), &reason);
  ASSERT_TRUE(parsed) << reason;
  EXPECT_EQ(parsed->id, 7u);
  EXPECT_EQ(parsed->code, 0x00122400u);
  EXPECT_EQ(parsed->outputCapacity, 16124u);
  EXPECT_EQ(parsed->input, request.input);
  EXPECT_EQ(ControlRequestIdOf(EncodeControlRequest(request)), 7u);

  const ControlReply reply{7, 0xC0000001, {1, 2, 3}};
  auto back = ParseControlReply(EncodeControlReply(reply), &reason);
  ASSERT_TRUE(back) << reason;
  EXPECT_EQ(back->status, 0xC0000001u);
  EXPECT_EQ(back->output, reply.output);
}

TEST(ControlProtocol, BrokenRequestsAreRefusedWithTheirReason) {
  const Bytes good = EncodeControlRequest(ControlRequest{9, 0x001224C0, 0, {1, 2, 3, 4}});
  auto with = [&](std::size_t offset, std::uint8_t value) {
    Bytes bytes = good;
    bytes[offset] = value;
    return bytes;
  };
  Bytes oneMore = good;
  oneMore.push_back(0);
  Bytes oneLess = good;
  oneLess.pop_back();
  struct Case {
    Bytes message;
    const char* reason;
  };
  const Case cases[] = {
      {Bytes(23), "shorter than the header"},
      {with(0, 0), "bad magic"},
      {with(4, 2), "unknown version"},
      {with(6, 1), "unknown flags"},
      {oneMore, "input length differs from the bytes sent"},
      {oneLess, "input length differs from the bytes sent"},
      {with(19, 0x80), "input too long"},         // input length 0x80000004
      {with(23, 0x01), "output capacity too large"},  // capacity 0x01000000
  };
  for (const Case& c : cases) {
    std::string reason;
    EXPECT_FALSE(ParseControlRequest(c.message, &reason));
    EXPECT_EQ(reason, c.reason);
  }
  EXPECT_EQ(ControlRequestIdOf(with(0, 0)), 0u);  // no id without the magic
  EXPECT_EQ(ControlRequestIdOf(oneMore), 9u);
}

TEST(ControlProtocol, BrokenRepliesAreRefused) {
  Bytes reply = EncodeControlReply(ControlReply{1, 0, {5, 6}});
  std::string reason;
  Bytes shortened(reply.begin(), reply.end() - 1);
  EXPECT_FALSE(ParseControlReply(shortened, &reason));
  EXPECT_EQ(reason, "information differs from the bytes sent");
  EXPECT_FALSE(ParseControlReply(Bytes(15), &reason));
  EXPECT_EQ(reason, "shorter than the header");
  reply[0] = 0;
  EXPECT_FALSE(ParseControlReply(reply, &reason));
  EXPECT_EQ(reason, "bad magic");
}

}  // namespace
}  // namespace ndis
