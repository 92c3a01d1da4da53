#include "platform/win32/disk_space.h"

#include <sys/statvfs.h>

namespace plat {

bool GetDiskFreeSpace(const char* path, DiskSpace& out) {
  struct statvfs fs {};
  if (statvfs(path != nullptr ? path : ".", &fs) != 0) {
    return false;
  }
  const std::uint64_t unit = fs.f_frsize != 0 ? fs.f_frsize : fs.f_bsize;
  out.freeBytesAvailableToCaller = static_cast<std::uint64_t>(fs.f_bavail) * unit;
  out.totalBytes = static_cast<std::uint64_t>(fs.f_blocks) * unit;
  out.totalFreeBytes = static_cast<std::uint64_t>(fs.f_bfree) * unit;
  return true;
}

}  // namespace plat
