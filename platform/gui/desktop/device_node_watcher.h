#pragma once
// A network adapter whose device node is a file in a directory (the socket a driver host
// serves): the node appearing is the adapter's arrival, its going the removal, raised through
// a device watcher (which delivers them only while it is started) as the notifications of
// the adapter's device interface, named as NetlinkDeviceWatcher names one.
//
// The directory is watched with inotify from its nearest existing parent on, so a directory
// made after the start is found too. A node put in place of one still there (its process
// ended without removing it, and the next one bound its own) is a removal and an arrival.
#include <memory>
#include <string>

#include "platform/gui/desktop/device_watcher.h"

namespace zfw {

class DeviceNodeWatcher {
 public:
  // `hardwareId`: the adapter's, as a device-interface name carries it ("PCI\VEN_...").
  DeviceNodeWatcher(IDeviceWatcher& target, std::string nodePath, std::string hardwareId);
  ~DeviceNodeWatcher();
  DeviceNodeWatcher(const DeviceNodeWatcher&) = delete;
  DeviceNodeWatcher& operator=(const DeviceNodeWatcher&) = delete;

  // Watches from now on (on the GUI thread's event loop); false when inotify cannot be had.
  bool start();
  void stop();
  // The name the notifications carry.
  const std::string& interfaceName() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

}  // namespace zfw
