#include "tests/peers/child_process.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <utility>

namespace peers {

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)), status_(other.status_) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  if (this != &other) {
    Stop();
    pid_ = std::exchange(other.pid_, -1);
    status_ = other.status_;
  }
  return *this;
}

bool ChildProcess::Running() {
  if (pid_ < 0) return false;
  int status = 0;
  pid_t done = waitpid(pid_, &status, WNOHANG);
  if (done == 0) return true;
  status_ = done == pid_ ? status : -1;
  pid_ = -1;
  return false;
}

int ChildProcess::Stop(std::chrono::milliseconds grace) {
  if (!Running()) return status_;
  kill(pid_, SIGTERM);
  // Shutting a peer down is not a protocol timer: poll briefly for its exit.
  const auto deadline = std::chrono::steady_clock::now() + grace;
  while (std::chrono::steady_clock::now() < deadline) {
    if (!Running()) return status_;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  kill(pid_, SIGKILL);
  return Wait();
}

int ChildProcess::Wait() {
  if (pid_ < 0) return status_;
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  status_ = status;
  pid_ = -1;
  return status_;
}

std::string FindProgram(const std::string& name) {
  if (name.find('/') != std::string::npos) return access(name.c_str(), X_OK) == 0 ? name : "";
  std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
  path += ":/usr/local/sbin:/usr/sbin:/sbin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    std::string candidate = path.substr(start, end - start) + "/" + name;
    struct stat st {};
    if (end > start && stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
    start = end + 1;
  }
  return "";
}

ChildProcess Spawn(const std::vector<std::string>& argv, int outputFd, int netnsFd) {
  if (argv.empty()) throw std::runtime_error("Spawn: no program");
  const std::string program = FindProgram(argv[0]);
  if (program.empty()) throw std::runtime_error("program not found: " + argv[0]);
  // Everything the child needs is prepared here: between fork and exec only
  // async-signal-safe calls are allowed.
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const pid_t parent = getpid();

  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(125);
    if (netnsFd >= 0 && setns(netnsFd, CLONE_NEWNET) != 0) _exit(126);
    int out = outputFd >= 0 ? outputFd : open("/dev/null", O_WRONLY);
    int in = open("/dev/null", O_RDONLY);
    if (out < 0 || in < 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(out, 2);
    execv(program.c_str(), args.data());
    _exit(127);
  }
  return ChildProcess(pid);
}

int RunProgram(const std::vector<std::string>& argv, std::string* output, int netnsFd) {
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  ChildProcess child;
  try {
    child = Spawn(argv, pipeFds[1], netnsFd);
  } catch (...) {
    close(pipeFds[0]);
    close(pipeFds[1]);
    throw;
  }
  close(pipeFds[1]);
  std::string text;
  char buffer[4096];
  ssize_t n;
  while ((n = read(pipeFds[0], buffer, sizeof buffer)) != 0) {
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    text.append(buffer, static_cast<size_t>(n));
  }
  close(pipeFds[0]);
  const int status = child.Wait();
  if (output) *output = std::move(text);
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

}  // namespace peers
