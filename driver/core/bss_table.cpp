#include "driver/core/bss_table.h"

#include "driver/core/ccx_core.h"

#include <cstring>

#include "driver/core/bss_parse.h"
#include "driver/core/ccx_core.h"
#include "driver/core/core_adapter.h"
#include "driver/core/frame_tests.h"
#include "driver/core/leds.h"
#include "driver/core/link_monitor.h"
#include "driver/core/station_seams.h"
#include "driver/hal/hal_adapter.h"
#include "driver/hal/receive_record.h"
#include "driver/ndis/status_codes.h"

namespace zelnic::core {
namespace {

static_assert(sizeof(BssTableData) <= kBssTableBytes);

constexpr std::int32_t kStrongestRssi = -30;  // -29 dBm and above are stored as -30
constexpr std::uint32_t kShadowPolls = 19999;
constexpr std::uint32_t kShadowPollMicros = 50;
constexpr std::uint32_t kBusyTrafficFrames = 50000;  // frames between two beacons

std::int32_t ClampRssi(std::int32_t rssi) { return rssi > kStrongestRssi ? kStrongestRssi : rssi; }

// Three parts of the stronger value and one of the weaker.
std::int32_t BlendRssi(std::int32_t stored, std::int32_t heard) {
  const std::int32_t stronger = stored > heard ? stored : heard;
  const std::int32_t weaker = stored > heard ? heard : stored;
  return (stronger * 3 + weaker) / 4;
}

void KeepTimestamp(BssRecord& bss, const std::uint8_t* body, bool probeResponse) {
  std::memcpy(probeResponse ? bss.ProbeResponseTimestamp : bss.BeaconTimestamp, body, 8);
}

// The LED event of one direction's traffic since the last beacon.
std::uint32_t TrafficLedEvent(const CoreAdapter* core, std::uint32_t frames, std::uint32_t some, std::uint32_t busy) {
  if (frames == 0) return LinkStateLedEvent(core);
  return frames <= kBusyTrafficFrames ? some : busy;
}

// The current network beaconed: its beacons are counted, the LED shows the heavier direction
// of the traffic since the last one (when that changed), and the link monitor waits for the
// next one.
void CurrentNetworkHeard(CoreAdapter* core) {
  core->Link.MissedBeacons = 0;
  ++core->Link.BeaconsReceived;
  HalAdapter* hal = core->Hal;
  const std::uint32_t sent = TrafficLedEvent(core, hal->tx.dataFrames, kLedEventTx, kLedEventTxHigh);
  const std::uint32_t received = TrafficLedEvent(core, hal->rx.dataFrames, kLedEventRx, kLedEventRxHigh);
  const std::uint32_t shown = sent > received ? sent : received;
  if (shown != core->ShownLedEvent) SetLedPattern(core, shown);
  hal->tx.dataFrames = 0;
  hal->rx.dataFrames = 0;
  RestartLinkMonitor(core);
}

}  // namespace

BssTableData& BssTableOf(CoreAdapter* core) { return *reinterpret_cast<BssTableData*>(core->BssTable); }
const BssTableData& BssTableOf(const CoreAdapter* core) {
  return *reinterpret_cast<const BssTableData*>(core->BssTable);
}

int FindBss(const CoreAdapter* core, const std::uint8_t* bssid) {
  const BssTableData& table = BssTableOf(core);
  for (ULONG i = 0; i < table.Count && i < kMaxBss; ++i)
    if (std::memcmp(table.Entries[i].MacAddress, bssid, 6) == 0) return static_cast<int>(i);
  return -1;
}

bool CurrentBssCapability(const CoreAdapter* core, std::uint16_t& capability) {
  const int index = FindBss(core, core->Bssid.data());
  if (index < 0) return false;
  capability = core->Bss[index].Elements.Capability;
  return true;
}

void ClearBssTable(CoreAdapter* core) {
  std::memset(core->BssTable, 0, kBssTableBytes);
  std::memset(core->Bss, 0, sizeof core->Bss);
}

void ProcessBeacon(CoreAdapter* core, const ReceiveRecord* record, bool probeResponse) {
  const std::uint8_t* frame = record->Frame;
  NDIS_WLAN_BSSID heard;
  BssElements heardElements;
  if (ParseBssFromFrame(core, frame, record->Length, heard, heardElements) != StatusSuccess) return;

  BssTableData& table = BssTableOf(core);
  const bool scanning = (core->Flags & kFlagScanning) != 0;
  const std::int32_t rssi = ClampRssi(core->LastRssi);
  core->LastRssi = rssi;
  if (std::memcmp(frame + kAddress2, core->Bssid.data(), 6) == 0) core->LinkRssi = rssi;

  int index = FindBss(core, frame + kAddress3);
  if (index < 0) {
    if (table.Count >= kMaxBss) return;  // a full table takes no new network
    index = static_cast<int>(table.Count++);
    table.Entries[index] = heard;
    table.Entries[index].Rssi = rssi;
    core->Bss[index].Elements = heardElements;
  } else {
    NDIS_WLAN_BSSID& entry = table.Entries[index];
    const std::int32_t stored = entry.Rssi;
    if (!scanning) {
      entry = heard;
      core->Bss[index].Elements = heardElements;
    }
    entry.Rssi = BlendRssi(stored, rssi);
  }
  BssRecord& bss = core->Bss[index];
  KeepTimestamp(bss, frame + kChipHeaderBytes, probeResponse);
  bss.BlockLength = CopyElements(bss.Block, frame + kChipHeaderBytes, record->Length - kChipHeaderBytes);
  ParseBssSecurity(core, index);
  CcxProcessBeaconElements(core, index);
  if (scanning) return;

  switch (core->MlmeState) {
    case kMlmeAssociated:
      if (IsCurrentNetwork(core, table.Entries[index])) {
        CurrentNetworkHeard(core);
        CurrentNetworkBeaconed(core, index);
      }
      break;
    case 8:  // joining
    case kMlmeIbssJoined:
    case kMlmeIbssStarted:
    case 12:  // restarting
      IbssBeaconReceived(core, index);
      break;
    default:
      break;
  }
}

void CopyBssTableToShadow(CoreAdapter* core) {
  LONG* busy = &core->Head.Container->Context->BssCopyBusy;
  for (std::uint32_t poll = 0; *busy != 0 && poll < kShadowPolls; ++poll) NdisStallExecution(kShadowPollMicros);
  NdisInterlockedIncrement(busy);
  std::memcpy(core->ShadowBssTable, core->BssTable, kBssTableBytes);
  for (std::uint32_t i = 0; i < kMaxBss; ++i) {
    const BssElements& elements = core->Bss[i].Elements;
    std::uint8_t* extra = core->ShadowBssExtras[i];
    extra[0] = elements.MakerPresent != 0 ? 1 : 0;
    std::memcpy(extra + 1, elements.Maker, kMakerExtraRecordBytes - 1);
  }
  NdisInterlockedDecrement(busy);
}

}  // namespace zelnic::core
