#include "driver/core/eapol_hold_off.h"

#include "driver/core/core_adapter.h"
#include "driver/core/core_timer.h"

namespace zelnic::core {
namespace {

void HoldOffEnded(OsTimerRecord* record) { CoreOfTimer(record)->EapolHoldOff = 0; }

}  // namespace

void EapolHoldOff(CoreAdapter* core) {
  core->EapolHoldOff = 1;
  ArmTimer(core, kTimerEapolHoldOff, &HoldOffEnded, kEapolHoldOffMs, false);
}

}  // namespace zelnic::core
