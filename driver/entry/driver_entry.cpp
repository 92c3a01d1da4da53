// The Zelnic driver's entry: the miniport shell with the real layers below it.
#include "hosts/zelnicd/driver_entry.h"

#include "driver/core/core_adapter.h"
#include "driver/core/oid_requests.h"
#include "driver/hal/hal_adapter.h"
#include "driver/ndis/control_device.h"
#include "driver/ndis/miniport.h"
#include "driver/ndis/shell_links.h"

namespace {

constexpr ShellLinks kDriverLinks = {
    .CreateCoreAdapter = &zelnic::core::CreateCoreAdapter,
    .StartCore = &zelnic::core::StartCore,
    .LeaveNetworkForHalt = &zelnic::core::LeaveNetworkForHalt,
    .IsMediaConnected = &zelnic::core::IsMediaConnected,
    .ShadowBssList = &zelnic::core::ShadowBssList,
    .ShadowBssExtras = &zelnic::core::ShadowBssExtras,
    .QueryOid = &zelnic::core::CoreQueryOid,
    .SetOid = &zelnic::core::CoreSetOid,
    .StopFirmware = &zelnic::hal::StopFirmware,
    .StartTransmit = &zelnic::hal::RunTransmitService,
    .QueuePendingSend = &QueuePendingSend,
    .ClearControlDevices = &ClearControlDevices,
    .RegisterControlDevice = &RegisterControlDevice,
    .DeregisterControlDevice = &DeregisterControlDevice,
    .WaitForUtilityClose = &WaitForUtilityClose,
    .PostUtilityEvent = &PostUtilityEvent,
    .ReadUtilityEvents = &ReadUtilityEvents,
};

}  // namespace

NDIS_STATUS DriverEntry(PDRIVER_OBJECT driverObject, PUNICODE_STRING registryPath) {
  return ShellDriverEntry(driverObject, registryPath, &kDriverLinks);
}
