#include "hosts/zelnicd/station/library_station.h"

#include <stdlib.h>

#include <cstring>
#include <vector>

#include "hosts/adapterctl/zelcon_records.h"
#include "utility/core/profile_connect.h"

namespace zelnicd::testing {
namespace {

using Clock = std::chrono::steady_clock;

// The adapter's codes: infrastructure, WPA2-PSK, AES; the profile's encryption code for AES.
constexpr uint32_t kInfrastructure = 1;
constexpr uint32_t kWpa2Psk = 7;
constexpr uint32_t kAesEnabled = 6;
constexpr uint32_t kOpen = 0;
constexpr uint32_t kEncryptionOff = 1;
constexpr uint32_t kProfileAes = 3;
constexpr uint32_t kProfileWpa2Psk = 9;

// The profile's 500-byte WPA information block with the pass phrase.
std::vector<uint8_t> WpaBlock(const std::string& passphrase) {
  std::vector<uint8_t> block(500);
  std::memcpy(block.data(), passphrase.data(), std::min<size_t>(passphrase.size(), 128));
  const auto length = static_cast<uint32_t>(passphrase.size());
  std::memcpy(block.data() + 132, &length, 4);
  return block;
}

}  // namespace

bool ApplyProfileAsTheUtility(IAdapterControl& lib, void* adapter, const PROFILE_ENTRY& profile) {
  zelcon::ProfileList profiles;
  const zelcon::ProfileId id = profiles.Append(profile);
  zelcon::LINK_STATUS link{};
  zelcon::ConnectContext context{lib, adapter, 1, profiles, link, {}, nullptr};
  const int result = zelcon::ApplyProfile(context, id);
  return result == 0 || result == 4;  // joining, or already on that network
}

LibraryStation::LibraryStation(const std::string& devicePath, const std::string& registryRoot,
                                         const std::string& pentrelLibrary)
    : adapter_(notifier_, plat::RegistryStore(registryRoot), devicePath) {
  setenv("ZELCON_PENTREL_LIBRARY", pentrelLibrary.c_str(), 1);
  notifier_.SetPoster(&Post);
  adapter_.Initialize(this);
  if (adapter_.OpenAdapter(handle_) != 0) handle_ = nullptr;
}

LibraryStation::~LibraryStation() {
  if (handle_ != nullptr) adapter_.CloseAdapter(handle_);
  notifier_.DropPending();
}

void LibraryStation::Post(void* self, uint32_t code, intptr_t, const char* text) {
  auto* station = static_cast<LibraryStation*>(self);
  std::lock_guard lock(station->mutex_);
  if (code == HLVN_EVENT_ASSOCIATED) station->associated_ = true;
  if (code == ZELCON_NOTIFY_PORT_AUTHORIZED) station->authorized_ = true;
  if (code == ZELCON_NOTIFY_CONNECTION_TEXT && text != nullptr && std::strcmp(text, "Authentication failed") == 0)
    station->failed_ = true;
  station->changed_.notify_all();
}

bool LibraryStation::WaitFor(Clock::time_point deadline, bool withKeys) {
  std::unique_lock lock(mutex_);
  while (Clock::now() < deadline && !failed_) {
    if (withKeys ? authorized_ : associated_) {
      // The keys are counted as the library sets them; poll briefly for the last one.
      const zelcon::SupplicantHost* host = withKeys ? adapter_.Supplicant() : nullptr;
      if (!withKeys || (host != nullptr && host->KeysInstalled() >= 2)) return true;
    }
    changed_.wait_for(lock, std::chrono::milliseconds(1));
  }
  return false;
}

bool LibraryStation::Ready(std::string& error) {
  if (handle_ == nullptr) {
    error = "the control device did not open";
    return false;
  }
  std::lock_guard lock(mutex_);
  associated_ = authorized_ = failed_ = false;
  return true;
}

std::optional<std::chrono::duration<double>> LibraryStation::Timed(const std::function<bool()>& apply,
                                                                    bool withKeys, std::string& error,
                                                                    std::chrono::seconds timeout) {
  if (!Ready(error)) return std::nullopt;
  const auto start = Clock::now();
  if (!apply()) {
    error = withKeys ? "the profile was not applied (is libpentrel.so there?)" : "the SSID was not accepted";
    return std::nullopt;
  }
  if (!WaitFor(start + timeout, withKeys)) {
    const zelcon::SupplicantHost* host = adapter_.Supplicant();
    error = !withKeys ? "no media connect"
                      : "no authorized port with its keys: link status " +
                            std::to_string(host ? host->LinkStatus() : 0) + ", keys " +
                            std::to_string(host ? host->KeysInstalled() : 0);
    return std::nullopt;
  }
  return Clock::now() - start;
}

std::optional<std::chrono::duration<double>> LibraryStation::Join(const std::string& ssid,
                                                                       const std::string& passphrase,
                                                                       std::string& error,
                                                                       std::chrono::seconds timeout) {
  const std::vector<uint8_t> wpa = WpaBlock(passphrase);
  return Timed(
      [&] {
        return adapter_.SetNetworkMode(handle_, kInfrastructure) == 0 && adapter_.SetAuthMode(handle_, kWpa2Psk) == 0 &&
               adapter_.SetWepStatus(handle_, kAesEnabled) == 0 &&
               adapter_.SetWPAInformation(handle_, kInfrastructure, kProfileWpa2Psk, kProfileAes, wpa.data(),
                                          ssid.c_str()) == 0 &&
               adapter_.SetSsid(handle_, ssid.c_str(), static_cast<uint32_t>(ssid.size()), 0) == 0;
      },
      true, error, timeout);
}

std::optional<std::chrono::duration<double>> LibraryStation::JoinProfile(const PROFILE_ENTRY& profile,
                                                                             std::string& error,
                                                                             std::chrono::seconds timeout) {
  return Timed([&] { return ApplyProfileAsTheUtility(adapter_, handle_, profile); }, true, error, timeout);
}

std::optional<std::chrono::duration<double>> LibraryStation::JoinOpen(const std::string& ssid,
                                                                           std::string& error,
                                                                           std::chrono::seconds timeout) {
  return Timed(
      [&] {
        return adapter_.SetNetworkMode(handle_, kInfrastructure) == 0 && adapter_.SetAuthMode(handle_, kOpen) == 0 &&
               adapter_.SetWepStatus(handle_, kEncryptionOff) == 0 &&
               adapter_.SetSsid(handle_, ssid.c_str(), static_cast<uint32_t>(ssid.size()), 0) == 0;
      },
      false, error, timeout);
}

void LibraryStation::Leave() {
  if (handle_ == nullptr) return;
  adapter_.WPAPortDown();
  adapter_.SetDisassociate(handle_);
}

}  // namespace zelnicd::testing
