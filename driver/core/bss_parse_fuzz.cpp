// Beacons and probe responses are bytes from the air: any frame, in any state of the
// station, parses without reading outside it, and what it fills stays within its bounds.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "driver/core/bss_parse.h"
#include "driver/core/channels.h"
#include "driver/core/core_adapter.h"
#include "driver/core/security_elements.h"
#include "driver/hal/hal_adapter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Input: 8 bytes of station state, then the frame in the chip layout.
  if (size < 8) return 0;
  static auto* hal = new HalAdapter{};
  static auto* core = new CoreAdapter{};
  core->Hal = hal;
  hal->spec.regionIndex = data[0] % 8;  // beyond the six regions too
  core->MlmeState = data[1] % 14;
  core->Flags = data[2] & 0x3;
  core->DwellPending = (data[2] & 0x4) != 0;
  core->ScanIndex = data[3] % 16;
  if ((data[2] & 0x8) != 0) {  // a channel range
    core->Config.channelRange = static_cast<std::uint32_t>(data[4]) << 8 | data[5];
    zelnic::core::FillScanChannels(core->ScanChannels, core->Config.channelRange, 0);
  } else {
    core->Config.channelRange = 0;
    std::memset(core->ScanChannels, 0, sizeof core->ScanChannels);
    core->ScanChannels[core->ScanIndex % 14] = data[4];
  }
  core->AssociationId = static_cast<std::uint16_t>(data[6] | data[7] << 8);
  core->CurrentSsid.length = data[5] % 33;

  std::vector<std::uint8_t> frame(data + 8, data + size);  // exactly the frame: reads beyond it are caught
  if (frame.size() >= 24) std::memcpy(core->Bssid.data(), frame.data() + 18, 6);
  NDIS_WLAN_BSSID entry;
  zelnic::core::BssElements elements;
  if (zelnic::core::ParseBssFromFrame(core, frame.data(), static_cast<std::uint32_t>(frame.size()), entry, elements) ==
      0) {
    if (entry.Ssid.SsidLength > 32 || elements.SsidLength > 32) __builtin_trap();
    (void)zelnic::core::IsCurrentNetwork(core, entry);
  }
  // The security elements the station keeps of the frame, and its own elements built from them.
  if (frame.size() >= 32) {
    std::uint8_t wpa[64];
    std::uint8_t rsn[64];
    zelnic::core::ExtractSecurityElements(frame.data() + 32, static_cast<std::uint32_t>(frame.size() - 32), wpa, rsn);
    zelnic::core::TargetPmkids pmkids;
    pmkids.count = data[7] % (zelnic::core::TargetPmkids::kMax + 1);
    std::uint8_t out[512];
    zelnic::core::ChosenCiphers chosen;
    const std::uint32_t authMode = 3 + data[6] % 5;
    const std::uint32_t status = (data[6] & 0x80) != 0 ? 6 : 4;
    if (rsn[0] != 0 && zelnic::core::BuildStationRsnElement(rsn, authMode, status, out, chosen, pmkids) > 257)
      __builtin_trap();
    if (wpa[0] != 0 && zelnic::core::BuildStationWpaElement(wpa, authMode, status, out, chosen) > 257)
      __builtin_trap();
    (void)zelnic::core::OffersPreauthentication(rsn);
  }
  return 0;
}
