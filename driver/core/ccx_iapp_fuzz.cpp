// IAPP frames and beacon elements are bytes from the air: any body parses as a measurement
// request, as an adjacent-AP list and as each CCX beacon element without reading outside it,
// and what it fills stays within its bounds.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "driver/core/ccx_beacon_elements.h"
#include "driver/core/ccx_iapp.h"
#include "driver/core/ccx_measurement_queue.h"
#include "driver/core/ccx_report.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::uint8_t> body(data, data + size);  // exactly the frame: reads beyond it are caught
  const auto length = static_cast<std::uint32_t>(body.size());
  zelnic::core::CcxRequestSet set;
  if (zelnic::core::ParseMeasurementRequest(body.data(), length, set) == zelnic::core::IappRefusal::None) {
    if (set.count > zelnic::core::kMeasurementPoolEntries) __builtin_trap();
    zelnic::core::CcxMeasurementQueue queue;
    queue.Load(set, 250, size > 30 ? data[30] : 0);
    zelnic::core::CcxMeasurementRequest r;
    unsigned taken = 0;
    while (queue.TakeNext(r)) ++taken;
    if (taken > set.count) __builtin_trap();
  }
  zelnic::core::ReceivedAp aps[zelnic::core::kReceivedApEntries];
  const unsigned n = zelnic::core::ParseAdjacentApList(body.data(), length, aps, zelnic::core::kReceivedApEntries);
  for (unsigned i = 0; i < n; ++i)
    if (aps[i].ssidLength > 32) __builtin_trap();
  if (const auto level = zelnic::core::CappedTxPowerLevel(body.data(), length, 4); level && (*level < 1 || *level > 3))
    __builtin_trap();
  // The same bytes as a BSS's elements in a beacon report: copied only within the block, and
  // the report stays within its frame.
  const std::uint8_t address[6] = {};
  const std::uint8_t timestamp[8] = {};
  zelnic::core::BeaconReportSource bss;
  bss.rssiDbm = -50;
  bss.bssid = address;
  bss.timestamp = timestamp;
  bss.elements = body.data();
  bss.elementsLength = length;
  zelnic::core::CcxReportBody report;
  report.Start(address, address, 1);
  const zelnic::core::CcxMeasurementRequest beacon{1, 0, 3, 6, 2, 50};
  while (report.AddBeacon(beacon, bss)) {
    if (report.Length() >= zelnic::core::kReportBodyLimit) __builtin_trap();
  }
  (void)zelnic::core::CcxVersion(body.data(), length);
  (void)zelnic::core::ParseAironetElement(body.data(), length);
  return 0;
}
