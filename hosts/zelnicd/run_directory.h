#pragma once
// The lock that keeps a second zelnicd off a run directory (the directory itself is
// ndis::ChooseControlRunDir's).
#include <optional>
#include <string>

namespace zelnicd {

// An exclusive lock on <dir>/zelnicd.lock, held while the object lives.
class RunDirLock {
public:
  // Null with `error` set when another process holds it or the file cannot be made.
  static std::optional<RunDirLock> take(const std::string& dir, std::string* error);
  RunDirLock(RunDirLock&& other) noexcept;
  RunDirLock& operator=(RunDirLock&&) = delete;
  ~RunDirLock();

private:
  explicit RunDirLock(int fd) : fd_(fd) {}
  int fd_ = -1;
};

}  // namespace zelnicd
