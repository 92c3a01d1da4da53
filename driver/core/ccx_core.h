#pragma once
// CCX inside the station core: radio-measurement requests arrive as IAPP data frames, run
// one after the other on the chip's measurement commands (or from the BSS table), and are
// answered with IAPP report frames to the access point; the adjacent-AP records and the
// roam report; the CCKM hook of a reassociation; the CCX elements of the current network's
// beacons.
#include <cstdint>

#include "driver/core/ccx_cckm.h"
#include "driver/core/ccx_iapp.h"
#include "driver/core/ccx_measurement_queue.h"
#include "driver/core/ccx_report.h"
#include "driver/ndis/os_service_table.h"

struct CoreAdapter;

namespace zelnic::core {

struct BssRecord;

struct CcxApRecord {
  std::uint16_t type = 0;  // 0: free
  std::uint8_t bssid[6] = {};
  std::uint8_t ssid[16] = {};
};
constexpr unsigned kCcxApRecords = 16;

class CcxCckmLink : public CckmLink {
 public:
  void IndicateStatus(std::uint32_t status, const std::uint8_t* payload, std::uint32_t length) override;
  void PostEvent(std::uint32_t event, const std::uint8_t* payload, std::uint32_t length) override;
  void ArmWait(std::uint32_t ms) override;
  void CancelWait() override;
  void SendReassociation(const std::uint8_t* element, std::uint32_t length) override;
  void Disconnect() override;

  CoreAdapter* core = nullptr;  // set when the core is created
};

// The measurement set being answered.
struct CcxMeasurementSet {
  bool running = false;
  bool awaitingResult = false;  // a firmware measurement was stopped: its result ends it
  bool awaitingTsf = false;     // a beacon-table report waits for the chip's time
  bool channelSwitched = false;
  bool trafficHeld = false;     // the station measures away from its channel
  std::uint8_t homeChannel = 0;  // the channel the station was on
  std::uint16_t dialogToken = 0;
  std::uint8_t activationDelay = 0;
  std::uint8_t measurementOffset = 0;
  std::uint32_t parentTsf = 0;  // the chip's time when the beacon measurement began
  CcxMeasurementRequest current;
  CcxReportBody report;
  CcxReportBody finished[kMaxFinishedReports];
  unsigned finishedCount = 0;
};

struct CcxCore {
  CcxMeasurementQueue queue;  // under the core's CCX lock
  CcxRequestSet incoming;     // the receive path parses into it: nothing is allocated
  CcxMeasurementSet set;
  CcxApRecord apRecords[kCcxApRecords];
  ReceivedAp receivedAps[kReceivedApEntries];
  unsigned receivedApCount = 0;
  // The access point the station was with before its current one, for the roam report.
  bool previousSaved = false;
  std::uint8_t previousBssid[6] = {};
  std::uint16_t previousChannel = 0;
  std::uint8_t previousSsid[32] = {};
  std::uint32_t previousSsidLength = 0;
  std::uint8_t version = 0;   // of the current network's CCX version element
  std::uint8_t present = 0;   // the current network carries the CCX presence element
  std::uint8_t aironet[32] = {};  // the current network's Aironet element content
  std::uint8_t ckipFlags = 0;
  std::uint8_t qos[4][4] = {};  // the current network's four access-category records
  bool cckmAnswered = false;  // the host answered (or the wait ended): the reassociation goes out
  CcxCckmLink cckmLink;
  CckmHook cckm{cckmLink};
};

// The chip's time the firmware answered a beacon measurement's start with.
void CcxSetParentTsf(CoreAdapter* core, std::uint32_t tsf);
// The end of a beacon measurement's scan: what it heard goes into the report. False when the
// station has left its network meanwhile (the measurement set ends unanswered).
bool CcxMeasurementScanDone(CoreAdapter* core);

// An IAPP frame body (from its SNAP header) the data path received.
void CcxReceiveIapp(CoreAdapter* core, const std::uint8_t* body, std::uint32_t length);
// The CCX elements of a beacon or probe response of BSS `index`.
void CcxProcessBeaconElements(CoreAdapter* core, int index);

// The firmware's measurement result is in the core's measurement record (or the BSS table
// answers a beacon request): it joins the report, and the set goes on.
void CcxFirmwareEvent(CoreAdapter* core);
// Empties the queue of measurements asked for (under the CCX lock).
void CcxFreeMeasurementQueue(CoreAdapter* core);

// Adjacent-AP records: `record` goes into the first free entry unless an identical one is
// listed (a full list drops it); false for a record of type 0.
bool CcxAddApRecord(CoreAdapter* core, const CcxApRecord& record);
// The utility's record {u16 0, u16 type, BSSID, SSID[14]} (OID_HLVN_CCX_AP_LIST) into the list.
bool CcxAddUtilityApRecord(CoreAdapter* core, const std::uint8_t* record, std::uint32_t length);
// One adjacent-AP list frame per record (associated only); a record whose frame cannot be
// built stays listed.
void CcxSendApList(CoreAdapter* core);
// After a roam: the report about the previous access point to the current one, when there is
// a previous one and the current one is a CCX access point other than it.
void CcxSendRoamReport(CoreAdapter* core);
// The current access point becomes the previous one of the next roam report.
void CcxSaveCurrentAp(CoreAdapter* core);

// CCKM: whether a roam to the BSS of `record` keeps the link to the access point it leaves
// (CCKM on in the CCX flags and the BSS offers the CCKM AKM): no deauthentication first.
bool CcxCckmRoam(const CoreAdapter* core, const BssRecord& record);
// Whether the association with the chosen BSS becomes a reassociation that asks the host for
// a CCKM element first: a CCKM roam to another access point, the host not asked yet.
bool CcxCckmWanted(CoreAdapter* core);
// Indicates the request (the target's timestamp and `target`) and starts the 500 ms wait.
void CcxRequestCckm(CoreAdapter* core, const std::uint8_t* target);
// OID_HLVN_CCX_CCKM_ELEMENT {u32 valid, u32 length, element}: the host's answer.
CckmRefusal CcxSetCckmElement(CoreAdapter* core, const std::uint8_t* record, std::uint32_t length);
// OID_HLVN_CCX_CCKM_CANCEL {u32 flag}: ends the wait (flag 1 leaves the network).
CckmRefusal CcxCancelCckm(CoreAdapter* core, const std::uint8_t* record, std::uint32_t length);
// Whether the station's WPA or RSN element names the CCKM AKM for `record`'s BSS: CCKM on in
// the CCX flags, an 802.1X authentication mode and the BSS offering the CCKM AKM.
bool CcxNamesCckmAkm(const CoreAdapter* core, const BssRecord& record);
// Puts the CCKM AKM (00-40-96-00) in the place of the AKM suite of the station's WPA or RSN
// element at `element` (its whole `length`); false when the element holds no AKM suite.
bool CcxUseCckmAkm(std::uint8_t* element, std::uint32_t length);
// The element the host gave, behind the reassociation request's elements.
std::uint8_t* CcxAppendCckmElement(CoreAdapter* core, std::uint8_t* at);

}  // namespace zelnic::core
