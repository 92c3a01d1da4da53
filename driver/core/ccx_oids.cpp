#include "driver/core/ccx_oids.h"

#include "driver/core/ccx_core.h"
#include "driver/core/core_adapter.h"
#include "driver/core/station_seams.h"
#include "driver/ndis/private_oids.h"
#include "driver/ndis/status_codes.h"

namespace zelnic::core {
namespace {

constexpr ULONG kApRecordBytes = 24;

ULONG CckmAnswer(CckmRefusal refusal) {
  switch (refusal) {
    case CckmRefusal::RecordTooShort:
      return StatusBufferTooShort;
    case CckmRefusal::ElementTooLong:
      return StatusInvalidData;
    default:
      return StatusSuccess;
  }
}

}  // namespace

bool SetCcxOid(CoreAdapter* core, NDIS_OID oid, PVOID buffer, ULONG length, PULONG read, ULONG& status) {
  const auto* in = static_cast<const std::uint8_t*>(buffer);
  switch (oid) {
    case OID_HLVN_CCX_AP_LIST:
      if (in == nullptr || length < kApRecordBytes) {
        status = StatusBufferTooShort;
        return true;
      }
      // The utility reports an access point it could not use: the station leaves it first.
      DisconnectByState(core, true);
      status = CcxAddUtilityApRecord(core, in, length) ? StatusSuccess : StatusInvalidData;
      *read = kApRecordBytes;
      return true;
    case OID_HLVN_CCX_SEND_AP_REPORT:
      CcxSendApList(core);
      status = StatusSuccess;
      return true;
    case OID_HLVN_CCX_ROAM:
      core->Ccx.cckm.Reset();
      CcxSendRoamReport(core);
      CcxSaveCurrentAp(core);
      *read = length;
      status = StatusSuccess;
      return true;
    case OID_HLVN_CCX_CCKM_ELEMENT:
      status = CckmAnswer(CcxSetCckmElement(core, in, length));
      if (status == StatusSuccess) *read = length;
      return true;
    case OID_HLVN_CCX_CCKM_CANCEL:
      status = CckmAnswer(CcxCancelCckm(core, in, length));
      if (status == StatusSuccess) *read = 4;
      return true;
    default:
      return false;
  }
}

}  // namespace zelnic::core
