#pragma once
// One connection made the way the utility makes it, against a running zelnicd: the device
// backend of the adapter-control library (with the supplicant it hosts) takes a profile's
// security settings as the utility applies them and the profile's SSID; the notifications
// that reach the utility's window are kept; afterwards one data frame goes through the
// driver, and tshark reads it back from the capture.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "hosts/adapterctl/device/device_adapter.h"
#include "utility/core/profile_entry.h"

namespace zelcon::testing {

struct Notice {
  uint32_t code;
  intptr_t param;
  std::string text;
};

// What reached the utility's window. Its address is the window the library is given.
class UtilityWindow {
public:
  static void Collect(void* window, uint32_t code, intptr_t param, const char* text);
  // Waits (bounded: a hung peer must not hang the test) until a notice matches.
  bool waitFor(const std::function<bool(const Notice&)>& match,
               std::chrono::seconds timeout = std::chrono::seconds(30));
  bool waitFor(uint32_t code, intptr_t param = -1);
  // Waits (bounded) until `count` notices of the code have come.
  bool waitForCount(uint32_t code, size_t count);
  // A connection text (1012).
  bool waitForText(const std::string& text);
  // Whether the port was ever authorized (1008), without waiting.
  bool authorized();
  // The connection texts (1012) in their order.
  std::vector<std::string> texts();

private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<Notice> notices_;
};

// The adapter opened on zelnicd's control device, its notifications going to `window`.
class ProfileConnection {
public:
  ProfileConnection(UtilityWindow& window, const std::string& registryRoot, const std::string& devicePath);
  ~ProfileConnection();

  // The profile's security as the utility applies it, then its SSID; false when the adapter
  // would not open or refused the SSID.
  bool apply(const PROFILE_ENTRY& profile);
  // One frame (ether type 88B5) to a wired host through the driver's data path, bounded wait
  // for its send; the payload sent, empty when it was not sent.
  std::vector<uint8_t> sendDataFrame();
  std::string stationText();  // the adapter's address, "00:1e:..."
  DeviceAdapter& adapter() { return adapter_; }
  void close();

private:
  UtilityWindow& window_;
  Notifier notifier_;
  DeviceAdapter adapter_;
  void* handle_ = nullptr;
};

// The data frames the station sent after the handshake, dissected with `keys` (tshark's
// options): one row a frame, fields "malformed", "protected", "payload in hex".
std::vector<std::vector<std::string>> DissectStationData(const std::string& pcap, const std::string& station,
                                                         const std::string& keys);

}  // namespace zelcon::testing
