#include "platform/gui/desktop/file_util.h"

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace zfw {

bool writeFileAtomically(const std::string& path, const std::string& content) {
  std::string temp = path + ".XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) return false;
  size_t written = 0;
  while (written < content.size()) {
    const ssize_t n = write(fd, content.data() + written, content.size() - written);
    if (n <= 0) break;
    written += static_cast<size_t>(n);
  }
  const bool ok = written == content.size() && fsync(fd) == 0;
  close(fd);
  if (!ok || std::rename(temp.c_str(), path.c_str()) != 0) {
    unlink(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace zfw
