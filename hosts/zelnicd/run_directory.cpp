#include "hosts/zelnicd/run_directory.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace zelnicd {

std::optional<RunDirLock> RunDirLock::take(const std::string& dir, std::string* error) {
  const std::string path = dir + "/zelnicd.lock";
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    *error = "cannot make " + path + ": " + std::strerror(errno) + kRunDirHint;
    return std::nullopt;
  }
  // flock ends with the process, however it ends: a crashed zelnicd leaves no stale lock.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int cause = errno;
    close(fd);
    *error = cause == EWOULDBLOCK ? "another zelnicd already serves " + dir
                                  : "cannot lock " + path + ": " + std::strerror(cause) + kRunDirHint;
    return std::nullopt;
  }
  return RunDirLock(fd);
}

RunDirLock::RunDirLock(RunDirLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

RunDirLock::~RunDirLock() {
  if (fd_ >= 0) close(fd_);
}

}  // namespace zelnicd
