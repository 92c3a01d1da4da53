#include "utility/core/adapter_hardware_id.h"

#include <string>

namespace zelcon {

bool IsOurAdapter(std::string_view deviceName) {
  static constexpr std::string_view kHardwareIds[] = {
      "VEN_1E4D&DEV_1F", "VID_2B97&PID_1FA", "HALVANE-66Q6100_802.11B_PC_CARD",
      "VEN_1E4D&DEV_2A", "VID_2B97&PID_614"};
  std::string upper(deviceName);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  for (std::string_view id : kHardwareIds) {
    if (upper.find(id) != std::string::npos) return true;
  }
  return false;
}

}  // namespace zelcon
