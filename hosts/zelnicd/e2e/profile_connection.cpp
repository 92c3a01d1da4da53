#include "hosts/zelnicd/e2e/profile_connection.h"

#include <algorithm>
#include <cstdio>

#include "driver/ndis/private_oids.h"
#include "sim/air/testing/tshark_dissect.h"
#include "hosts/zelnicd/station/library_station.h"

namespace zelcon::testing {
namespace {

constexpr uint32_t kEventRawFrameSent = 133;

}  // namespace

void UtilityWindow::Collect(void* window, uint32_t code, intptr_t param, const char* text) {
  auto& self = *static_cast<UtilityWindow*>(window);
  std::lock_guard lock(self.mutex_);
  self.notices_.push_back({code, param, text != nullptr ? text : ""});
  self.arrived_.notify_all();
}

bool UtilityWindow::waitFor(const std::function<bool(const Notice&)>& match, std::chrono::seconds timeout) {
  std::unique_lock lock(mutex_);
  return arrived_.wait_for(lock, timeout,
                           [&] { return std::any_of(notices_.begin(), notices_.end(), match); });
}

bool UtilityWindow::waitFor(uint32_t code, intptr_t param) {
  return waitFor([&](const Notice& n) { return n.code == code && (param < 0 || n.param == param); });
}

bool UtilityWindow::waitForCount(uint32_t code, size_t count) {
  std::unique_lock lock(mutex_);
  return arrived_.wait_for(lock, std::chrono::seconds(30), [&] {
    return static_cast<size_t>(std::count_if(notices_.begin(), notices_.end(),
                                             [&](const Notice& n) { return n.code == code; })) >= count;
  });
}

bool UtilityWindow::waitForText(const std::string& text) {
  return waitFor([&](const Notice& n) { return n.code == ZELCON_NOTIFY_CONNECTION_TEXT && n.text == text; });
}

bool UtilityWindow::authorized() {
  return waitFor([](const Notice& n) { return n.code == ZELCON_NOTIFY_PORT_AUTHORIZED; }, std::chrono::seconds(0));
}

std::vector<std::string> UtilityWindow::texts() {
  std::lock_guard lock(mutex_);
  std::vector<std::string> all;
  for (const Notice& n : notices_)
    if (n.code == ZELCON_NOTIFY_CONNECTION_TEXT) all.push_back(n.text);
  return all;
}

ProfileConnection::ProfileConnection(UtilityWindow& window, const std::string& registryRoot,
                                     const std::string& devicePath)
    : window_(window), adapter_(notifier_, plat::RegistryStore(registryRoot), devicePath) {
  notifier_.SetPoster(&UtilityWindow::Collect);
  adapter_.Initialize(&window_);
}

ProfileConnection::~ProfileConnection() { close(); }

void ProfileConnection::close() {
  if (handle_ != nullptr) adapter_.CloseAdapter(handle_);
  handle_ = nullptr;
}

bool ProfileConnection::apply(const PROFILE_ENTRY& profile) {
  if (handle_ == nullptr && adapter_.OpenAdapter(handle_) != 0) return false;
  return zelnicd::testing::ApplyProfileAsTheUtility(adapter_, handle_, profile);
}

std::vector<uint8_t> ProfileConnection::sendDataFrame() {
  const uint8_t server[6] = {0x02, 0x00, 0x00, 0x00, 0x09, 0x01};
  uint8_t station[6] = {};
  if (adapter_.GetMacAddress(handle_, station, sizeof station) != 0) return {};
  const std::vector<uint8_t> payload(120, 0x5A);
  std::vector<uint8_t> frame(server, server + 6);
  frame.insert(frame.end(), station, station + 6);
  frame.insert(frame.end(), {0x88, 0xB5});
  frame.insert(frame.end(), payload.begin(), payload.end());
  constexpr uint16_t kTag = 0x7E57;
  std::vector<uint8_t> record = {static_cast<uint8_t>(frame.size()), static_cast<uint8_t>(frame.size() >> 8),
                                 static_cast<uint8_t>(kTag), static_cast<uint8_t>(kTag >> 8)};
  record.insert(record.end(), frame.begin(), frame.end());
  if (adapter_.Set(OID_HLVN_SEND_FRAME, record) != 0 || !window_.waitFor(kEventRawFrameSent, kTag)) return {};
  return payload;
}

std::string ProfileConnection::stationText() {
  uint8_t station[6] = {};
  adapter_.GetMacAddress(handle_, station, sizeof station);
  char text[18];
  std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", station[0], station[1], station[2],
                station[3], station[4], station[5]);
  return text;
}

std::vector<std::vector<std::string>> DissectStationData(const std::string& pcap, const std::string& station,
                                                         const std::string& keys) {
  std::vector<std::vector<std::string>> rows;
  for (const std::string& row :
       simair::testing::Dissect(pcap, "wlan.sa == " + station + " && wlan.fc.type == 2 && !eapol",
                                {"wlan.fc.protected", "data.data"}, keys))
    rows.push_back(simair::testing::SplitRow(row));
  return rows;
}

}  // namespace zelcon::testing
