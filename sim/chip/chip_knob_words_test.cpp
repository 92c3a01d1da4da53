// The chip's fault knobs by name: each kind of value, and what is refused (with the knobs
// left as they were).
#include "sim/chip/chip_knob_words.h"

#include <gtest/gtest.h>

namespace simchip {
namespace {

TEST(ChipKnobWords, EachKindOfKnobTakesItsValue) {
  ChipKnobs knobs;
  std::string error;
  ASSERT_TRUE(SetChipKnob(knobs, "hold-transmit", "", error)) << error;
  EXPECT_TRUE(knobs.holdTransmit);
  ASSERT_TRUE(SetChipKnob(knobs, "command-latency", "5000", error)) << error;
  EXPECT_EQ(knobs.commandLatency, ndis::Micros(5000));
  ASSERT_TRUE(SetChipKnob(knobs, "memory-windows", "1", error)) << error;
  EXPECT_EQ(knobs.memoryWindows, 1u);
  ASSERT_TRUE(SetChipKnob(knobs, "refuse-block", "3", error)) << error;
  EXPECT_EQ(knobs.refuseBlock, 3u);
  ASSERT_TRUE(SetChipKnob(knobs, "report-tx-ring-register", "0x14000", error)) << error;
  EXPECT_EQ(knobs.reportTxRingRegister, 0x14000u);
}

TEST(ChipKnobWords, WhatDoesNotFitIsRefusedAndChangesNothing) {
  struct Case {
    const char* name;
    const char* value;
    const char* error;
  };
  const Case cases[] = {
      {"frobnicate", "", "unknown chip knob 'frobnicate'"},
      {"hold-transmit", "1", "chip knob 'hold-transmit' takes no value"},
      {"command-latency", "", "chip knob 'command-latency' takes microseconds from 0 to 60000000"},
      {"command-latency", "-1", "chip knob 'command-latency' takes microseconds from 0 to 60000000"},
      {"command-latency", "60000001", "chip knob 'command-latency' takes microseconds from 0 to 60000000"},
      {"command-latency", "5ms", "chip knob 'command-latency' takes microseconds from 0 to 60000000"},
      {"memory-windows", "3", "chip knob 'memory-windows' takes 0, 1 or 2"},
      {"refuse-block", "65536", "chip knob 'refuse-block' takes an image block from 0 to 65535"},
      {"report-tx-ring-register", "0x100000000", "chip knob 'report-tx-ring-register' takes a 32-bit offset in hex, like 0x4000"},
      {"report-tx-ring-register", "0x", "chip knob 'report-tx-ring-register' takes a 32-bit offset in hex, like 0x4000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + c.value);
    ChipKnobs knobs;
    std::string error;
    EXPECT_FALSE(SetChipKnob(knobs, c.name, c.value, error));
    EXPECT_EQ(error, c.error);
    EXPECT_FALSE(knobs.holdTransmit);
    EXPECT_EQ(knobs.commandLatency, ChipKnobs{}.commandLatency);
    EXPECT_EQ(knobs.memoryWindows, 2u);
    EXPECT_FALSE(knobs.refuseBlock);
    EXPECT_FALSE(knobs.reportTxRingRegister);
  }
}

}  // namespace
}  // namespace simchip
