// Received management frames, by subtype: beacons and probe responses feed the BSS table,
// the rest go to MAC management.
#include "driver/core/management_receive.h"

#include "driver/core/bss_table.h"
#include "driver/core/core_adapter.h"
#include "driver/core/frame_builders.h"
#include "driver/core/frame_tests.h"
#include "driver/core/mlme.h"
#include "driver/ndis/status_codes.h"

namespace zelnic::core {
namespace {

// Waiting for an authentication or association response, the station ignores beacons.
bool IgnoresBeacons(const CoreAdapter* core) {
  return core->MlmeState == 1 || core->MlmeState == kMlmeAuthenticated || core->MlmeState == 4;
}

}  // namespace

ULONG ManagementFrameReceive(CoreAdapter* core, ReceiveRecord* record) {
  const std::uint8_t subtype = FrameControl0(record->Frame) >> 4;
  switch (subtype) {
    case kSubtypeAssociationRequest:
    case kSubtypeReassociationRequest:
    case kSubtypeProbeRequest:
    case kSubtypeAtim:
    case 15:
      return StatusSuccess;
    case kSubtypeProbeResponse:
      ProcessBeacon(core, record, true);
      return StatusSuccess;
    case kSubtypeBeacon:
      if (!IgnoresBeacons(core)) ProcessBeacon(core, record, false);
      return StatusSuccess;
    default:
      return MacManagementFrameReceive(core, record, subtype);
  }
}

}  // namespace zelnic::core
