// The zelcon program on the simulated adapter, without a display: it starts, answers the
// message box that says the hot key cannot be had there (no X11 display), goes on to its
// window, keeps to one instance, writes its settings, and saves its profiles when the
// session ends. And without ZELCON_ADAPTER, on the adapter a running zelnicd serves.
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/win32/atomic_file.h"
#include "hosts/zelnicd/e2e/zelnicd_process.h"
#include "platform/win32/ini_file.h"
#include "platform/win32/test_temp_dir.h"

namespace {

// A child process with a deadline for its end.
class Program {
public:
  explicit Program(const std::vector<std::string>& environment) {
    std::vector<char*> env;
    for (const std::string& e : environment) env.push_back(const_cast<char*>(e.c_str()));
    env.push_back(nullptr);
    char* argv[] = {const_cast<char*>(ZELCON_PROGRAM), nullptr};
    if (posix_spawn(&pid_, ZELCON_PROGRAM, nullptr, nullptr, argv, env.data()) != 0) pid_ = -1;
  }
  ~Program() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  bool Started() const { return pid_ > 0; }
  void Signal(int sig) const { kill(pid_, sig); }
  // The exit status, or -1 when it has not ended within `ms` (or ended by a signal).
  int Wait(int ms) {
    const int fd = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
    if (fd < 0) return -1;
    pollfd p{fd, POLLIN, 0};
    const bool ended = poll(&p, 1, ms) == 1;
    close(fd);
    if (!ended) return -1;
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

private:
  pid_t pid_ = -1;
};

// Waits (at most `ms` between two changes) until `done` holds, looking again each time a
// file is created in `directory` or renamed into it (files there are replaced atomically).
template <class Done>
bool WaitForDirectory(const std::string& directory, int ms, Done done) {
  const int fd = inotify_init1(IN_CLOEXEC);
  if (fd < 0) return false;
  inotify_add_watch(fd, directory.c_str(), IN_CREATE | IN_MOVED_TO);
  bool found = done();
  pollfd p{fd, POLLIN, 0};
  while (!found && poll(&p, 1, ms) == 1) {
    alignas(inotify_event) char buffer[4096];
    if (read(fd, buffer, sizeof buffer) <= 0) break;
    found = done();
  }
  close(fd);
  return found;
}

// What the program takes from the test's own environment (tools, sanitizers, fonts).
void KeepFromOurs(std::vector<std::string>& environment) {
  for (const char* kept : {"PATH", "ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "FONTCONFIG_FILE"}) {
    if (const char* value = getenv(kept)) environment.push_back(std::string(kept) + "=" + value);
  }
}

TEST(ZelconProgram, RunsOnTheSimulatedAdapterKeepsToOneInstanceAndSavesAtTheSessionEnd) {
  plat::TestTempDir home, runtime, registry;
  std::filesystem::permissions(runtime.Path(), std::filesystem::perms::owner_all);
  std::vector<std::string> environment = {
      "QT_QPA_PLATFORM=offscreen",
      std::string("ZELCON_ADAPTER=sim:") + ZL_SOURCE_DIR + "/hosts/adapterctl/sim/office.scenario",
      "ZELCON_HOME=" + home.Path(),
      "XDG_RUNTIME_DIR=" + runtime.Path(),
      "ZELCON_REGISTRY_ROOT=" + registry.Path(),
      "HOME=" + home.Path(),
      "ZELCON_MESSAGE_BOX_LOG=" + home.File("boxes.log"),
  };
  KeepFromOurs(environment);

  Program first(environment);
  ASSERT_TRUE(first.Started());
  // The adapter's first open writes the channels of its region.
  plat::IniFile ini(home.File("Zelcon.ini"));
  ASSERT_TRUE(WaitForDirectory(home.Path(), 30000,
                               [&] { return ini.ReadInt("Advanced", "LastChan", 0) != 0; }));
  EXPECT_EQ(ini.ReadInt("Advanced", "FirstChan", 0), 1);
  EXPECT_EQ(ini.ReadInt("Advanced", "LastChan", 0), 11);
  // The box comes after the window was made and before it is shown; once answered, the
  // program goes on (it would otherwise sit in it until the session end).
  ASSERT_TRUE(WaitForDirectory(home.Path(), 30000,
                               [&] { return std::filesystem::exists(home.File("boxes.log")); }));

  Program second(environment);
  ASSERT_TRUE(second.Started());
  EXPECT_EQ(second.Wait(30000), 0);

  first.Signal(SIGTERM);
  EXPECT_EQ(first.Wait(30000), 0);
  EXPECT_TRUE(std::filesystem::exists(home.File("Data.cfg")));
  EXPECT_EQ(plat::ReadWholeFile(home.File("boxes.log"), 4096),
            "Cannot create hotkey for Radio On/Off!!\n");
}

// The program's environment on the adapter that `zelnicd` serves (or will serve), without
// ZELCON_ADAPTER.
std::vector<std::string> OnZelnicd(const zelnicd::testing::ZelnicdProcess& zelnicd, const plat::TestTempDir& home,
                                   const plat::TestTempDir& runtime) {
  std::filesystem::permissions(runtime.Path(), std::filesystem::perms::owner_all);
  std::vector<std::string> environment = {
      "QT_QPA_PLATFORM=offscreen",
      "ZELNIC_RUN_DIR=" + zelnicd.runDir(),
      "ZELCON_HOME=" + home.Path(),
      "XDG_RUNTIME_DIR=" + runtime.Path(),
      "ZELCON_REGISTRY_ROOT=" + zelnicd.registryRoot(),
      "HOME=" + home.Path(),
  };
  KeepFromOurs(environment);
  return environment;
}

TEST(ZelconProgram, WithoutZelconAdapterFindsTheAdapterZelnicdServes) {
  zelnicd::testing::ZelnicdProcess zelnicd;
  ASSERT_TRUE(zelnicd.waitForDevice()) << zelnicd.output();
  plat::TestTempDir home, runtime;
  Program zelcon(OnZelnicd(zelnicd, home, runtime));
  ASSERT_TRUE(zelcon.Started());
  // The adapter's first open writes the channels of the driver's region (0x10: 1 to 11).
  plat::IniFile ini(home.File("Zelcon.ini"));
  ASSERT_TRUE(WaitForDirectory(home.Path(), 30000,
                               [&] { return ini.ReadInt("Advanced", "LastChan", 0) != 0; }))
      << zelnicd.output();
  EXPECT_EQ(ini.ReadInt("Advanced", "FirstChan", 0), 1);
  EXPECT_EQ(ini.ReadInt("Advanced", "LastChan", 0), 11);
  zelcon.Signal(SIGTERM);
  EXPECT_EQ(zelcon.Wait(30000), 0);
  EXPECT_EQ(zelnicd.stop(SIGTERM), 0) << zelnicd.output();  // the utility closed: a prompt halt
}

// Started before zelnicd (the order of a log-in): the program finds the adapter once zelnicd's
// control device appears, as it would an adapter plugged in.
TEST(ZelconProgram, FindsTheAdapterOfAZelnicdStartedAfterIt) {
  zelnicd::testing::ZelnicdProcess earlier;  // its run only leaves the run directory behind
  ASSERT_TRUE(earlier.waitForDevice()) << earlier.output();
  ASSERT_EQ(earlier.stop(SIGTERM), 0) << earlier.output();
  plat::TestTempDir home, runtime;
  std::vector<std::string> environment = OnZelnicd(earlier, home, runtime);
  environment.push_back("ZELCON_MESSAGE_BOX_LOG=" + home.File("boxes.log"));
  Program zelcon(environment);
  ASSERT_TRUE(zelcon.Started());
  // Up (its start-up box answered), without an adapter: the region's channels are not written.
  ASSERT_TRUE(WaitForDirectory(home.Path(), 30000,
                               [&] { return std::filesystem::exists(home.File("boxes.log")); }));
  plat::IniFile ini(home.File("Zelcon.ini"));
  EXPECT_EQ(ini.ReadInt("Advanced", "LastChan", 0), 0);

  zelnicd::testing::ZelnicdProcess later(earlier);
  ASSERT_TRUE(WaitForDirectory(home.Path(), 30000,
                               [&] { return ini.ReadInt("Advanced", "LastChan", 0) != 0; }))
      << later.output();
  EXPECT_EQ(ini.ReadInt("Advanced", "LastChan", 0), 11);
  zelcon.Signal(SIGTERM);
  EXPECT_EQ(zelcon.Wait(30000), 0);
  EXPECT_EQ(later.stop(SIGTERM), 0) << later.output();
}

}  // namespace
