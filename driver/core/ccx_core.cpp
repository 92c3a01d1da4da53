#include "driver/core/ccx_core.h"

#include <algorithm>
#include <cstring>

#include "driver/core/bss_data_frames.h"
#include "driver/core/bss_table.h"
#include "driver/core/ccx_beacon_elements.h"
#include "driver/core/channels.h"
#include "driver/core/core_adapter.h"
#include "driver/core/core_timer.h"
#include "driver/core/management_frames.h"
#include "driver/core/mlme.h"
#include "driver/core/rates.h"
#include "driver/core/security_elements.h"
#include "driver/core/station_management.h"
#include "driver/core/station_seams.h"
#include "driver/hal/firmware_commands.h"
#include "driver/ndis/status_codes.h"

namespace zelnic::core {
namespace {

constexpr std::uint32_t kCcxFlagCckm = 0x4;
constexpr std::uint8_t kCckmAkm[4] = {0x00, 0x40, 0x96, 0x00};
constexpr std::uint8_t kWpaOui[4] = {0x00, 0x50, 0xF2, 0x01};
constexpr std::uint8_t kCcxQosType = 0x04;
constexpr std::uint8_t kCcxPresenceType = 0x01;
constexpr std::uint16_t kQosAction = 7;
constexpr std::uint32_t kApListBodyBytes = 48;  // IAPP header and one 24-byte record
constexpr std::uint32_t kEncryptionWep = 0;
constexpr std::uint8_t kScanModePassive = 0;
constexpr std::uint8_t kScanModeBeaconTable = 2;
constexpr std::uint32_t kActiveScanDwellMs = 210;

void PutBig16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v);
}

std::uint8_t CurrentChannel(const CoreAdapter* core) {
  return static_cast<std::uint8_t>(FrequencyChannel(core->Frequency));
}

// The IAPP header every frame the station sends starts with.
void WriteIappHeader(std::uint8_t* body, std::uint32_t length, std::uint8_t type, std::uint8_t subtype,
                     const std::uint8_t* destination, const std::uint8_t* source) {
  std::memcpy(body, kIappSnap, sizeof kIappSnap);
  PutBig16(body + 8, length - 8);
  body[10] = type;
  body[11] = subtype;
  std::memcpy(body + 12, destination, 6);
  std::memcpy(body + 18, source, 6);
}

// --- the measurement set ----------------------------------------------------------------

void CcxNextMeasurement(CoreAdapter* core);
void RunMeasurement(CoreAdapter* core);

bool TakeQueued(CoreAdapter* core, CcxMeasurementRequest& out) {
  core->Os->Table->AcquireSpinLock(&core->CcxLock);
  const bool taken = core->Ccx.queue.TakeNext(out);
  core->Os->Table->ReleaseSpinLock(&core->CcxLock);
  return taken;
}

unsigned QueuedCount(CoreAdapter* core) {
  core->Os->Table->AcquireSpinLock(&core->CcxLock);
  const unsigned count = core->Ccx.queue.Count();
  core->Os->Table->ReleaseSpinLock(&core->CcxLock);
  return count;
}

void SendReports(CoreAdapter* core) {
  CcxMeasurementSet& set = core->Ccx.set;
  for (unsigned i = 0; i < set.finishedCount; ++i)
    (void)SendDataToBss(core, set.finished[i].Bytes(), set.finished[i].Length());
  if (set.report.Started()) {
    set.report.Finish();
    (void)SendDataToBss(core, set.report.Bytes(), set.report.Length());
  }
}

// Away from its channel the station keeps its own traffic back: the host's sends stay
// queued in the shell and the core's frames wait (probe requests of a scan excepted), so
// nothing meant for its access point goes out on another channel, and nothing is lost.
void HoldTraffic(CoreAdapter* core) {
  if (core->Ccx.set.trafficHeld) return;
  core->Ccx.set.trafficHeld = true;
  hal::SetPullPendingSends(core->Hal, false);
  HoldManagementFrames(core, true);
}

void ReleaseTraffic(CoreAdapter* core) {
  if (!core->Ccx.set.trafficHeld) return;
  core->Ccx.set.trafficHeld = false;
  HoldManagementFrames(core, false);
  hal::SetPullPendingSends(core->Hal, true);
}

void ResetSet(CoreAdapter* core) {
  ReleaseTraffic(core);
  CancelTimer(core, kTimerCcxMeasurement1);
  CancelTimer(core, kTimerCcxMeasurement2);
  CancelTimer(core, kTimerCcxMeasurement3);
  core->Ccx.set = CcxMeasurementSet{};
  CcxFreeMeasurementQueue(core);
}

void EndSet(CoreAdapter* core);

void BackOnHomeChannel(CoreAdapter* core) {
  core->Ccx.set.channelSwitched = false;
  ReleaseTraffic(core);
  EndSet(core);
}

// The end of a set: back to the station's own channel first, then the reports go out.
void EndSet(CoreAdapter* core) {
  CcxMeasurementSet& set = core->Ccx.set;
  if (set.channelSwitched) {
    hal::SendSetChannel(core->Hal, set.homeChannel, &BackOnHomeChannel);
    return;
  }
  if (core->MlmeState == kMlmeAssociated) SendReports(core);
  ResetSet(core);
}

void MeasurementDurationEnded(OsTimerRecord* record) {
  CoreAdapter* core = CoreOfTimer(record);
  if (core == nullptr || !core->Ccx.set.running) return;
  core->Ccx.set.awaitingResult = true;
  if (core->Ccx.set.current.type == static_cast<std::uint8_t>(MeasurementType::ChannelLoad)) {
    hal::SendMeasure011A(core->Hal, 0);
  } else {
    hal::SendMeasure0119(core->Hal, 0);
  }
}

// On the measurement's channel: the firmware measures until the duration timer stops it.
void StartOnChannel(CoreAdapter* core) {
  CcxMeasurementSet& set = core->Ccx.set;
  if (!set.running) return;
  if (set.current.type == static_cast<std::uint8_t>(MeasurementType::ChannelLoad)) {
    hal::SendMeasure011A(core->Hal, 1);
  } else {
    hal::SendMeasure0119(core->Hal, set.channelSwitched ? 3 : 1);
  }
  ArmTimer(core, kTimerCcxMeasurement3, &MeasurementDurationEnded, MeasurementMs(set.current.duration), false);
}

void RunAfterOffset(OsTimerRecord* record) {
  if (CoreAdapter* core = CoreOfTimer(record); core != nullptr && core->Ccx.set.running) RunMeasurement(core);
}

void RunAfterActivationDelay(OsTimerRecord* record) {
  CoreAdapter* core = CoreOfTimer(record);
  if (core == nullptr || !core->Ccx.set.running) return;
  if (core->Ccx.set.measurementOffset != 0) {
    ArmTimer(core, kTimerCcxMeasurement2, &RunAfterOffset, core->Ccx.set.measurementOffset, false);
  } else {
    RunMeasurement(core);
  }
}

// The BSS table answers the beacon measurement.
void ReportBeacons(CoreAdapter* core) {
  core->Ccx.set.awaitingResult = true;
  CcxFirmwareEvent(core);
}

// The next request of the set, or its end.
void ContinueSet(CoreAdapter* core) {
  if (QueuedCount(core) != 0) {
    CcxNextMeasurement(core);
  } else {
    EndSet(core);
  }
}

void RunBeaconMeasurement(CoreAdapter* core) {
  CcxMeasurementSet& set = core->Ccx.set;
  const CcxMeasurementRequest& r = set.current;
  // The chip's time first: the parent TSF of every BSS the report names.
  const bool timed = hal::SendMeasure0118(core->Hal) == NDIS_STATUS_SUCCESS;
  if (r.scanMode == kScanModeBeaconTable) {
    set.awaitingTsf = timed;
    if (!timed) ReportBeacons(core);
    return;
  }
  // Passive and active modes listen on the channel with a scan of the core; its end reports
  // what was heard (the chip's time has come back before the scan's first command).
  const std::uint8_t channel = r.channel != 0 ? r.channel : CurrentChannel(core);
  const bool passive = r.scanMode == kScanModePassive;
  const std::uint32_t dwell = passive && r.duration != 0 ? MeasurementMs(r.duration) : kActiveScanDwellMs;
  if (channel != set.homeChannel) HoldTraffic(core);
  if (StartMeasurementScan(core, channel, passive, dwell) != StatusPending) {
    ReleaseTraffic(core);
    ContinueSet(core);  // the core cannot scan now: no result for this request
  }
}

void RunMeasurement(CoreAdapter* core) {
  CcxMeasurementSet& set = core->Ccx.set;
  if (set.current.type == static_cast<std::uint8_t>(MeasurementType::Beacon)) {
    RunBeaconMeasurement(core);
    return;
  }
  if (set.current.channel != 0 && set.current.channel != CurrentChannel(core)) {
    set.channelSwitched = true;
    HoldTraffic(core);
    hal::SendSetChannel(core->Hal, set.current.channel, &StartOnChannel);
    return;
  }
  StartOnChannel(core);
}

bool KnownType(std::uint8_t type) {
  return type >= static_cast<std::uint8_t>(MeasurementType::ChannelLoad) &&
         type <= static_cast<std::uint8_t>(MeasurementType::Beacon);
}

void CcxNextMeasurement(CoreAdapter* core) {
  CcxMeasurementSet& set = core->Ccx.set;
  bool taken = false;
  // A type the station does not measure is passed over.
  while ((taken = TakeQueued(core, set.current)) && !KnownType(set.current.type)) {
  }
  if (!taken) {
    EndSet(core);
    return;
  }
  set.awaitingResult = false;
  const bool beaconTable = set.current.type == static_cast<std::uint8_t>(MeasurementType::Beacon) &&
                           set.current.scanMode == kScanModeBeaconTable;
  const std::uint32_t delay = ActivationDelayMs(set.activationDelay, core->BeaconPeriod);
  if (!beaconTable && delay != 0) {
    ArmTimer(core, kTimerCcxMeasurement1, &RunAfterActivationDelay, delay, false);
  } else if (!beaconTable && set.measurementOffset != 0) {
    ArmTimer(core, kTimerCcxMeasurement2, &RunAfterOffset, set.measurementOffset, false);
  } else {
    RunMeasurement(core);
  }
}

// Calls `visit` with each element (whole) of a BSS's saved block, after its fixed fields.
template <typename Visit>
void ForEachElement(const BssRecord& record, Visit visit) {
  const std::uint32_t length = std::min<std::uint32_t>(record.BlockLength, sizeof record.Block);
  for (std::uint32_t at = kFixedFieldBytes; at + 2 <= length;) {
    const std::uint8_t* e = record.Block + at;
    const std::uint32_t size = 2u + e[1];
    if (size > length - at) return;
    visit(e, size);
    at += size;
  }
}

std::uint8_t PhyType(const BssElements& bss) {
  for (std::uint8_t rate : bss.Rates)
    if (std::find(kOfdmRates.begin(), kOfdmRates.end(), rate & 0x7F) != kOfdmRates.end()) return 6;
  return 2;
}

bool AddBeaconReports(CoreAdapter* core, CcxReportBody& report) {
  const CcxMeasurementRequest& r = core->Ccx.set.current;
  const BssTableData& table = BssTableOf(core);
  for (ULONG i = 0; i < table.Count && i < kMaxBss; ++i) {
    const NDIS_WLAN_BSSID& entry = table.Entries[i];
    const BssRecord& record = core->Bss[i];
    const auto channel = static_cast<std::uint8_t>(FrequencyChannel(entry.Configuration.DSConfig));
    if (r.channel != 0 && channel != r.channel) continue;
    BeaconReportSource source;
    source.channel = channel;
    source.phyType = PhyType(record.Elements);
    source.rssiDbm = entry.Rssi;
    source.bssid = entry.MacAddress;
    source.parentTsf = core->Ccx.set.parentTsf;
    source.timestamp = record.Elements.Timestamp;
    source.beaconInterval = record.Elements.BeaconInterval;
    source.capability = record.Elements.Capability;
    const std::uint32_t blockLength = std::min<std::uint32_t>(record.BlockLength, sizeof record.Block);
    source.elements = record.Block + kFixedFieldBytes;
    source.elementsLength = blockLength > kFixedFieldBytes ? blockLength - kFixedFieldBytes : 0;
    if (!report.AddBeacon(r, source)) return false;
  }
  return true;
}

// Appends the current measurement's element; false when the report is full.
bool AddResult(CoreAdapter* core, CcxReportBody& report) {
  const CcxMeasurementRequest& r = core->Ccx.set.current;
  switch (static_cast<MeasurementType>(r.type)) {
    case MeasurementType::ChannelLoad:
      return report.AddChannelLoad(r, core->Measurement[0]);
    case MeasurementType::NoiseHistogram: {
      std::uint32_t rpi[8];
      std::memcpy(rpi, core->Measurement, sizeof rpi);
      return report.AddNoiseHistogram(r, rpi);
    }
    case MeasurementType::Beacon:
      return AddBeaconReports(core, report);
    default:
      return true;
  }
}

}  // namespace

// --- received IAPP frames ---------------------------------------------------------------

void CcxReceiveIapp(CoreAdapter* core, const std::uint8_t* body, std::uint32_t length) {
  if (core == nullptr) return;
  CcxCore& ccx = core->Ccx;
  if (length >= 12 && body[10] == kIappTypeReport) {
    ccx.receivedApCount = ParseAdjacentApList(body, length, ccx.receivedAps, kReceivedApEntries);
    return;
  }
  if (ParseMeasurementRequest(body, length, ccx.incoming) != IappRefusal::None) return;
  // One set at a time: a request while a set runs is not answered (the access point asks
  // again), so the report being built keeps its own dialog token.
  if (ccx.set.running || core->MlmeState != kMlmeAssociated) return;
  ccx.set.running = true;
  ccx.set.homeChannel = CurrentChannel(core);
  ccx.set.dialogToken = ccx.incoming.dialogToken;
  ccx.set.activationDelay = ccx.incoming.activationDelay;
  ccx.set.measurementOffset = ccx.incoming.measurementOffset;
  core->Os->Table->AcquireSpinLock(&core->CcxLock);
  ccx.queue.Load(ccx.incoming, core->Config.ccxReqTime, ccx.set.homeChannel);
  core->Os->Table->ReleaseSpinLock(&core->CcxLock);
  CcxNextMeasurement(core);
}

void CcxSetParentTsf(CoreAdapter* core, std::uint32_t tsf) {
  CcxMeasurementSet& set = core->Ccx.set;
  set.parentTsf = tsf;
  if (!set.running || !set.awaitingTsf) return;
  set.awaitingTsf = false;
  ReportBeacons(core);
}

bool CcxMeasurementScanDone(CoreAdapter* core) {
  if (!core->Ccx.set.running) return false;
  if (core->MlmeState != kMlmeAssociated || core->ConnectReason != kReasonNone) {
    ResetSet(core);  // nobody to report to; a connection waits for the scan's end
    return false;
  }
  ReleaseTraffic(core);
  ReportBeacons(core);
  return true;
}

void CcxFirmwareEvent(CoreAdapter* core) {
  CcxMeasurementSet& set = core->Ccx.set;
  if (!set.running || !set.awaitingResult) return;
  set.awaitingResult = false;
  if (!set.report.Started()) set.report.Start(core->Bssid.data(), core->StationAddress.data(), set.dialogToken);
  if (!AddResult(core, set.report)) {
    // The report is full: it is finished and a further one takes this result.
    if (set.finishedCount < kMaxFinishedReports) {
      set.report.Finish();
      set.finished[set.finishedCount++] = set.report;
      set.report.Start(core->Bssid.data(), core->StationAddress.data(), set.dialogToken);
      (void)AddResult(core, set.report);
    }
  }
  ContinueSet(core);
}

void CcxFreeMeasurementQueue(CoreAdapter* core) {
  core->Os->Table->AcquireSpinLock(&core->CcxLock);
  core->Ccx.queue.Clear();
  core->Os->Table->ReleaseSpinLock(&core->CcxLock);
}

void ClearCcxMeasurements(CoreAdapter* core) {
  if (!core->TimersReady) return;
  if (core->Ccx.set.running && core->Ccx.set.channelSwitched && core->MlmeState == kMlmeAssociated)
    hal::SendSetChannel(core->Hal, core->Ccx.set.homeChannel, nullptr);
  ResetSet(core);
  core->Ccx.version = 0;
  core->Ccx.present = 0;
  core->Ccx.ckipFlags = 0;
}

// --- beacon elements --------------------------------------------------------------------

void CcxProcessBeaconElements(CoreAdapter* core, int index) {
  if (core->MlmeState >= kMlmeIbssIdle && core->MlmeState <= kMlmeIbssRestarting) return;
  const BssRecord& record = core->Bss[index];
  const bool current = core->MlmeState == kMlmeAssociated &&
                       std::memcmp(record.Elements.Bssid, core->Bssid.data(), 6) == 0;
  const bool ccxAp = record.Elements.Ccx[0] != 0;
  CcxCore& ccx = core->Ccx;
  ForEachElement(record, [&](const std::uint8_t* e, std::uint32_t size) {
    if (current) {
      if (const auto level = CappedTxPowerLevel(e, size, core->Config.txPowerLevel)) {
        core->Config.txPowerLevel = *level;
        if (ccxAp) hal::SendTxPower(core->Hal, 1, *level);
      }
    }
    if (const auto version = CcxVersion(e, size)) ccx.version = *version;
    if (e[0] == kElementVendor && e[1] >= 4 && std::memcmp(e + 2, kCckmAkm, 3) == 0) {
      if (e[5] == kCcxPresenceType) ccx.present = 1;
      if (e[5] == kCcxQosType && current && e[1] >= 4 + 16) {
        const std::uint8_t* records = e + 6;
        if (std::memcmp(ccx.qos, records, sizeof ccx.qos) != 0) {
          std::memcpy(ccx.qos, records, sizeof ccx.qos);
          if (ccxAp) {
            // One command per access category, then one more that applies them.
            for (const auto& category : ccx.qos) hal::SendCmd0115(core->Hal, kQosAction, category);
            hal::SendCmd0115(core->Hal, kQosAction, {});
          }
        }
      }
    }
    if (const auto aironet = ParseAironetElement(e, size); aironet && current) {
      std::memset(ccx.aironet, 0, sizeof ccx.aironet);
      std::memcpy(ccx.aironet, e + 2, std::min<std::uint32_t>(e[1], sizeof ccx.aironet));
      ccx.ckipFlags = aironet->ckipFlags;
    }
  });
}

// --- adjacent-AP records and the roam report --------------------------------------------

bool CcxAddApRecord(CoreAdapter* core, const CcxApRecord& record) {
  if (record.type == 0) return false;
  CcxApRecord* free = nullptr;
  for (CcxApRecord& existing : core->Ccx.apRecords) {
    if (existing.type != 0 && std::memcmp(&existing, &record, sizeof record) == 0) return true;
    if (existing.type == 0 && free == nullptr) free = &existing;
  }
  if (free != nullptr) *free = record;
  return true;
}

bool CcxAddUtilityApRecord(CoreAdapter* core, const std::uint8_t* record, std::uint32_t length) {
  if (record == nullptr || length < 24) return false;
  CcxApRecord r;
  r.type = static_cast<std::uint16_t>(record[2] | record[3] << 8);
  std::memcpy(r.bssid, record + 4, 6);
  std::memcpy(r.ssid, record + 10, 14);
  return CcxAddApRecord(core, r);
}

void CcxSendApList(CoreAdapter* core) {
  if (core->MlmeState != kMlmeAssociated) return;
  const bool wep = core->Config.wepStatus == kEncryptionWep;
  for (CcxApRecord& r : core->Ccx.apRecords) {
    if (r.type == 0) continue;
    std::uint8_t body[kApListBodyBytes] = {};
    WriteIappHeader(body, sizeof body, kIappTypeApList, kIappSubtypeApList, core->Bssid.data(),
                    core->StationAddress.data());
    body[25] = static_cast<std::uint8_t>(r.type);
    std::memcpy(body + 26, r.bssid, 6);
    std::memcpy(body + 32, r.ssid, 16);
    if (!SendDataToBss(core, body, sizeof body, wep)) return;  // the rest stay listed
    r = CcxApRecord{};
  }
}

void CcxSendRoamReport(CoreAdapter* core) {
  const CcxCore& ccx = core->Ccx;
  const bool ccxAp = core->Station.CurrentBss.Elements.Ccx[0] != 0;
  if (!ccx.previousSaved || !ccxAp || std::memcmp(ccx.previousBssid, core->Bssid.data(), 6) == 0) return;
  const std::uint32_t ssidLength = std::min<std::uint32_t>(ccx.previousSsidLength, 32);
  std::uint8_t body[24 + 20 + 32] = {};
  const std::uint32_t length = 24 + 20 + ssidLength;
  WriteIappHeader(body, length, kIappTypeReport, 0, core->Bssid.data(), core->StationAddress.data());
  std::uint8_t* e = body + 24;
  PutBig16(e, kAdjacentApElement);
  PutBig16(e + 2, ssidLength + 16);
  std::memcpy(e + 4, kCckmAkm, 4);  // 00 40 96 00
  std::memcpy(e + 8, ccx.previousBssid, 6);
  PutBig16(e + 14, ccx.previousChannel);
  PutBig16(e + 16, ssidLength);
  std::memcpy(e + 18, ccx.previousSsid, ssidLength);
  // Seconds since the link to the previous access point was lost.
  PutBig16(e + 18 + ssidLength, std::min<std::uint32_t>(core->SecondsSinceLinkLoss, 0xFFFF));
  (void)SendDataToBss(core, body, length);
}

void CcxSaveCurrentAp(CoreAdapter* core) {
  CcxCore& ccx = core->Ccx;
  ccx.previousSaved = true;
  std::memcpy(ccx.previousBssid, core->Bssid.data(), 6);
  ccx.previousChannel = CurrentChannel(core);
  ccx.previousSsidLength = std::min<std::uint32_t>(core->CurrentSsid.length, 32);
  std::memcpy(ccx.previousSsid, core->CurrentSsid.bytes, ccx.previousSsidLength);
}

// --- CCKM -------------------------------------------------------------------------------

namespace {

constexpr std::uint32_t kAuthModeWpa = 3, kAuthModeWpa2 = 6;  // with 802.1X

// Where the AKM suites of a WPA or RSN element (whole element, within `size`) begin, after
// the count of them (in `count`); 0 when the element ends before them.
std::uint32_t AkmSuitesAt(const std::uint8_t* e, std::uint32_t size, std::uint32_t& count) {
  std::uint32_t at = 2;
  if (e[0] == kElementVendor) {
    if (size < 6 || std::memcmp(e + 2, kWpaOui, 4) != 0) return 0;
    at = 6;
  } else if (e[0] != kElementRsn) {
    return 0;
  }
  at += 2 + 4;  // version, group suite
  if (at + 2 > size) return 0;
  const std::uint32_t pairwise = e[at] | e[at + 1] << 8;
  at += 2 + 4 * pairwise;
  if (at + 2 > size) return 0;
  const std::uint32_t akms = e[at] | e[at + 1] << 8;
  at += 2;
  count = 0;
  while (count < akms && at + 4 * (count + 1) <= size) ++count;  // those within the element
  return at;
}

// The AKM suites of a WPA or RSN element include CCKM.
bool OffersCckm(const std::uint8_t* e, std::uint32_t size) {
  std::uint32_t count = 0;
  const std::uint32_t at = AkmSuitesAt(e, size, count);
  for (std::uint32_t i = 0; at != 0 && i < count; ++i)
    if (std::memcmp(e + at + 4 * i, kCckmAkm, 4) == 0) return true;
  return false;
}

}  // namespace

bool CcxCckmRoam(const CoreAdapter* core, const BssRecord& record) {
  if ((core->CcxWord & kCcxFlagCckm) == 0) return false;
  const std::uint32_t length = std::min<std::uint32_t>(record.BlockLength, sizeof record.Block);
  for (const bool rsn : {true, false}) {
    const std::uint8_t* e = FindSecurityElement(record.Block, length, rsn);
    if (e != nullptr && OffersCckm(e, 2u + e[1])) return true;
  }
  return false;
}

bool CcxNamesCckmAkm(const CoreAdapter* core, const BssRecord& record) {
  const std::uint32_t mode = core->Config.authMode;
  if ((core->CcxWord & kCcxFlagCckm) == 0 || (mode != kAuthModeWpa && mode != kAuthModeWpa2)) return false;
  const std::uint32_t length = std::min<std::uint32_t>(record.BlockLength, sizeof record.Block);
  const std::uint8_t* e = FindSecurityElement(record.Block, length, mode == kAuthModeWpa2);
  return e != nullptr && OffersCckm(e, 2u + e[1]);
}

bool CcxUseCckmAkm(std::uint8_t* element, std::uint32_t length) {
  std::uint32_t count = 0;
  const std::uint32_t at = length >= 2 ? AkmSuitesAt(element, length, count) : 0;
  if (at == 0 || count == 0) return false;
  std::memcpy(element + at, kCckmAkm, 4);
  return true;
}

bool CcxCckmWanted(CoreAdapter* core) {
  if (core->Ccx.cckmAnswered || core->Ccx.cckm.State() != kCckmNone) return false;
  // The first association has no CCKM key to offer: only a roam between access points of
  // the network reassociates.
  const bool roaming = core->ConnectReason == kReasonRoaming &&
                       std::memcmp(core->Station.CurrentEntry.MacAddress, core->Bssid.data(), 6) != 0;
  return roaming && CcxCckmRoam(core, core->Station.CurrentBss);
}

void CcxRequestCckm(CoreAdapter* core, const std::uint8_t* target) {
  std::uint8_t timestamp[8];
  std::uint8_t bssid[6];
  std::memcpy(timestamp, core->Station.CurrentBss.Elements.Timestamp, 8);
  std::memcpy(bssid, target, 6);
  core->Ccx.cckm.Request(timestamp, bssid);
}

CckmRefusal CcxSetCckmElement(CoreAdapter* core, const std::uint8_t* record, std::uint32_t length) {
  return core->Ccx.cckm.SetElement(record, length);
}

CckmRefusal CcxCancelCckm(CoreAdapter* core, const std::uint8_t* record, std::uint32_t length) {
  return core->Ccx.cckm.Cancel(record, length);
}

std::uint8_t* CcxAppendCckmElement(CoreAdapter* core, std::uint8_t* at) {
  CcxCore& ccx = core->Ccx;
  if (ccx.cckmAnswered && ccx.cckm.State() == kCckmGiven) {
    std::memcpy(at, ccx.cckm.Element(), ccx.cckm.ElementLength());
    at += ccx.cckm.ElementLength();
  }
  ccx.cckmAnswered = false;
  if (ccx.cckm.State() == kCckmGiven) ccx.cckm.Reset();
  return at;
}

namespace {

// No element came within the wait: the reassociation goes out without one.
void CckmWaitTimeout(OsTimerRecord* record) {
  if (CoreAdapter* core = CoreOfTimer(record); core != nullptr) core->Ccx.cckm.WaitTimeout();
}

NDIS_HANDLE AdapterHandleOf(const CoreAdapter* core) { return core->Head.Container->MiniportAdapterHandle; }

}  // namespace

void CcxCckmLink::IndicateStatus(std::uint32_t status, const std::uint8_t* payload, std::uint32_t length) {
  NdisMIndicateStatus(AdapterHandleOf(core), status, const_cast<std::uint8_t*>(payload), length);
  NdisMIndicateStatusComplete(AdapterHandleOf(core));
}

void CcxCckmLink::PostEvent(std::uint32_t event, const std::uint8_t* payload, std::uint32_t length) {
  zelnic::core::PostEvent(core, event, payload, length);
}

void CcxCckmLink::ArmWait(std::uint32_t ms) { ArmTimer(core, kTimerCckmWait, &CckmWaitTimeout, ms, false); }

void CcxCckmLink::CancelWait() { CancelTimer(core, kTimerCckmWait); }

void CcxCckmLink::SendReassociation(const std::uint8_t*, std::uint32_t) {
  CcxCore& ccx = core->Ccx;
  // The join ended while the host was asked: its answer is dropped.
  if (core->MlmeState != kMlmeAuthenticated) {
    ccx.cckm.Reset();
    return;
  }
  // The reassociation request picks the element up from the hook (or goes without it). One
  // that cannot go (no frame buffer) ends the attempt as a timeout would, so the roam never
  // stays waiting.
  ccx.cckmAnswered = true;
  if (SendReassociationRequest(core, ccx.cckm.Target()) != StatusSuccess) {
    ccx.cckmAnswered = false;
    ccx.cckm.Reset();
    MlmeTimeout(core);
  }
}

void CcxCckmLink::Disconnect() { DisconnectByState(core, true); }

}  // namespace zelnic::core
