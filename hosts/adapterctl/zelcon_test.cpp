#include "hosts/adapterctl/zelcon.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/win32/test_temp_dir.h"

namespace {

// The process's library is made once, on first use, from the environment.
TEST(ZelconFunctions, SimBackendFromTheEnvironmentBehindTheHandleGuard) {
  plat::TestTempDir registry;
  ::setenv("ZELCON_ADAPTER", "sim", 1);
  ::setenv("ZELCON_REGISTRY_ROOT", registry.Path().c_str(), 1);

  void* handle = nullptr;
  ZelconOpenAdapter(handle);
  ASSERT_NE(handle, nullptr);
  uint32_t region = 0;
  EXPECT_EQ(ZelconQueryRegionCode(handle, region), 0);
  EXPECT_EQ(region, 0x10u);
  EXPECT_EQ(ZelconSetProfileInUse(handle, "Home", 4), 0);
  char path[400];
  ASSERT_EQ(ZelconQueryRegistryPath(handle, path, sizeof path), 0);
  char name[40];
  EXPECT_EQ(ZelconQueryRegistry(path, "ProfileInUse", name, sizeof name), 0);
  EXPECT_STREQ(name, "Home");
  EXPECT_EQ(ZelconSetRegistry(path, "ControlFlags", 0x8000), 0);
  uint32_t flags = 0;
  EXPECT_EQ(ZelconQueryRegistry(path, "controlflags", flags), 0);
  EXPECT_EQ(flags, 0x8000u);

  ZelconCloseAdapter(handle);
  EXPECT_NE(ZelconQueryRegionCode(handle, region), 0);
  EXPECT_NE(ZelconRadarDetected(nullptr), 0);
  EXPECT_EQ(ZelconGetConnectStatus(handle), 0);
}

}  // namespace

extern "C" const char ZelconLibraryVersion[];

namespace {

// The library names its version as "major.minor.patch" digits, as the About page parses it.
TEST(ZelconLibraryVersion, IsTheBuildsVersionNumbers) {
  const std::string version = ZelconLibraryVersion;
  ASSERT_FALSE(version.empty());
  int dots = 0;
  for (char c : version) {
    if (c == '.') {
      ++dots;
    } else {
      EXPECT_TRUE(c >= '0' && c <= '9') << version;
    }
  }
  EXPECT_GE(dots, 2) << version;
  EXPECT_NE(version, "0.0.0");  // the build defined it
}

}  // namespace
