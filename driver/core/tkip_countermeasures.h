#pragma once
// TKIP MIC failures and the countermeasures: a failure arms a 60-second window and is
// reported to the supplicant; a second one within the window stops data, lets the next
// EAPOL frame (the supplicant's failure report) go out, and 50 ms later the station
// deauthenticates with reason 14, disconnects and refuses SSID sets for 60 seconds.
#include <cstdint>

struct CoreAdapter;

namespace zelnic::core {

inline constexpr std::uint32_t kMicFailureWindowMs = 60000;
inline constexpr std::uint32_t kCountermeasureReportMs = 50;
inline constexpr std::uint32_t kCountermeasureBlockMs = 60000;
inline constexpr std::uint16_t kReasonMicFailure = 14;
inline constexpr std::uint32_t kEventMicFailure = 10;

// A received MSDU under the key in `slot` failed Michael.
void TkipMicFailure(CoreAdapter* core, std::uint32_t slot);
// False while the countermeasures hold data frames back.
bool TkipCountermeasuresHoldData(const CoreAdapter* core);
// An EAPOL frame is about to be sent: false when it must not go (the report is out); the
// first one after a second failure starts the 50 ms until the deauthentication.
bool TkipCountermeasuresLetEapolPass(CoreAdapter* core);
// The countermeasures' next step: from a second failure to the report sent (the send path,
// for the EAPOL frame that carries it), then to the deauthentication and the 60 s without
// SSID sets, then to their end (the countermeasure timer).
void AdvanceCountermeasures(CoreAdapter* core);
// While true, OID_802_11_SSID sets are refused.
bool TkipCountermeasuresBlockSsid(const CoreAdapter* core);
// A key install: the countermeasure state returns to idle.
void TkipCountermeasuresKeyInstalled(CoreAdapter* core);
// Disconnect, link loss, deauthentication: the failure window is forgotten.
void TkipForgetMicFailureWindow(CoreAdapter* core);

}  // namespace zelnic::core
