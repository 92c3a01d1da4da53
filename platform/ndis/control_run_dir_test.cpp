// Where the driver host serves its devices, from the environment.
#include "platform/ndis/control_run_dir.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace ndis {
namespace {

// Sets or clears one variable for the life of the object.
class ScopedEnv {
public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value != nullptr) setenv(name, value, 1); else unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_) setenv(name_, old_->c_str(), 1); else unsetenv(name_);
  }

private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(ControlRunDir, TheVariableThenTheUsersRuntimeDirectoryThenRun) {
  {
    ScopedEnv dir("ZELNIC_RUN_DIR", "/tmp/somewhere");
    ScopedEnv runtime("XDG_RUNTIME_DIR", "/run/user/1000");
    EXPECT_EQ(ChooseControlRunDir().path, "/tmp/somewhere");
    EXPECT_TRUE(ChooseControlRunDir().why.empty());
  }
  {
    ScopedEnv dir("ZELNIC_RUN_DIR", "");
    ScopedEnv runtime("XDG_RUNTIME_DIR", "/run/user/1000");
    const ControlRunDir chosen = ChooseControlRunDir();
    if (geteuid() == 0) {
      EXPECT_EQ(chosen.path, "/run/zelnic");  // root keeps the system's directory
    } else {
      EXPECT_EQ(chosen.path, "/run/user/1000/zelnic");
      EXPECT_FALSE(chosen.why.empty());  // and says so
    }
  }
  {
    ScopedEnv dir("ZELNIC_RUN_DIR", nullptr);
    ScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
    EXPECT_EQ(ChooseControlRunDir().path, "/run/zelnic");
  }
}

}  // namespace
}  // namespace ndis
