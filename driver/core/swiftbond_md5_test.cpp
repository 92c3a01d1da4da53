// The SwiftBond MD5 against the test suite of RFC 1321, fed whole and in uneven pieces.
#include "driver/core/swiftbond_md5.h"

#include <gtest/gtest.h>

#include <string>

#include "dcf1/src/crypto/crypto_test_support.h"

namespace zelnic::core {
namespace {

using crypto_test::Hex;

// The digest of `message` given to SbMd5Update `piece` bytes at a time (0: all at once).
std::string Md5(const std::string& message, std::size_t piece = 0) {
  SbMd5Context context;
  SbMd5Init(context);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(message.data());
  if (piece == 0) piece = message.size() + 1;
  for (std::size_t at = 0; at < message.size(); at += piece)
    SbMd5Update(context, bytes + at, std::min(piece, message.size() - at));
  std::uint8_t digest[16];
  SbMd5Final(digest, context);
  return Hex(digest, sizeof digest);
}

TEST(SwiftBondMd5, MatchesTheRfc1321TestSuiteWholeAndInPieces) {
  const struct {
    const char* message;
    const char* digest;
  } suite[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& c : suite) {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(Md5(c.message), c.digest);
    for (std::size_t piece : {1u, 7u, 63u, 64u}) EXPECT_EQ(Md5(c.message, piece), c.digest) << piece;
  }
}

TEST(SwiftBondMd5, FinalWipesTheContext) {
  SbMd5Context context;
  SbMd5Init(context);
  const std::uint8_t secret[5] = {'s', 'e', 'c', 'r', 't'};
  SbMd5Update(context, secret, sizeof secret);
  std::uint8_t digest[16];
  SbMd5Final(digest, context);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&context);
  EXPECT_TRUE(std::all_of(bytes, bytes + sizeof context, [](std::uint8_t b) { return b == 0; }));
}

}  // namespace
}  // namespace zelnic::core
