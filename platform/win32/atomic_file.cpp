#include "platform/win32/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/win32/refusal_trace.h"

namespace plat {
namespace {

class Fd {
public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  // close() reports late write errors (NFS, quotas), so it is checked where it matters.
  bool Close() {
    int fd = fd_;
    fd_ = -1;
    return fd < 0 || ::close(fd) == 0;
  }

private:
  int fd_;
};

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

std::optional<std::string> ReadWholeFile(const std::string& path, std::size_t maxBytes) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    if (errno != ENOENT) TraceRefusal(path + ": cannot be read: " + std::strerror(errno));
    return std::nullopt;
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  std::string bytes;
  char chunk[4096];
  for (;;) {
    ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) return bytes;
    if (bytes.size() + static_cast<size_t>(n) > maxBytes) {
      TraceRefusal(path + ": larger than " + std::to_string(maxBytes) + " bytes, not read");
      return std::nullopt;
    }
    bytes.append(chunk, static_cast<size_t>(n));
  }
}

bool MakeDirectories(const std::string& path, mode_t mode) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    std::string part = path.substr(0, slash);
    if (::mkdir(part.c_str(), mode) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) return true;
  }
}

std::string ResolveSymlinks(const std::string& path) {
  std::string current = path;
  for (int hops = 0; hops < 40; ++hops) {  // the kernel's own limit on a chain of links
    struct stat st {};
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    std::vector<char> target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4095) + 1);
    ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
    if (n <= 0 || static_cast<size_t>(n) >= target.size()) return current;
    std::string next(target.data(), static_cast<size_t>(n));
    current = next.front() == '/' ? next : DirectoryOf(current) + "/" + next;
  }
  return current;
}

bool WriteFileAtomically(const std::string& linkOrPath, std::string_view bytes, FileMode mode) {
  // Renaming over a link would replace the link; the file it leads to is what changes.
  const std::string path = ResolveSymlinks(linkOrPath);
  std::string pattern = path + ".XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  Fd fd(::mkstemp(name.data()));
  if (fd.get() < 0) return false;
  std::string tempPath(name.data());

  // mkstemp creates 0600, so a secret is never readable by others even for a moment.
  struct stat st {};
  mode_t bits = (mode.keepExisting && ::stat(path.c_str(), &st) == 0) ? (st.st_mode & 07777)
                                                                      : mode.bits;
  bool ok = ::fchmod(fd.get(), bits) == 0 && WriteAll(fd.get(), bytes) &&
            ::fsync(fd.get()) == 0 && fd.Close() && ::rename(tempPath.c_str(), path.c_str()) == 0;
  if (!ok) {
    ::unlink(tempPath.c_str());
    return false;
  }
  // Make the rename itself durable; a failure here no longer endangers the old contents.
  Fd dir(::open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());
  return true;
}

}  // namespace plat
