#pragma once
// Serves an adapter's control devices to other processes: one AF_UNIX SOCK_SEQPACKET socket
// per registered device at <directory>/<link name> (\DosDevices\HlvnDev0 -> HlvnDev0).
// A connection is an open handle (IRP_MJ_CREATE on connect, IRP_MJ_CLOSE when it ends,
// however the peer ended); each message is one buffered I/O control (control_protocol.h).
// Requests run one at a time, at PASSIVE, as events of the adapter's executor. An eventfd
// sent with a request (SCM_RIGHTS) becomes an event object whose handle replaces the
// request's first word; the same first word later names the same event on that connection.
// A connection holds one event per registration code (a new one replaces the old), and what
// it holds goes when it ends. An accept without a free descriptor rests the listener a while.
//
// The executor watches the sockets itself (Scheduler::watch): a request is read, run in the
// driver and answered within one event, with no thread in between.
#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ndis/host.h"
#include "platform/ndis/scheduler.h"

namespace ndis {

struct ControlServerOptions {
  std::string directory;
  std::optional<gid_t> group;  // the sockets' group (mode 0660); the process's own when absent
};

class ControlDeviceServer {
public:
  // Call on the executor's thread once the adapter started, outside any event. Null with
  // `error` set when a socket could not be made.
  static std::unique_ptr<ControlDeviceServer> start(NdisHost& host, Scheduler& scheduler,
                                                    const ControlServerOptions& options, std::string* error);
  // Stops reading, closes every connection without telling the driver (call after halt, on
  // the executor's thread), and removes the sockets.
  ~ControlDeviceServer();
  // Ends every connection once the halting driver has told its clients the adapter goes
  // (call just before halting the adapter): it signalled a remove event a client registered
  // (else an event of the event ring; when it holds neither, its halt handler runs). Then
  // every handle closes, so a driver that waits for its clients to close does not wait. From
  // the call on no request is read, and a new connection ends at once.
  void endConnectionsAtHalt();
  ControlDeviceServer(const ControlDeviceServer&) = delete;
  ControlDeviceServer& operator=(const ControlDeviceServer&) = delete;

  const std::vector<std::string>& socketPaths() const;

  struct State;

private:
  explicit ControlDeviceServer(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace ndis
