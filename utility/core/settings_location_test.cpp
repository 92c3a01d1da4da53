#include "utility/core/settings_location.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "platform/win32/atomic_file.h"
#include "platform/win32/test_other_user.h"
#include "platform/win32/test_temp_dir.h"

namespace zelcon {
namespace {

// XDG_CONFIG_HOME set for one test, the old value back afterwards.
class ConfigHome {
public:
  explicit ConfigHome(const std::string& path) {
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) saved_ = old;
    ::setenv("XDG_CONFIG_HOME", path.c_str(), 1);
  }
  ~ConfigHome() {
    if (saved_) {
      ::setenv("XDG_CONFIG_HOME", saved_->c_str(), 1);
    } else {
      ::unsetenv("XDG_CONFIG_HOME");
    }
  }

private:
  std::optional<std::string> saved_;
};

TEST(SettingsLocation, AWritableProgramFolderKeepsTheFiles) {
  plat::TestTempDir program;
  ConfigHome config(program.File("config"));
  EXPECT_EQ(SettingsDirectory(program.Path()), program.Path());
  EXPECT_FALSE(std::filesystem::exists(program.File("config")));
}

TEST(SettingsLocation, AReadOnlyInstallUsesTheUsersConfigFolderAndCarriesTheFilesOver) {
  plat::TestTempDir program, user;
  ASSERT_TRUE(plat::WriteFileAtomically(program.File("Data.cfg"), "profiles"));
  ASSERT_TRUE(plat::WriteFileAtomically(program.File("Zelcon.ini"), "[Advanced]\r\n"));
  ::chmod(program.Path().c_str(), 0555);  // root is not held back by this; nobody is
  const std::string expected = user.File("config/zelcon");
  ConfigHome config(user.File("config"));
  {
    plat::TestAsOtherUser nobody(user.Path());
    EXPECT_EQ(SettingsDirectory(program.Path()), expected);
    struct stat st {};
    ASSERT_EQ(::stat(expected.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat((expected + "/Data.cfg").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(plat::ReadWholeFile(expected + "/Data.cfg", 100), "profiles");
    EXPECT_EQ(plat::ReadWholeFile(expected + "/Zelcon.ini", 100), "[Advanced]\r\n");

    // Only the first time: what the user saved since stays.
    ASSERT_TRUE(plat::WriteFileAtomically(expected + "/Data.cfg", "saved since"));
    EXPECT_EQ(SettingsDirectory(program.Path()), expected);
    EXPECT_EQ(plat::ReadWholeFile(expected + "/Data.cfg", 100), "saved since");
  }
  ::chmod(program.Path().c_str(), 0700);
}

}  // namespace
}  // namespace zelcon
