#include "platform/gui/desktop/device_node_watcher.h"

#include <QSocketNotifier>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zfw {
namespace {

constexpr uint32_t kDirectoryEvents =
    IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

bool isDirectory(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool exists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

std::string parentOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

struct DeviceNodeWatcher::Impl {
  IDeviceWatcher& target;
  std::string node;       // the node's path
  std::string directory;  // where it lies
  std::string name;       // its file name there
  std::string interface;  // the device-interface name raised
  int fd = -1;
  int watch = -1;
  std::string watched;  // the directory under watch: `directory` or its nearest existing parent
  bool present = false;
  std::unique_ptr<QSocketNotifier> notifier;

  Impl(IDeviceWatcher& t, std::string path, const std::string& hardwareId)
      : target(t), node(std::move(path)), directory(parentOf(node)), name(node.substr(node.rfind('/') + 1)),
        interface(NetlinkDeviceWatcher::interfaceName(hardwareId, name)) {}

  // Watches the run directory, or the nearest parent that exists until it is made.
  void arm() {
    std::string nearest = directory;
    while (!isDirectory(nearest) && nearest != "/" && nearest != ".") nearest = parentOf(nearest);
    if (nearest == watched && watch >= 0) return;
    if (watch >= 0) inotify_rm_watch(fd, watch);
    watch = inotify_add_watch(fd, nearest.c_str(), kDirectoryEvents);
    watched = watch >= 0 ? nearest : std::string();
  }

  void raise(uint32_t event) {
    target.raise(DeviceChange{event, DBT_DEVTYP_DEVICEINTERFACE, interface, 0});
    target.raise(DeviceChange{DBT_DEVNODES_CHANGED, 0, {}, 0});
  }

  void onEvents() {
    bool replaced = false;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
      const ssize_t n = read(fd, buffer, sizeof buffer);
      if (n <= 0) break;
      for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        if (event->wd == watch && (event->mask & IN_IGNORED)) watch = -1;  // the directory went
        const bool ours = event->wd == watch && watched == directory && event->len > 0 && name == event->name;
        if (ours && (event->mask & (IN_CREATE | IN_MOVED_TO)) && present) replaced = true;
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
    arm();  // the directory may have been made, or removed
    const bool now = exists(node);
    if (replaced && now) {
      raise(DBT_DEVICEREMOVECOMPLETE);
      raise(DBT_DEVICEARRIVAL);
    } else if (now != present) {
      raise(now ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE);
    }
    present = now;
  }
};

DeviceNodeWatcher::DeviceNodeWatcher(IDeviceWatcher& target, std::string nodePath, std::string hardwareId)
    : d_(std::make_unique<Impl>(target, std::move(nodePath), hardwareId)) {}

DeviceNodeWatcher::~DeviceNodeWatcher() { stop(); }

const std::string& DeviceNodeWatcher::interfaceName() const { return d_->interface; }

bool DeviceNodeWatcher::start() {
  stop();
  d_->fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (d_->fd < 0) return false;
  d_->arm();
  // A node there already was there before: its adapter is found when the utility opens one.
  d_->present = exists(d_->node);
  d_->notifier = std::make_unique<QSocketNotifier>(d_->fd, QSocketNotifier::Read);
  QObject::connect(d_->notifier.get(), &QSocketNotifier::activated, d_->notifier.get(), [this] { d_->onEvents(); });
  return true;
}

void DeviceNodeWatcher::stop() {
  d_->notifier.reset();
  if (d_->fd >= 0) close(d_->fd);
  d_->fd = -1;
  d_->watch = -1;
  d_->watched.clear();
}

}  // namespace zfw
