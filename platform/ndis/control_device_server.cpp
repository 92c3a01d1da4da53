#include "platform/ndis/control_device_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "platform/ndis/adapter_runtime.h"
#include "platform/ndis/control_protocol.h"

namespace ndis {
namespace {

constexpr ULONG kRegisterEvent = 0x00122480;
constexpr ULONG kRegisterRemoveEvent = 0x00122500;
constexpr NTSTATUS kStatusInvalidParameter = NdisStatus(0xC000000D);
constexpr Micros kEndAllPoll{1000};

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

// One connection. The socket belongs to the reading thread; the handle, the events and
// their descriptors belong to the executor.
struct Connection {
  std::uint64_t id = 0;
  int fd = -1;
  std::u16string link;
  bool busy = false;     // a request (or the open) is with the executor: not read meanwhile
  bool ending = false;   // the close is with the executor
  std::optional<NdisHost::DeviceHandle> handle;
  std::map<std::uint32_t, HANDLE> events;  // the peer's first word -> event object
  std::vector<int> eventFds;
};

enum class WorkKind { Open, Request, Close, EndAll };

struct Work {
  WorkKind kind;
  std::shared_ptr<Connection> connection;
  ControlRequest request;
  int passedFd = -1;
};

}  // namespace

struct ControlDeviceServer::State : std::enable_shared_from_this<State> {
  NdisHost* host = nullptr;
  Scheduler* scheduler = nullptr;
  std::vector<int> listeners;
  std::vector<std::u16string> listenerLinks;
  std::vector<std::string> paths;
  int wake = -1;
  std::thread reader;

  std::mutex mutex;  // guards everything below
  bool stopping = false;
  bool endingAll = false;  // the adapter halts: nothing more is read, every connection ends
  std::map<std::uint64_t, std::shared_ptr<Connection>> connections;
  std::deque<Work> work;
  std::vector<std::uint64_t> finished;  // closes the executor has done: the reader closes the socket
  std::uint64_t nextId = 1;

  // Executor only.
  bool executing = false;
  // The events clients registered, by kind, and how often the driver had signalled those it
  // holds when the stop was asked.
  struct RegisteredEvents {
    std::set<HANDLE> handles;
    std::optional<ULONG> signalsAtStop;
  };
  RegisteredEvents removeEvents;
  RegisteredEvents ringEvents;

  void wakeReader() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(wake, &one, sizeof one);
  }

  void submit(Work item) {
    {
      std::lock_guard lock(mutex);
      work.push_back(std::move(item));
    }
    std::weak_ptr<State> weak = weak_from_this();
    scheduler->post(EventKind::Host, "control device", [weak] {
      if (auto self = weak.lock()) self->pump();
    });
  }

  // --- executor -------------------------------------------------------------------------------

  void pump() {
    if (executing) return;  // one request at a time; the running one pumps again when done
    Work item;
    {
      std::lock_guard lock(mutex);
      if (stopping || work.empty()) return;
      item = std::move(work.front());
      work.pop_front();
    }
    executing = true;
    std::shared_ptr<State> self = shared_from_this();
    auto connection = item.connection;
    switch (item.kind) {
      case WorkKind::Open:
        host->queueDeviceOpen(connection->link, [self, connection](std::optional<NdisHost::DeviceHandle> handle) {
          connection->handle = handle;
          // A refused open ends the connection: the peer reads the end of the stream.
          if (handle) self->idle(connection); else self->closeSocketLater(connection);
          self->next();
        });
        return;
      case WorkKind::Request:
        run(connection, std::move(item.request), item.passedFd);
        return;
      case WorkKind::EndAll:
        endAll(std::move(item));
        return;
      case WorkKind::Close:
        if (!connection->handle) {
          endConnection(connection);
          next();
          return;
        }
        host->queueDeviceRequest(*connection->handle, IRP_MJ_CLOSE, 0, {}, 0,
                                 [self, connection](NdisHost::DeviceReply) {
                                   self->endConnection(connection);
                                   self->next();
                                 });
        return;
    }
  }

  void next() {
    executing = false;
    std::weak_ptr<State> weak = weak_from_this();
    scheduler->post(EventKind::Host, "control device", [weak] {
      if (auto self = weak.lock()) self->pump();
    });
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
      if (signals) return *signals > events->signalsAtStop.value_or(0);
    }
    return true;
  }

  // Every connection ends once the clients have been told.
  void endAll(Work item) {
    for (RegisteredEvents* events : {&removeEvents, &ringEvents}) {
      if (!events->signalsAtStop) events->signalsAtStop = signalsOf(*events).value_or(0);
    }
    if (!clientsTold()) {
      {
        std::lock_guard lock(mutex);
        work.push_front(std::move(item));
      }
      executing = false;
      std::weak_ptr<State> weak = weak_from_this();
      scheduler->after(kEndAllPoll, EventKind::Host, "control device: wait for the removal notice", [weak] {
        if (auto self = weak.lock()) self->pump();
      });
      return;
    }
    {
      std::lock_guard lock(mutex);
      for (auto& [id, connection] : connections) {
        if (connection->ending) continue;
        connection->ending = true;
        work.push_back(Work{WorkKind::Close, connection, {}, -1});
      }
    }
    next();
  }

  // An event registration names its event by the peer's word; the driver sees our handle.
  void bindEvent(Connection& connection, ControlRequest& request, int passedFd) {
    if (request.input.size() < 4) {
      CloseFd(passedFd);
      return;
    }
    std::uint32_t token;
    std::memcpy(&token, request.input.data(), 4);
    if (passedFd >= 0) {
      HANDLE handle = host->createEvent();
      KEVENT* event = host->runtime().eventOf(handle);
      fcntl(passedFd, F_SETFL, fcntl(passedFd, F_GETFL) | O_NONBLOCK);
      event->NotifyFd = passedFd;
      connection.eventFds.push_back(passedFd);
      connection.events[token] = handle;
    }
    auto found = connection.events.find(token);
    if (found != connection.events.end()) {
      (request.code == kRegisterRemoveEvent ? removeEvents : ringEvents).handles.insert(found->second);
    }
    // Without an eventfd, now or before, the word names nothing: the driver's reference fails.
    const auto value = found == connection.events.end()
                           ? 0u
                           : static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(found->second));
    std::memcpy(request.input.data(), &value, 4);
  }

  void run(const std::shared_ptr<Connection>& connection, ControlRequest request, int passedFd) {
    if (request.code == kRegisterEvent || request.code == kRegisterRemoveEvent) {
      bindEvent(*connection, request, passedFd);
    } else {
      CloseFd(passedFd);  // only registrations carry an eventfd
    }
    if (!connection->handle) {
      reply(connection, ControlReply{request.id, static_cast<std::uint32_t>(STATUS_UNSUCCESSFUL), {}});
      next();
      return;
    }
    std::shared_ptr<State> self = shared_from_this();
    const std::uint32_t id = request.id;
    host->queueDeviceRequest(*connection->handle, IRP_MJ_DEVICE_CONTROL, request.code, std::move(request.input),
                             request.outputCapacity, [self, connection, id](NdisHost::DeviceReply answer) {
                               self->reply(connection, ControlReply{id, static_cast<std::uint32_t>(answer.status),
                                                                    std::move(answer.output)});
                               self->next();
                             });
  }

  bool endingAllConnections() {
    std::lock_guard lock(mutex);
    return endingAll;
  }

  // After the server stopped, a request the driver still completes must not reach a socket
  // (its number may belong to something else by then) or the host.
  bool stopped() {
    std::lock_guard lock(mutex);
    return stopping;
  }

  void reply(const std::shared_ptr<Connection>& connection, const ControlReply& answer) {
    if (stopped()) return;
    const std::vector<std::uint8_t> message = EncodeControlReply(answer);
    // The peer waits for this reply; one that cannot take it at once is gone or stuck.
    const ssize_t sent = send(connection->fd, message.data(), message.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent != static_cast<ssize_t>(message.size())) shutdown(connection->fd, SHUT_RDWR);
    idle(connection);
  }

  void idle(const std::shared_ptr<Connection>& connection) {
    {
      std::lock_guard lock(mutex);
      connection->busy = false;
    }
    wakeReader();
  }

  void endConnection(const std::shared_ptr<Connection>& connection) {
    if (stopped()) return;  // the destructor ended every connection
    // The driver may keep its reference to the event object; it no longer reaches the peer.
    for (auto& [token, handle] : connection->events) {
      if (KEVENT* event = host->runtime().eventOf(handle)) event->NotifyFd = -1;
    }
    for (int fd : connection->eventFds) CloseFd(fd);
    connection->eventFds.clear();
    connection->handle.reset();
    closeSocketLater(connection);
  }

  void closeSocketLater(const std::shared_ptr<Connection>& connection) {
    {
      std::lock_guard lock(mutex);
      finished.push_back(connection->id);
    }
    wakeReader();
  }

  // --- reader ---------------------------------------------------------------------------------

  void refuse(int fd, std::span<const std::uint8_t> message) {
    const std::vector<std::uint8_t> answer =
        EncodeControlReply(ControlReply{ControlRequestIdOf(message), static_cast<std::uint32_t>(kStatusInvalidParameter), {}});
    send(fd, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  }

  void receive(const std::shared_ptr<Connection>& connection, std::vector<std::uint8_t>& buffer) {
    iovec vector{buffer.data(), buffer.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * 4)];
    msghdr header{};
    header.msg_iov = &vector;
    header.msg_iovlen = 1;
    header.msg_control = control;
    header.msg_controllen = sizeof control;
    const ssize_t length = recvmsg(connection->fd, &header, MSG_CMSG_CLOEXEC | MSG_DONTWAIT);
    if (length < 0 && (errno == EAGAIN || errno == EINTR)) return;
    std::vector<int> fds;
    for (cmsghdr* c = CMSG_FIRSTHDR(&header); c != nullptr; c = CMSG_NXTHDR(&header, c)) {
      if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
      const std::size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
      for (std::size_t i = 0; i < count; ++i) {
        int fd;
        std::memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof fd);
        fds.push_back(fd);
      }
    }
    if (length <= 0) {  // the peer ended (or the socket failed): the handle closes
      for (int fd : fds) CloseFd(fd);
      beginClose(connection);
      return;
    }
    const std::span<const std::uint8_t> message(buffer.data(), static_cast<std::size_t>(length));
    std::string reason;
    std::optional<ControlRequest> request;
    if ((header.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) == 0 && fds.size() <= 1) {
      request = ParseControlRequest(message, &reason);
    }
    int passed = fds.empty() ? -1 : fds.front();
    if (!request || (passed >= 0 && !IsEventFd(passed))) {
      for (int fd : fds) CloseFd(fd);
      refuse(connection->fd, message);
      return;
    }
    {
      std::lock_guard lock(mutex);
      connection->busy = true;
    }
    submit(Work{WorkKind::Request, connection, std::move(*request), passed});
  }

  void beginClose(const std::shared_ptr<Connection>& connection) {
    {
      std::lock_guard lock(mutex);
      connection->ending = true;
    }
    submit(Work{WorkKind::Close, connection, {}, -1});
  }

  void accept(std::size_t listener) {
    const int fd = accept4(listeners[listener], nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) return;
    if (endingAllConnections()) {  // the adapter goes: the peer reads the end of the stream
      CloseFd(fd);
      return;
    }
    auto connection = std::make_shared<Connection>();
    connection->fd = fd;
    connection->link = listenerLinks[listener];
    connection->busy = true;  // until the open is done
    {
      std::lock_guard lock(mutex);
      connection->id = nextId++;
      connections[connection->id] = connection;
    }
    submit(Work{WorkKind::Open, connection, {}, -1});
  }

  void readLoop() {
    std::vector<std::uint8_t> buffer(kControlMaxMessage + 1);
    for (;;) {
      std::vector<pollfd> polled{{wake, POLLIN, 0}};
      for (int fd : listeners) polled.push_back({fd, POLLIN, 0});
      std::vector<std::shared_ptr<Connection>> readable;
      {
        std::lock_guard lock(mutex);
        if (stopping) return;
        for (std::uint64_t id : finished) {
          auto found = connections.find(id);
          if (found == connections.end()) continue;
          CloseFd(found->second->fd);
          connections.erase(found);
        }
        finished.clear();
        for (auto& [id, connection] : connections) {
          if (endingAll || connection->busy || connection->ending) continue;
          readable.push_back(connection);
          polled.push_back({connection->fd, POLLIN, 0});
        }
      }
      if (poll(polled.data(), polled.size(), -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (polled[0].revents != 0) {
        std::uint64_t count;
        [[maybe_unused]] const ssize_t drained = read(wake, &count, sizeof count);
      }
      for (std::size_t i = 0; i < listeners.size(); ++i) {
        if (polled[1 + i].revents & POLLIN) accept(i);
      }
      for (std::size_t i = 0; i < readable.size(); ++i) {
        const short events = polled[1 + listeners.size() + i].revents;
        if (events & POLLIN) {
          receive(readable[i], buffer);
        } else if (events & (POLLHUP | POLLERR | POLLNVAL)) {
          beginClose(readable[i]);
        }
      }
    }
  }
};

ControlDeviceServer::ControlDeviceServer(std::shared_ptr<State> state) : state_(std::move(state)) {}

std::unique_ptr<ControlDeviceServer> ControlDeviceServer::start(NdisHost& host, Scheduler& scheduler,
                                                               const ControlServerOptions& options,
                                                               std::string* error) {
  auto state = std::make_shared<State>();
  std::unique_ptr<ControlDeviceServer> server(new ControlDeviceServer(state));
  state->host = &host;
  state->scheduler = &scheduler;
  state->wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  auto fail = [&](const std::string& what) -> std::unique_ptr<ControlDeviceServer> {
    if (error != nullptr) *error = what;
    return nullptr;
  };
  if (state->wake < 0) return fail(std::string("eventfd: ") + std::strerror(errno));
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
    state->listeners.push_back(fd);
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
    state->paths.push_back(path);
    state->listenerLinks.push_back(link);
  }
  state->reader = std::thread([state] { state->readLoop(); });
  return server;
}

ControlDeviceServer::~ControlDeviceServer() {
  {
    std::lock_guard lock(state_->mutex);
    state_->stopping = true;
  }
  if (state_->reader.joinable()) {
    state_->wakeReader();
    state_->reader.join();
  }
  for (auto& [id, connection] : state_->connections) {
    for (auto& [token, handle] : connection->events) {
      if (KEVENT* event = state_->host->runtime().eventOf(handle)) event->NotifyFd = -1;
    }
    for (int fd : connection->eventFds) CloseFd(fd);
    CloseFd(connection->fd);
  }
  state_->connections.clear();
  for (Work& item : state_->work) CloseFd(item.passedFd);
  state_->work.clear();
  for (int fd : state_->listeners) CloseFd(fd);
  for (const std::string& path : state_->paths) unlink(path.c_str());
  CloseFd(state_->wake);
}

void ControlDeviceServer::endConnectionsAtHalt() {
  {
    std::lock_guard lock(state_->mutex);
    if (state_->endingAll) return;
    state_->endingAll = true;
  }
  state_->wakeReader();
  state_->submit(Work{WorkKind::EndAll, nullptr, {}, -1});
}

const std::vector<std::string>& ControlDeviceServer::socketPaths() const { return state_->paths; }

}  // namespace ndis
