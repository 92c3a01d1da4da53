#pragma once
// Free and total space of the file system that holds a path.
#include <cstdint>

namespace plat {

struct DiskSpace {
  std::uint64_t freeBytesAvailableToCaller;  // what an unprivileged writer may still use
  std::uint64_t totalBytes;
  std::uint64_t totalFreeBytes;  // including the blocks reserved for the superuser
};

// A null path means the current directory. Returns false (and leaves out alone) when the
// file system cannot be queried.
bool GetDiskFreeSpace(const char* path, DiskSpace& out);

}  // namespace plat
