#pragma once
// A zelnicd started as its own process in a temporary run directory, for tests that reach
// it the way the utility does: through the control device's socket.
#include <sys/types.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace zelnicd::testing {

class ZelnicdProcess {
public:
  // Starts zelnicd (the build's program) with ZELNIC_RUN_DIR in a new temporary directory,
  // with these options (say, --world FILE).
  explicit ZelnicdProcess(std::vector<std::string> arguments = {});
  // The same, inside the network namespace of the descriptor (its access points reach the
  // namespace's loopback).
  ZelnicdProcess(std::vector<std::string> arguments, int networkNamespace);
  // Another zelnicd on the same run directory.
  explicit ZelnicdProcess(const ZelnicdProcess& sameRunDir);
  ~ZelnicdProcess();  // SIGKILL when still running; the directory is removed by its owner

  // Waits (bounded) until the device socket exists.
  bool waitForDevice(std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;
  // Sends the signal and waits (bounded) for the exit; the exit status, -1 when it did not end.
  int stop(int signal, std::chrono::milliseconds timeout = std::chrono::seconds(20));
  int waitForExit(std::chrono::milliseconds timeout);
  std::string output() const;  // what it printed
  // Waits (bounded) until it has printed `text`.
  bool waitForOutput(const std::string& text, std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;
  pid_t pid() const { return pid_; }
  std::string runDir() const { return runDir_; }
  std::string registryRoot() const { return root_ + "/registry"; }
  std::string devicePath(int slot = 0) const { return runDir_ + "/HlvnDev" + std::to_string(slot); }

private:
  void spawn();
  std::string root_;  // the temporary directory (owned when non-empty)
  std::string runDir_;
  std::string outputFile_;
  std::vector<std::string> arguments_;
  int networkNamespace_ = -1;
  pid_t pid_ = -1;
  bool ownsRoot_ = false;
};

}  // namespace zelnicd::testing
