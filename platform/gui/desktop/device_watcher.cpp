#include "platform/gui/desktop/device_watcher.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cstdio>
#include <fstream>
#include <linux/rtnetlink.h>
#include <map>
#include <unistd.h>

#include "platform/gui/cross_thread.h"
#include "platform/gui/desktop/netlink_socket.h"

namespace zfw {

// --- delivery ------------------------------------------------------------------------------

struct DeviceWatcherBase::Shared {
  std::function<void(const DeviceChange&)> callback;
};

DeviceWatcherBase::DeviceWatcherBase() : shared_(std::make_shared<Shared>()) {}
DeviceWatcherBase::~DeviceWatcherBase() = default;

void DeviceWatcherBase::setCallback(std::function<void(const DeviceChange&)> onChange) {
  shared_->callback = std::move(onChange);
}

void DeviceWatcherBase::raise(const DeviceChange& change) {
  if (isGuiThread()) {
    if (shared_->callback) {
      auto callback = shared_->callback;
      callback(change);
    }
    return;
  }
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return;
  std::weak_ptr<Shared> weak = shared_;
  QMetaObject::invokeMethod(
      app,
      [weak, change] {
        auto shared = weak.lock();
        if (shared && shared->callback) {
          auto callback = shared->callback;
          callback(change);
        }
      },
      Qt::QueuedConnection);
}

// --- rtnetlink ---------------------------------------------------------------------------------

namespace {

// A sysfs attribute holding one hexadecimal number ("0x1e4d"); false when absent or not that.
bool readHex(const std::string& path, unsigned& value) {
  std::ifstream in(path);
  std::string text;
  if (!in || !std::getline(in, text) || text.empty() || text.size() > 10) return false;
  size_t used = 0;
  try {
    value = static_cast<unsigned>(std::stoul(text, &used, 16));
  } catch (...) {
    return false;
  }
  return used == text.size() && value <= 0xFFFF;
}

}  // namespace

std::string NetlinkDeviceWatcher::hardwareId(const std::string& sysfsNet, const std::string& interface) {
  if (interface.empty() || interface.find('/') != std::string::npos || interface == "." || interface == "..") {
    return {};
  }
  const std::string device = sysfsNet + "/" + interface + "/device";
  char text[64];
  unsigned vendor, product, subVendor = 0, subDevice = 0;
  if (readHex(device + "/vendor", vendor) && readHex(device + "/device", product)) {
    readHex(device + "/subsystem_vendor", subVendor);
    readHex(device + "/subsystem_device", subDevice);
    std::snprintf(text, sizeof text, "PCI\\VEN_%04X&DEV_%04X&SUBSYS_%04X%04X", vendor, product, subDevice, subVendor);
    return text;
  }
  // A USB network device's "device" is its interface; the ids sit on the device above it.
  for (const std::string& dir : {device, device + "/.."}) {
    if (readHex(dir + "/idVendor", vendor) && readHex(dir + "/idProduct", product)) {
      std::snprintf(text, sizeof text, "USB\\VID_%04X&PID_%04X", vendor, product);
      return text;
    }
  }
  return {};
}

std::string NetlinkDeviceWatcher::interfaceName(const std::string& hardwareId, const std::string& interface) {
  std::string id = hardwareId.empty() ? "ROOT\\NET" : hardwareId;
  for (char& c : id) {
    if (c == '\\') c = '#';
  }
  return "\\\\?\\" + id + "#" + interface + "#{ad498944-762f-11d0-8dcb-00c04fc3358c}";
}

struct NetlinkDeviceWatcher::Impl {
  std::string sysfsNet;
  int fd = -1;
  std::unique_ptr<QSocketNotifier> notifier;
  std::map<int32_t, std::string> names;  // interface index -> device-interface name
};

NetlinkDeviceWatcher::NetlinkDeviceWatcher(std::string sysfsNet) : d_(std::make_unique<Impl>()) {
  d_->sysfsNet = std::move(sysfsNet);
}

NetlinkDeviceWatcher::~NetlinkDeviceWatcher() { stop(); }

bool NetlinkDeviceWatcher::start(std::function<void(const DeviceChange&)> onChange) {
  stop();
  d_->fd = openNetlinkMonitor(RTMGRP_LINK);
  if (d_->fd < 0) return false;
  // The links present now are no arrivals; remember them so their removal can be named.
  NetlinkBatch present;
  if (!dumpNetlink(RTM_GETLINK, present)) {
    stop();
    return false;
  }
  for (const LinkMessage& link : present.links) {
    d_->names[link.index] = interfaceName(hardwareId(d_->sysfsNet, link.name), link.name);
  }
  setCallback(std::move(onChange));
  d_->notifier = std::make_unique<QSocketNotifier>(d_->fd, QSocketNotifier::Read);
  QObject::connect(d_->notifier.get(), &QSocketNotifier::activated, d_->notifier.get(), [this] {
    NetlinkBatch batch;
    if (!readNetlink(d_->fd, batch)) return;
    for (const LinkMessage& link : batch.links) {
      auto known = d_->names.find(link.index);
      if (!link.removed && known == d_->names.end()) {
        const std::string name = interfaceName(hardwareId(d_->sysfsNet, link.name), link.name);
        d_->names[link.index] = name;
        raise(DeviceChange{DBT_DEVICEARRIVAL, DBT_DEVTYP_DEVICEINTERFACE, name, 0});
        raise(DeviceChange{DBT_DEVNODES_CHANGED, 0, {}, 0});
      } else if (link.removed && known != d_->names.end()) {
        const std::string name = known->second;
        d_->names.erase(known);
        raise(DeviceChange{DBT_DEVICEREMOVECOMPLETE, DBT_DEVTYP_DEVICEINTERFACE, name, 0});
        raise(DeviceChange{DBT_DEVNODES_CHANGED, 0, {}, 0});
      }
    }
  });
  return true;
}

void NetlinkDeviceWatcher::stop() {
  setCallback(nullptr);
  d_->notifier.reset();
  if (d_->fd >= 0) close(d_->fd);
  d_->fd = -1;
  d_->names.clear();
}

}  // namespace zfw
