#pragma once
// The SwiftBond exchange inside the station core: its frames go out through the core's
// frame queue as data frames to the BSSID, its step timer is the core's SwiftBond timer, its
// events go to the utility, and the OID layer reaches it through the routines below.
#include <cstdint>

#include "driver/core/swiftbond_exchange.h"
#include "driver/hal/receive_record.h"
#include "driver/ndis/os_service_table.h"

struct CoreAdapter;

namespace zelnic::core {

class SwiftBondCoreLink : public SwiftBondLink {
 public:
  bool Associated() override;
  bool SendBody(const std::uint8_t* body, std::uint32_t length) override;
  void ArmTimer(std::uint32_t ms) override;
  void CancelTimer() override;
  void PostEvent(std::uint32_t event) override;
  void RestoreTxPower() override;
  const std::uint8_t* Bssid() override;
  const std::uint8_t* StationAddress() override;
  std::uint16_t StationWord() override { return 0; }

  CoreAdapter* core = nullptr;  // set when the core is created
};

struct SwiftBondCore {
  SwiftBondCoreLink link;
  SwiftBondExchange exchange{link};
};

// A SwiftBond frame the data path received (the caller gives the record back).
void SwiftBondReceive(CoreAdapter* core, ReceiveRecord* record);
// OID_HLVN_SWIFTBOND_SECURITY: StatusBufferTooShort below 168 bytes.
ULONG SetSwiftBondSecurity(CoreAdapter* core, const void* buffer, ULONG length, PULONG read);
// OID_HLVN_SWIFTBOND_SETUP: always StatusSuccess once the 8-byte record is there.
ULONG SetSwiftBondSetup(CoreAdapter* core, const void* buffer, ULONG length, PULONG read);
// OID_HLVN_SWIFTBOND_AP_INFO.
void SwiftBondApInfo(CoreAdapter* core, std::uint8_t (&out)[kSwiftBondApInfoBytes]);

}  // namespace zelnic::core
