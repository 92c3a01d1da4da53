#pragma once
// The lock that keeps a second zelnicd off a run directory (the directory itself is
// ndis::ChooseControlRunDir's).
#include <optional>
#include <string>

namespace zelnicd {

// Ends the message of a run directory that cannot be used: what to do about it (/run is root's).
inline constexpr char kRunDirHint[] =
    "; set ZELNIC_RUN_DIR to a directory you may write (and give the utility the same), or run as root";

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
