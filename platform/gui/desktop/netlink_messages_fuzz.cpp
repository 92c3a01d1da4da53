// rtnetlink datagrams as the kernel would send them.
#include <cstddef>
#include <cstdint>

#include "platform/gui/desktop/netlink_messages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zfw::NetlinkBatch batch;
  zfw::parseNetlink(data, size, batch);
  return 0;
}
