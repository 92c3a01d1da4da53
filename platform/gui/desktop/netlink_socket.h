#pragma once
// rtnetlink sockets: a one-shot dump (links or addresses) and a monitor of link changes.
#include <cstdint>

#include "platform/gui/desktop/netlink_messages.h"

namespace zfw {

// Asks the kernel for every link (RTM_GETLINK) or address (RTM_GETADDR) and reads the
// whole answer. False when the socket fails or the answer is malformed.
bool dumpNetlink(uint16_t request, NetlinkBatch& out);

// A non-blocking socket that receives the multicast `groups` (RTMGRP_*); -1 on failure.
int openNetlinkMonitor(uint32_t groups);

// Reads what is waiting on a monitor socket; false when nothing could be read.
bool readNetlink(int fd, NetlinkBatch& out);

}  // namespace zfw
