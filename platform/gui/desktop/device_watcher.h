#pragma once
// Arrival and removal of network adapters, as device-change notifications of the network
// adapter interface class. On Linux a link appearing or going in rtnetlink is an arrival or
// a removal; its name carries a Windows-style hardware id made from sysfs
// ("\\?\PCI#VEN_1E4D&DEV_1F00&SUBSYS_00011E4D#eth1#{ad498944-...}"), so that hardware-id
// tests work unchanged. In-process sources (a simulated adapter) raise the same events.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace zfw {

enum : uint32_t { DBT_DEVNODES_CHANGED = 0x7, DBT_DEVICEARRIVAL = 0x8000, DBT_DEVICEREMOVECOMPLETE = 0x8004 };
enum : uint32_t { DBT_DEVTYP_DEVNODE = 1, DBT_DEVTYP_DEVICEINTERFACE = 5 };

struct DeviceChange {
  uint32_t event = 0;       // DBT_*
  uint32_t deviceType = 0;  // DBT_DEVTYP_* (0 for DBT_DEVNODES_CHANGED)
  std::string name;         // device-interface name
  uint32_t devNode = 0;     // DBT_DEVTYP_DEVNODE
};

class IDeviceWatcher {
 public:
  virtual ~IDeviceWatcher() = default;
  // Registers for notifications (delivered on the GUI thread); false when that fails.
  virtual bool start(std::function<void(const DeviceChange&)> onChange) = 0;
  virtual void stop() = 0;
  // Delivers `change` as if the system had sent it: at once on the GUI thread, queued
  // from any other. Nothing happens while not started.
  virtual void raise(const DeviceChange& change) = 0;
};

// The delivery shared by the watchers: the registered callback and raise().
class DeviceWatcherBase : public IDeviceWatcher {
 public:
  DeviceWatcherBase();
  ~DeviceWatcherBase() override;
  void raise(const DeviceChange& change) override;

 protected:
  void setCallback(std::function<void(const DeviceChange&)> onChange);

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
};

class NetlinkDeviceWatcher final : public DeviceWatcherBase {
 public:
  explicit NetlinkDeviceWatcher(std::string sysfsNet = "/sys/class/net");
  ~NetlinkDeviceWatcher() override;
  bool start(std::function<void(const DeviceChange&)> onChange) override;
  void stop() override;

  // "PCI\VEN_xxxx&DEV_xxxx&SUBSYS_xxxxxxxx" or "USB\VID_xxxx&PID_xxxx" from the interface's
  // sysfs device, empty for an interface without one (loopback, virtual links).
  static std::string hardwareId(const std::string& sysfsNet, const std::string& interface);
  // The device-interface name of a network adapter.
  static std::string interfaceName(const std::string& hardwareId, const std::string& interface);

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

}  // namespace zfw
