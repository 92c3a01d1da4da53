#include "hosts/adapterctl/adapter_control_base.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/win32/test_temp_dir.h"

namespace zelcon {
namespace {

// A caller that rewrites a registry value from what it read must tell "the value does not
// exist" (start from zero) from "the value could not be read" (leave it alone).
TEST(AdapterControlBase, RegistryQueriesTellAnAbsentValueFromAFailedRead) {
  plat::TestTempDir root;
  Notifier notifier;
  plat::RegistryStore store(root.Path());
  AdapterControlBase lib(notifier, store);
  ASSERT_TRUE(store.SetDword("Key\\A", "Flags", 7));
  ASSERT_TRUE(store.SetString("Key\\A", "Name", "text"));
  std::filesystem::create_directories(store.KeyFilePath("Key\\Broken"));  // unreadable key

  struct Case {
    const char* key;
    const char* value;
    int dwordResult;
    int textResult;
  };
  const Case cases[] = {
      {"Key\\A", "Flags", 0, 1},  // present (the text form refuses the other type)
      {"Key\\A", "Name", 1, 0},
      {"Key\\A", "Missing", kRegistryValueAbsent, kRegistryValueAbsent},
      {"Key\\Nowhere", "Flags", kRegistryValueAbsent, kRegistryValueAbsent},
      {"Key\\Broken", "Flags", 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.key) + " " + c.value);
    uint32_t dword = 0;
    char text[16] = {};
    EXPECT_EQ(lib.QueryRegistry(c.key, c.value, dword), c.dwordResult);
    EXPECT_EQ(lib.QueryRegistry(c.key, c.value, text, sizeof text), c.textResult);
  }
}

}  // namespace
}  // namespace zelcon
