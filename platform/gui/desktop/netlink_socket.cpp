#include "platform/gui/desktop/netlink_socket.h"

#include <cerrno>
#include <cstring>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace zfw {
namespace {

constexpr size_t kBufferSize = 64 * 1024;

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

bool dumpNetlink(uint16_t request, NetlinkBatch& out) {
  Fd fd(socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
  if (fd.get() < 0) return false;
  struct {
    nlmsghdr header;
    rtgenmsg body;
  } message = {};
  message.header.nlmsg_len = sizeof message;
  message.header.nlmsg_type = request;
  message.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
  message.header.nlmsg_seq = 1;
  message.body.rtgen_family = AF_UNSPEC;
  sockaddr_nl kernel = {};
  kernel.nl_family = AF_NETLINK;
  if (sendto(fd.get(), &message, sizeof message, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) < 0) {
    return false;
  }
  std::vector<uint8_t> buffer(kBufferSize);
  while (!out.done) {
    const ssize_t n = recv(fd.get(), buffer.data(), buffer.size(), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    if (!parseNetlink(buffer.data(), static_cast<size_t>(n), out) || out.error) return false;
  }
  return true;
}

int openNetlinkMonitor(uint32_t groups) {
  const int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
  if (fd < 0) return -1;
  sockaddr_nl local = {};
  local.nl_family = AF_NETLINK;
  local.nl_groups = groups;
  if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

bool readNetlink(int fd, NetlinkBatch& out) {
  std::vector<uint8_t> buffer(kBufferSize);
  bool any = false;
  for (;;) {
    const ssize_t n = recv(fd, buffer.data(), buffer.size(), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return any;  // EAGAIN: all read (ENOBUFS: overrun, the next read goes on)
    parseNetlink(buffer.data(), static_cast<size_t>(n), out);
    any = true;
  }
}

}  // namespace zfw
