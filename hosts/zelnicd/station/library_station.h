#pragma once
// The adapter-control library on a running zelnicd's control device, hosting libpentrel.so,
// joining a WPA2-Personal network the way the utility applies such a profile (network mode,
// authentication mode, encryption, WPA information, SSID), a network of a whole profile (its
// security as the utility applies it, then its SSID), or an open one: for tests and
// benchmarks that need a link made through the library, timed on the wall clock.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "hosts/adapterctl/device/device_adapter.h"
#include "hosts/adapterctl/notifier.h"
#include "utility/core/profile_entry.h"

namespace zelnicd::testing {

// The utility's own ApplyProfile on `profile` as the only one of its list (its SSID scan, its
// security, its SSID, its radio settings); true when the adapter took the SSID.
bool ApplyProfileAsTheUtility(IAdapterControl& lib, void* adapter, const PROFILE_ENTRY& profile);

class LibraryStation {
public:
  LibraryStation(const std::string& devicePath, const std::string& registryRoot,
                      const std::string& pentrelLibrary);
  ~LibraryStation();
  LibraryStation(const LibraryStation&) = delete;
  LibraryStation& operator=(const LibraryStation&) = delete;

  // Applies the profile and waits (bounded by `timeout`) until the port is authorized with the
  // pairwise and group keys installed on the driver. The wall time from the profile applied to
  // the keys installed, or nothing (why in `error`).
  std::optional<std::chrono::duration<double>> Join(const std::string& ssid, const std::string& passphrase,
                                                    std::string& error,
                                                    std::chrono::seconds timeout = std::chrono::seconds(30));
  // The same for the profile's network (say, WPA2-Enterprise with PEAP).
  std::optional<std::chrono::duration<double>> JoinProfile(const PROFILE_ENTRY& profile, std::string& error,
                                                           std::chrono::seconds timeout = std::chrono::seconds(30));
  // An open network: from the SSID set to the driver's media connect.
  std::optional<std::chrono::duration<double>> JoinOpen(const std::string& ssid, std::string& error,
                                                        std::chrono::seconds timeout = std::chrono::seconds(30));
  // Leaves the network (the port down, the driver disassociated).
  void Leave();

private:
  static void Post(void* self, uint32_t code, intptr_t param, const char* text);
  // The device is open; what the last join heard is forgotten.
  bool Ready(std::string& error);
  bool WaitFor(std::chrono::steady_clock::time_point deadline, bool withKeys);
  // The wall time from `apply` (false: refused) to the keys installed, or with `withKeys`
  // false to the media connect.
  std::optional<std::chrono::duration<double>> Timed(const std::function<bool()>& apply, bool withKeys,
                                                     std::string& error, std::chrono::seconds timeout);

  zelcon::Notifier notifier_;
  zelcon::DeviceAdapter adapter_;
  void* handle_ = nullptr;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool associated_ = false;
  bool authorized_ = false;
  bool failed_ = false;
};

}  // namespace zelnicd::testing
