#include "platform/win32/uuid.h"

#include <sys/random.h>

#include <cerrno>
#include <cstring>

namespace plat {

bool GetStrongRandom(void* buffer, std::size_t length) {
  auto* cursor = static_cast<std::uint8_t*>(buffer);
  while (length > 0) {
    const ssize_t got = getrandom(cursor, length, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    cursor += got;
    length -= static_cast<std::size_t>(got);
  }
  return true;
}

bool UuidCreate(Guid& out) {
  Guid g;
  if (!GetStrongRandom(&g, sizeof g)) {
    return false;
  }
  g.data3 = static_cast<std::uint16_t>((g.data3 & 0x0FFFu) | 0x4000u);
  g.data4[0] = static_cast<std::uint8_t>((g.data4[0] & 0x3Fu) | 0x80u);
  out = g;
  return true;
}

}  // namespace plat
