// zelnicd's --ap-tap value: the access point, the TAP, and optionally the namespace path.
#include "hosts/zelnicd/tap_serving.h"

#include <gtest/gtest.h>

namespace zelnicd {
namespace {

TEST(AccessPointTap, ValueNamesTheAccessPointTheTapAndMaybeTheNamespace) {
  const auto plain = ParseAccessPointTap("guest:zt1");
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->accessPoint, "guest");
  EXPECT_EQ(plain->tap, "zt1");
  EXPECT_EQ(plain->netnsPath, "");
  const auto inside = ParseAccessPointTap("guest:zt1:/proc/42/ns/net");
  ASSERT_TRUE(inside);
  EXPECT_EQ(inside->netnsPath, "/proc/42/ns/net");
  for (const char* bad : {"", "guest", ":zt1", "guest:", "guest::/proc/1/ns/net", "guest:zt1:"}) {
    EXPECT_FALSE(ParseAccessPointTap(bad)) << bad;
  }
}

}  // namespace
}  // namespace zelnicd
