#include "hosts/zelnicd/e2e/zelnicd_process.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#ifndef ZELNICD_PROGRAM
#error "ZELNICD_PROGRAM names the zelnicd program"
#endif

namespace zelnicd::testing {

ZelnicdProcess::ZelnicdProcess(std::vector<std::string> arguments) : ZelnicdProcess(std::move(arguments), -1) {}

ZelnicdProcess::ZelnicdProcess(std::vector<std::string> arguments, int networkNamespace)
    : arguments_(std::move(arguments)), networkNamespace_(networkNamespace) {
  char pattern[] = "/tmp/zelnicd-e2e-XXXXXX";
  root_ = mkdtemp(pattern);
  ownsRoot_ = true;
  runDir_ = root_ + "/run";
  outputFile_ = root_ + "/zelnicd.out";
  spawn();
}

ZelnicdProcess::ZelnicdProcess(const ZelnicdProcess& sameRunDir)
    : root_(sameRunDir.root_),
      runDir_(sameRunDir.runDir_),
      outputFile_(sameRunDir.root_ + "/second.out"),
      arguments_(sameRunDir.arguments_),
      networkNamespace_(sameRunDir.networkNamespace_) {
  spawn();
}

void ZelnicdProcess::spawn() {
  const std::string registry = registryRoot();
  std::vector<char*> argv{const_cast<char*>("zelnicd")};
  for (const std::string& argument : arguments_) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_ = fork();
  if (pid_ == 0) {
    const int out = open(outputFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, 1);
    dup2(out, 2);
    if (networkNamespace_ >= 0 && setns(networkNamespace_, CLONE_NEWNET) != 0) _exit(126);
    setenv("ZELNIC_RUN_DIR", runDir_.c_str(), 1);
    setenv("ZELCON_REGISTRY_ROOT", registry.c_str(), 1);
    execv(ZELNICD_PROGRAM, argv.data());
    _exit(127);
  }
}

ZelnicdProcess::~ZelnicdProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (ownsRoot_) std::filesystem::remove_all(root_);
}

bool ZelnicdProcess::waitForDevice(std::chrono::milliseconds timeout) const {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < end) {
    if (std::filesystem::exists(devicePath())) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

bool ZelnicdProcess::waitForOutput(const std::string& text, std::chrono::milliseconds timeout) const {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < end) {
    if (output().find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

int ZelnicdProcess::waitForExit(std::chrono::milliseconds timeout) {
  if (pid_ <= 0) return -1;
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < end) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return -1;
}

int ZelnicdProcess::stop(int signal, std::chrono::milliseconds timeout) {
  if (pid_ <= 0) return -1;
  kill(pid_, signal);
  return waitForExit(timeout);
}

std::string ZelnicdProcess::output() const {
  std::ifstream in(outputFile_);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace zelnicd::testing
