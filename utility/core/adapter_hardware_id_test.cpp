#include "utility/core/adapter_hardware_id.h"

#include <gtest/gtest.h>

namespace zelcon {
namespace {

TEST(AdapterHardwareId, OurIdsMatchInAnyCaseAndOthersDoNot) {
  struct Case {
    const char* name;
    bool ours;
  };
  const Case cases[] = {
      {"\\\\?\\PCI#VEN_1E4D&DEV_1F00&SUBSYS_00011E4D#wlan0#{ad498944-762f-11d0-8dcb-00c04fc3358c}",
       true},
      {"\\\\?\\pci#ven_1e4d&dev_2a01#eth1", true},
      {"USB\\VID_2B97&PID_1FA0", true},
      {"usb\\vid_2b97&pid_6140", true},
      {"PCMCIA\\Halvane-66Q6100_802.11b_PC_Card-1234", true},
      {"\\\\?\\PCI#VEN_1E4D&DEV_3000#eth1", false},
      {"\\\\?\\PCI#VEN_8086&DEV_1F00#eth0", false},
      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsOurAdapter(c.name), c.ours) << c.name;
}

}  // namespace
}  // namespace zelcon
