#pragma once
// Station management: what the station connects to. SSID tests, the choice of a BSS, scan
// requests, mode changes, reconnection and roaming, and the small getters and setters.
#include <cstdint>

#include "driver/core/config.h"
#include "platform/ndis/ndis_types.h"

struct CoreAdapter;

namespace zelnic::core {

inline constexpr std::uint32_t kRoamCheckMs = 4000;
inline constexpr std::uint32_t kTxFailCheckMs = 10000;
inline constexpr std::int32_t kSignalCheckOff = -200;
inline constexpr std::int32_t kNoSignal = -200;

// --- SSIDs (ssid.cpp) ---
bool SsidEquals(const Ssid& a, const Ssid& b);
void CopySsid(Ssid& destination, const Ssid& source);
// Length 3 and "ANY" in any letter case.
bool IsAnySsid(const Ssid& ssid);

// --- selection and settings (station_management.cpp) ---
bool PrivacyOn(const CoreAdapter* core);
bool PrivacyMatches(const CoreAdapter* core, int index);
bool TryBeginConnect(CoreAdapter* core, std::uint32_t test, std::uint32_t set);
// A table index, or -1.
int SelectBss(CoreAdapter* core);
bool CurrentBssMissing(const CoreAdapter* core);
int FindRoamCandidate(CoreAdapter* core);
ULONG SetInfrastructureMode(CoreAdapter* core, std::uint32_t mode);
ULONG SetAuthenticationMode(CoreAdapter* core, std::uint32_t mode);
ULONG SetChannel(CoreAdapter* core, std::uint8_t channel);
std::uint8_t GetChannel(const CoreAdapter* core);
std::uint32_t GetChannelRange(const CoreAdapter* core);
void SetChannelRange(CoreAdapter* core, std::uint32_t word);
std::int32_t GetSignalThreshold(const CoreAdapter* core);
void SetSignalThreshold(CoreAdapter* core, std::int32_t value);
std::uint32_t GetTxFailThreshold(const CoreAdapter* core);
void SetTxFailThreshold(CoreAdapter* core, std::uint32_t value);
void SendRateSet(CoreAdapter* core);
void SetRateMode(CoreAdapter* core);

// --- scans (scan_requests.cpp) ---
// Each builds the 60-byte request and starts the scan; 2 (pending).
ULONG ScanForSsidOnChannels(CoreAdapter* core, const std::uint8_t* bssid, const std::uint8_t* channels,
                            std::uint32_t count);
ULONG ScanForSsid(CoreAdapter* core, const Ssid& ssid);
ULONG ScanAll(CoreAdapter* core);
void CompleteScan(CoreAdapter* core);

// --- reconnection and roaming (roaming.cpp) ---
void Reconnect(CoreAdapter* core, bool linkLost);
void RoamTo(CoreAdapter* core, int index);
void RetryRoam(CoreAdapter* core);
void StartRoamCheck(CoreAdapter* core);

}  // namespace zelnic::core

namespace zelnic::core {

// A scan request as the scan requests build it and StartScan reads it.
struct ScanRequest {
  std::uint16_t kind = 3;
  std::uint8_t probeAddress[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  std::uint8_t probeSsid[32] = {};
  std::uint16_t passive = 0;  // 0: active, with probe requests
  std::uint16_t reserved = 0;
  std::uint8_t channels[14] = {};  // 0-terminated or 0-padded
  std::uint16_t word6 = 6;
  std::uint32_t word12 = 12;
};

// Empties the table and starts the scan (background while associated); 2.
ULONG StartScan(CoreAdapter* core, const ScanRequest& request);
// A CCX beacon measurement's scan of one channel for `dwellMs` while associated (the scan
// settings saved, restored at its end, which goes to CCX): 2, or StatusNotAccepted when the
// core cannot scan now.
ULONG StartMeasurementScan(CoreAdapter* core, std::uint8_t channel, bool passive, std::uint32_t dwellMs);
// Puts the saved scan settings back.
void EndMeasurementScan(CoreAdapter* core);

}  // namespace zelnic::core
