#include "platform/ndis/control_device_server.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <set>

#include "platform/ndis/adapter_runtime.h"
#include "platform/ndis/control_protocol.h"
#include "platform/ndis/wiped_bytes.h"

namespace ndis {
namespace {

constexpr ULONG kRegisterEvent = 0x00122480;
constexpr ULONG kRegisterRemoveEvent = 0x00122500;
constexpr NTSTATUS kStatusInvalidParameter = NdisStatus(0xC000000D);
constexpr Micros kEndAllPoll{1000};
// How long a listener rests after an accept found no descriptor free (unless a connection
// ends first and frees some).
constexpr Micros kAcceptRest{100'000};

void CloseFd(int fd) {
  if (fd >= 0) ::close(fd);
}

bool IsEventFd(int fd) {
  char target[64] = {};
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
  return length > 0 && std::string_view(target, static_cast<std::size_t>(length)) == "anon_inode:[eventfd]";
}

std::optional<std::string> AsciiName(const std::u16string& link) {
  const auto slash = link.rfind(u'\\');
  const std::u16string last = slash == std::u16string::npos ? link : link.substr(slash + 1);
  std::string name;
  for (char16_t c : last) {
    const bool plain = (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_';
    if (!plain) return std::nullopt;
    name.push_back(static_cast<char>(c));
  }
  if (name.empty()) return std::nullopt;
  return name;
}

// The event a connection registered for one of the two registration codes, with the eventfd
// that stands for it; a new registration of the same code replaces it.
struct BoundEvent {
  std::uint32_t token = 0;  // the peer's first word
  HANDLE handle = nullptr;
  int fd = -1;
};

bool IsRegistration(ULONG code) { return code == kRegisterEvent || code == kRegisterRemoveEvent; }
std::size_t KindOf(ULONG code) { return code == kRegisterRemoveEvent ? 1 : 0; }

// One connection; everything of it belongs to the executor.
struct Connection {
  int fd = -1;
  std::u16string link;
  Scheduler::WatchId watch;
  bool opened = false;    // the open has run (a refused one ends the connection)
  bool readable = true;   // a message (or the end) may wait: read until EAGAIN
  bool queued = false;    // in the server's queue of work
  std::optional<NdisHost::DeviceHandle> handle;
  // By registration code: at most one event each, so no client holds more than two.
  std::array<std::optional<BoundEvent>, 2> events;
};

}  // namespace

struct ControlDeviceServer::State {
  NdisHost* host = nullptr;
  Scheduler* scheduler = nullptr;
  std::vector<int> listeners;
  std::vector<std::u16string> listenerLinks;
  std::vector<Scheduler::WatchId> listenerWatches;  // none while the listener rests
  std::vector<EventId> listenerRests;               // the end of each listener's rest
  std::vector<std::string> paths;
  std::map<Connection*, std::unique_ptr<Connection>> connections;
  // Connections with something to do, in the order it came; one request runs at a time.
  std::deque<Connection*> work;
  bool executing = false;
  std::vector<std::uint8_t> message = std::vector<std::uint8_t>(kControlMaxMessage + 1);

  // The adapter halts: nothing more is read, a new connection ends at once, and every
  // connection ends once the driver has told its clients (endConnectionsAtHalt).
  bool endingAll = false;
  // The events clients registered, by kind, and how often the driver had signalled those it
  // holds when the stop was asked.
  struct RegisteredEvents {
    std::set<HANDLE> handles;
    ULONG signalsAtStop = 0;
  };
  RegisteredEvents removeEvents;
  RegisteredEvents ringEvents;
  EventId endAllCheck;  // the next look, cancelled with the server

  void enqueue(Connection& connection) {
    if (connection.queued) return;
    connection.queued = true;
    work.push_back(&connection);
  }

  // Runs the queued work unless a request runs already (this is then nested in its wait,
  // and the running one's loop takes the work when it is done).
  void pump() {
    if (executing) return;
    executing = true;
    while (!work.empty()) {
      Connection* connection = work.front();
      work.pop_front();
      connection->queued = false;
      step(*connection);
    }
    executing = false;
  }

  void accept(std::size_t listener) {
    for (;;) {
      const int fd = accept4(listeners[listener], nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
      if (fd < 0) {
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) rest(listener);
        break;
      }
      if (endingAll) {  // the adapter goes: the peer reads the end of the stream
        CloseFd(fd);
        continue;
      }
      auto owned = std::make_unique<Connection>();
      Connection& connection = *owned;
      connection.fd = fd;
      connection.link = listenerLinks[listener];
      connection.watch = scheduler->watch(fd, EventKind::Host, "control device", [this, &connection] {
        connection.readable = true;
        enqueue(connection);
        pump();
      });
      connections.emplace(&connection, std::move(owned));
      enqueue(connection);  // its open
    }
    pump();
  }

  Scheduler::WatchId watchListener(std::size_t listener) {
    return scheduler->watch(listeners[listener], EventKind::Host, "control device",
                            [this, listener] { accept(listener); });
  }

  // No descriptor is free for the connection waiting to be accepted: the listener is not
  // watched for a while (or until a connection ends), so the executor neither spins on it
  // nor stops serving the connections it has.
  void rest(std::size_t listener) {
    if (!listenerWatches[listener]) return;  // resting already
    scheduler->unwatch(listenerWatches[listener]);
    listenerWatches[listener] = {};
    acceptAgainAfter(listener, kAcceptRest);
  }

  void acceptAgainAfter(std::size_t listener, Micros delay) {
    listenerRests[listener] = scheduler->after(delay, EventKind::Host, "control device: accept again",
                                               [this, listener] { acceptAgain(listener); });
  }

  void acceptAgain(std::size_t listener) {
    listenerWatches[listener] = watchListener(listener);
    if (!listenerWatches[listener]) return acceptAgainAfter(listener, kAcceptRest);
    accept(listener);
  }

  // A connection ended and freed its descriptors: resting listeners accept again now.
  void endRests() {
    for (std::size_t i = 0; i < listenerRests.size(); ++i) {
      if (scheduler->cancel(listenerRests[i])) acceptAgainAfter(i, Micros(0));
    }
  }

  // One thing a connection waits for: its open, or its next message.
  void step(Connection& connection) {
    if (endingAll) return;  // it ends with the others
    if (!connection.opened) {
      connection.opened = true;
      connection.handle = host->openDeviceHere(connection.link);
      // A refused open ends the connection: the peer reads the end of the stream.
      if (!connection.handle) {
        drop(connection);
        return;
      }
    }
    if (!connection.readable) return;
    int passed = -1;
    std::size_t fdsReceived = 0;
    bool truncated = false;
    const ssize_t length = receive(connection, passed, fdsReceived, truncated);
    if (length < 0) {  // nothing waits
      connection.readable = false;
      return;
    }
    if (length == 0) {  // the peer ended (or the socket failed): the handle closes
      CloseFd(passed);
      end(connection);
      return;
    }
    enqueue(connection);  // until a read finds nothing more
    const std::span<std::uint8_t> bytes(message.data(), static_cast<std::size_t>(length));
    std::optional<ControlRequest> request;
    if (!truncated && fdsReceived <= 1) request = ParseControlRequest(bytes, nullptr);
    if (!request || (passed >= 0 && !IsEventFd(passed))) {
      CloseFd(passed);
      const auto refusal = EncodeControlReplyHeader(ControlRequestIdOf(bytes),
                                                    static_cast<std::uint32_t>(kStatusInvalidParameter), 0);
      send(connection.fd, refusal.data(), refusal.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    } else {
      run(connection, *request, passed);
      WipeBytes(request->input);
    }
    WipeBytes(bytes);  // a set may have carried a key record
  }

  // One message into `message`: its length, 0 at the end of the stream, -1 when none waits.
  ssize_t receive(Connection& connection, int& passed, std::size_t& fdsReceived, bool& truncated) {
    iovec vector{message.data(), message.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * 4)];
    msghdr header{};
    header.msg_iov = &vector;
    header.msg_iovlen = 1;
    header.msg_control = control;
    header.msg_controllen = sizeof control;
    ssize_t length;
    do {
      length = recvmsg(connection.fd, &header, MSG_CMSG_CLOEXEC | MSG_DONTWAIT);
    } while (length < 0 && errno == EINTR);
    if (length < 0 && errno == EAGAIN) return -1;
    for (cmsghdr* c = CMSG_FIRSTHDR(&header); c != nullptr; c = CMSG_NXTHDR(&header, c)) {
      if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
      const std::size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
      for (std::size_t i = 0; i < count; ++i) {
        int fd;
        std::memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof fd);
        if (fdsReceived++ == 0) passed = fd; else CloseFd(fd);
      }
    }
    truncated = (header.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) != 0;
    return length < 0 ? 0 : length;
  }

  // An event registration names its event by the peer's word; the driver sees our handle. An
  // eventfd makes a new event that replaces the one this code registered before; without
  // one, the word names an event the connection holds (of this code first).
  void bindEvent(Connection& connection, ControlRequest& request, int passedFd) {
    if (request.input.size() < 4) {
      CloseFd(passedFd);
      return;
    }
    std::uint32_t token;
    std::memcpy(&token, request.input.data(), 4);
    const std::size_t kind = KindOf(request.code);
    if (passedFd >= 0) {
      if (connection.events[kind]) release(*connection.events[kind]);
      HANDLE handle = host->createEvent();
      KEVENT* event = host->runtime().eventOf(handle);
      fcntl(passedFd, F_SETFL, fcntl(passedFd, F_GETFL) | O_NONBLOCK);
      event->NotifyFd = passedFd;
      connection.events[kind] = BoundEvent{token, handle, passedFd};
    }
    const BoundEvent* named = nullptr;
    for (const std::size_t k : {kind, 1 - kind}) {
      if (named == nullptr && connection.events[k] && connection.events[k]->token == token) {
        named = &*connection.events[k];
      }
    }
    if (named != nullptr) (request.code == kRegisterRemoveEvent ? removeEvents : ringEvents).handles.insert(named->handle);
    // Without an eventfd, now or before, the word names nothing: the driver's reference fails.
    const auto value = named == nullptr ? 0u : static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(named->handle));
    std::memcpy(request.input.data(), &value, 4);
  }

  // The handle closes and the eventfd with it; the object lives on while the driver holds it.
  void release(const BoundEvent& bound) {
    removeEvents.handles.erase(bound.handle);
    ringEvents.handles.erase(bound.handle);
    host->runtime().closeEvent(bound.handle);
    CloseFd(bound.fd);
  }

  void run(Connection& connection, ControlRequest& request, int passedFd) {
    if (IsRegistration(request.code)) {
      bindEvent(connection, request, passedFd);
    } else {
      CloseFd(passedFd);  // only registrations carry an eventfd
    }
    if (!connection.handle) {
      reply(connection, request.id, STATUS_UNSUCCESSFUL, {});
      return;
    }
    const NdisHost::DeviceReply answer = host->deviceRequestHere(*connection.handle, IRP_MJ_DEVICE_CONTROL,
                                                                 request.code, request.input, request.outputCapacity);
    reply(connection, request.id, answer.status, answer.output);
  }

  void reply(Connection& connection, std::uint32_t id, NTSTATUS status, std::span<const std::uint8_t> output) {
    const auto header = EncodeControlReplyHeader(id, static_cast<std::uint32_t>(status),
                                                 static_cast<std::uint32_t>(output.size()));
    iovec pieces[2] = {{const_cast<std::uint8_t*>(header.data()), header.size()},
                       {const_cast<std::uint8_t*>(output.data()), output.size()}};
    msghdr message{};
    message.msg_iov = pieces;
    message.msg_iovlen = output.empty() ? 1 : 2;
    // The peer waits for this reply; one that cannot take it at once is gone or stuck.
    const ssize_t sent = sendmsg(connection.fd, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent != static_cast<ssize_t>(header.size() + output.size())) shutdown(connection.fd, SHUT_RDWR);
  }

  // How often the driver has signalled those of the events it holds; none when it holds none.
  std::optional<ULONG> signalsOf(const RegisteredEvents& events) {
    std::optional<ULONG> signals;
    for (HANDLE handle : events.handles) {
      const KEVENT* event = host->runtime().eventOf(handle);
      if (event != nullptr && event->References > 0) signals = signals.value_or(0) + event->SetCount;
    }
    return signals;
  }

  // The halting driver has told its clients the adapter goes, and waits for them: it signals
  // the remove event (set at the removal only), then posts the removal to the event ring.
  // Without either held, nobody can be told: the halt running is enough.
  bool clientsTold() {
    if (!host->halting()) return false;
    for (const RegisteredEvents* events : {&removeEvents, &ringEvents}) {
      const std::optional<ULONG> signals = signalsOf(*events);
      if (signals) return *signals > events->signalsAtStop;
    }
    return true;
  }

  // Every connection ends once the clients have been told (and no request runs); until then
  // the executor looks again every kEndAllPoll.
  void endAllWhenTold() {
    if (executing || !clientsTold()) {
      endAllCheck = scheduler->after(kEndAllPoll, EventKind::Host, "control device: wait for the removal notice",
                                     [this] { endAllWhenTold(); });
      return;
    }
    while (!connections.empty()) end(*connections.begin()->second);
  }

  // The peer ended: the driver hears the close, the events no longer reach the peer.
  void end(Connection& connection) {
    if (connection.handle) host->deviceRequestHere(*connection.handle, IRP_MJ_CLOSE, 0, {}, 0);
    connection.handle.reset();
    drop(connection);
  }

  // Closes the socket and forgets the connection (the driver is not told).
  void drop(Connection& connection) {
    // The driver may keep its reference to the event object; it no longer reaches the peer.
    for (const std::optional<BoundEvent>& bound : connection.events) {
      if (bound) release(*bound);
    }
    scheduler->unwatch(connection.watch);
    CloseFd(connection.fd);
    if (connection.queued) std::erase(work, &connection);
    connections.erase(&connection);
    endRests();
  }
};

ControlDeviceServer::ControlDeviceServer(std::unique_ptr<State> state) : state_(std::move(state)) {}

std::unique_ptr<ControlDeviceServer> ControlDeviceServer::start(NdisHost& host, Scheduler& scheduler,
                                                               const ControlServerOptions& options,
                                                               std::string* error) {
  std::unique_ptr<ControlDeviceServer> server(new ControlDeviceServer(std::make_unique<State>()));
  State& state = *server->state_;
  state.host = &host;
  state.scheduler = &scheduler;
  auto fail = [&](const std::string& what) -> std::unique_ptr<ControlDeviceServer> {
    if (error != nullptr) *error = what;
    return nullptr;
  };
  for (const std::u16string& link : host.deviceLinks()) {
    const std::optional<std::string> name = AsciiName(link);
    if (!name) return fail("a device link is not a plain name");
    const std::string path = options.directory + "/" + *name;
    // Bound and listening under a passing name first, then renamed into place: a client that
    // finds the device's name always finds a socket that accepts.
    const std::string pending = path + ".pending";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (pending.size() >= sizeof address.sun_path) return fail(path + ": path too long for a socket");
    std::memcpy(address.sun_path, pending.c_str(), pending.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return fail(std::string("socket: ") + std::strerror(errno));
    state.listeners.push_back(fd);
    unlink(pending.c_str());  // a socket left by a process that ended (the run directory's lock says none runs)
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
      return fail(path + ": " + std::strerror(errno));
    }
    if (chmod(pending.c_str(), 0660) != 0 ||
        (options.group && chown(pending.c_str(), static_cast<uid_t>(-1), *options.group) != 0)) {
      unlink(pending.c_str());
      return fail(path + ": cannot set mode or group: " + std::strerror(errno));
    }
    if (listen(fd, 8) != 0 || rename(pending.c_str(), path.c_str()) != 0) {
      const std::string reason = std::strerror(errno);
      unlink(pending.c_str());
      return fail(path + ": " + reason);
    }
    state.paths.push_back(path);
    state.listenerLinks.push_back(link);
  }
  state.listenerRests.resize(state.listeners.size());
  for (std::size_t i = 0; i < state.listeners.size(); ++i) {
    const auto watch = state.watchListener(i);
    if (!watch) return fail(std::string("cannot watch the device's socket: ") + std::strerror(errno));
    state.listenerWatches.push_back(watch);
  }
  return server;
}

ControlDeviceServer::~ControlDeviceServer() {
  State& state = *state_;
  state.scheduler->cancel(state.endAllCheck);
  for (const auto watch : state.listenerWatches) {
    if (watch) state.scheduler->unwatch(watch);
  }
  while (!state.connections.empty()) state.drop(*state.connections.begin()->second);
  for (const EventId rest : state.listenerRests) state.scheduler->cancel(rest);
  for (int fd : state.listeners) CloseFd(fd);
  for (const std::string& path : state.paths) unlink(path.c_str());
}

void ControlDeviceServer::endConnectionsAtHalt() {
  State& state = *state_;
  if (state.endingAll) return;
  state.endingAll = true;
  for (State::RegisteredEvents* events : {&state.removeEvents, &state.ringEvents}) {
    events->signalsAtStop = state.signalsOf(*events).value_or(0);
  }
  state.endAllCheck = state.scheduler->after(Micros(0), EventKind::Host, "control device: wait for the removal notice",
                                             [&state] { state.endAllWhenTold(); });
}

const std::vector<std::string>& ControlDeviceServer::socketPaths() const { return state_->paths; }

}  // namespace ndis
