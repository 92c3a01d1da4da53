#pragma once
// The link monitor: a periodic timer that watches the beacons of the current network,
// probes for it while they are missing, backs off while the channel is busy with
// interference, and drops the link when it is gone.
#include <cstdint>

#include "driver/ndis/os_service_table.h"

struct CoreAdapter;

namespace zelnic::core {

inline constexpr std::uint32_t kLinkMonitorStartMs = 100;
inline constexpr std::uint32_t kInterferenceBackOffMs = 30000;
inline constexpr std::uint32_t kLinkLossTickMs = 1000;

void StartLinkMonitor(CoreAdapter* core, std::uint32_t periodMs);
// Beacon period + 50 ms in infrastructure or automatic mode, 400 ms in IBSS mode.
void RestartLinkMonitor(CoreAdapter* core);
void LinkMonitorTimer(OsTimerRecord* record);
// The 1-second tick that counts the seconds since the link was lost, unless it runs already.
void StartLinkLossTick(CoreAdapter* core);

// Ticks of the link monitor since the driver loaded.
std::uint32_t LinkMonitorTicks();

}  // namespace zelnic::core
