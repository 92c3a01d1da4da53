// A program started by the peer harness, stopped by its pid when the object goes.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace peers {

class ChildProcess {
 public:
  ChildProcess() = default;
  explicit ChildProcess(pid_t pid) : pid_(pid) {}
  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&& other) noexcept;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess() { Stop(); }

  pid_t pid() const { return pid_; }
  // True while the process has not exited.
  bool Running();
  // SIGTERM, then SIGKILL when it has not exited within `grace`; returns the wait status
  // (-1 when there was no process).
  int Stop(std::chrono::milliseconds grace = std::chrono::milliseconds(2000));
  // Waits for the process to exit by itself; returns the wait status.
  int Wait();

 private:
  pid_t pid_ = -1;
  int status_ = -1;
};

// Full path of a program: PATH, then the system directories that a test's PATH may lack
// (hostapd lives in /usr/sbin). Empty when not found.
std::string FindProgram(const std::string& name);

// Starts argv[0] (a name looked up with FindProgram) with stdout and stderr going to
// `outputFd` (or /dev/null when -1), inside the network namespace `netnsFd` (or ours when
// -1). The child is killed when the thread that started it ends, so nothing outlives a
// crashed test. Throws std::runtime_error when the program cannot be found or started.
ChildProcess Spawn(const std::vector<std::string>& argv, int outputFd = -1, int netnsFd = -1);

// Runs a program to completion; returns its exit code (128 + signal when killed) and, when
// `output` is given, what it printed.
int RunProgram(const std::vector<std::string>& argv, std::string* output = nullptr,
               int netnsFd = -1);

}  // namespace peers
