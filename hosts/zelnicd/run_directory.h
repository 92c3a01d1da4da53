#pragma once
// Where zelnicd lives while it runs: the run directory (its control-device sockets) and the
// lock that keeps a second zelnicd off the same directory.
#include <optional>
#include <string>

namespace zelnicd {

struct RunDirChoice {
  std::string path;
  std::string why;  // said at start when the directory is not the one asked for or the default
};

// ZELNIC_RUN_DIR; else, for a user other than root with XDG_RUNTIME_DIR, $XDG_RUNTIME_DIR/zelnic
// (/run is root's); else /run/zelnic.
RunDirChoice ChooseRunDir();

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
