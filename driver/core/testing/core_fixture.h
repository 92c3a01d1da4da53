#pragma once
// The whole driver started over the simulated chip, with the chip layer's transmit, receive
// return and LED slots recorded, for the station core's tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

#include "driver/core/core_adapter.h"
#include "driver/core/frame_tests.h"
#include "driver/core/management_frames.h"
#include "driver/entry/testing/driver_harness.h"
#include "driver/hal/hal_adapter.h"

namespace zelnic::core::testing {

// The chip layer's slots that come with its rings, filled to see what the core hands down.
struct ChipLayerRecorder {
  static inline std::vector<ReceiveRecord*> returned;
  static inline std::vector<const void*> transmitted;
  static inline std::vector<ULONG> leds;
  static void Attach(HalAdapter* hal) {
    returned.clear();
    transmitted.clear();
    leds.clear();
    auto& ops = *const_cast<HalAdapterOps*>(reinterpret_cast<HalAdapterHead*>(hal)->Ops);
    ops.ReturnReceiveBuffer = [](HalAdapter*, ReceiveRecord* r) { returned.push_back(r); };
    ops.Transmit = [](HalAdapter*, SendDescriptor* d) -> ULONG {
      transmitted.push_back(d->Frame);
      return 0;
    };
    ops.SetLed = [](HalAdapter*, ULONG pattern) { leds.push_back(pattern); };
  }
};

class StartedDriver : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_EQ(h.start(), NDIS_STATUS_SUCCESS);
    core = h.core();
    ChipLayerRecorder::Attach(core->Hal);
    h.host->takeStatus();
  }

  // Hands `frame` (chip layout) up as the chip layer would, with `rssi` dBm; the status.
  ULONG receive(std::vector<std::uint8_t> frame, std::int32_t rssi = -50) {
    frame.resize(std::max<std::size_t>(frame.size(), 2032));
    const auto length = static_cast<ULONG>(FrameLength(frame));
    buffers_.push_back(std::move(frame));
    records_.push_back(std::make_unique<ReceiveRecord>());
    ReceiveRecord* record = records_.back().get();
    *record = ReceiveRecord{{nullptr}, buffers_.back().data(), length, 2032};
    ULONG status = 99;
    h.run([&] {
      core->LastRssi = rssi;
      status = CoreOps(core).Receive(core, record);
    });
    return status;
  }

  // The frames waiting in the management transmit queue, oldest first (chip layout).
  std::vector<std::vector<std::uint8_t>> queuedFrames() const {
    std::vector<std::vector<std::uint8_t>> frames;
    for (ListLink* link = static_cast<ListLink*>(core->Management.Queue.Head); link != nullptr; link = link->Next) {
      const auto* frame = reinterpret_cast<const ManagementFrameBuffer*>(link);
      frames.emplace_back(frame->Buffer, frame->Buffer + frame->Length);
    }
    return frames;
  }

  zelnic::testing::DriverHarness h;
  CoreAdapter* core = nullptr;

private:
  static std::size_t FrameLength(const std::vector<std::uint8_t>& frame) {
    return kChipHeaderBytes + (frame[0] | frame[1] << 8);
  }
  std::deque<std::vector<std::uint8_t>> buffers_;
  std::vector<std::unique_ptr<ReceiveRecord>> records_;
};

}  // namespace zelnic::core::testing
