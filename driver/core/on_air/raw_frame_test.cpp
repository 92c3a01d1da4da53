// OID_HLVN_SEND_FRAME over an open association: the raw 802.3 frame goes out through the
// station's send path to the access point (whose port hands EAPOL to its key exchange), and
// its completion reaches the utility as event 133 with the request's tag; bad records are
// refused, and the sixteen raw-frame packets come back to be used again. The chip layer counts the frame, and the next
// beacon of the network shows it on the LED.
#include <gtest/gtest.h>

#include "driver/core/leds.h"
#include "driver/core/on_air/air_station.h"
#include "driver/hal/hal_adapter.h"
#include "driver/entry/testing/ioctl_words.h"
#include "driver/ndis/control_device.h"
#include "driver/ndis/private_oids.h"
#include "driver/ndis/utility_events.h"
#include "sim/air/distribution_port.h"

namespace zelnic::core::testing {
namespace {

using namespace std::chrono_literals;
using zelnic::testing::WordAt;
using zelnic::testing::Words;

class RawFrame : public AirStation {
protected:
  void SetUp() override {
    StartWorld(kOpenWorld);
    // The access point's port hands EAPOL to its key exchange: here the test takes it.
    world->distributionPort(0)->setEapolHandler(
        [this](const simair::MacAddress& station, std::span<const std::uint8_t> eapol) {
          eapol_.push_back({station, std::vector<std::uint8_t>(eapol.begin(), eapol.end())});
        });
    // Joined before the utility attaches: the utility gate keeps NDIS's SSID set out after.
    ASSERT_EQ(SetSsid("Zelnet Open").status, NDIS_STATUS_SUCCESS);
    ASSERT_TRUE(Ap(0).associated(StationAddress()));
    device = AttachUtility();
    ASSERT_TRUE(device);
    (void)SentTags();
  }
  void TearDown() override {
    if (device) h.host->closeDevice(*device);
    AirStation::TearDown();
  }
  // The SEND_FRAME record of an EAPOL frame to the access point, and the device's answer.
  ULONG Send(std::uint16_t tag, std::vector<std::uint8_t> payload, std::uint16_t claimedLength = 0) {
    const simair::MacAddress ap = Ap(0).address();
    const simair::MacAddress station = StationAddress();
    std::vector<std::uint8_t> frame(ap.begin(), ap.end());
    frame.insert(frame.end(), station.begin(), station.end());
    frame.insert(frame.end(), {0x88, 0x8E});
    frame.insert(frame.end(), payload.begin(), payload.end());
    const std::uint16_t length = claimedLength != 0 ? claimedLength : static_cast<std::uint16_t>(frame.size());
    std::vector<std::uint8_t> set = Words({OID_HLVN_SEND_FRAME});
    set.insert(set.end(), {static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8),
                           static_cast<std::uint8_t>(tag), static_cast<std::uint8_t>(tag >> 8)});
    set.insert(set.end(), frame.begin(), frame.end());
    const auto reply = h.host->deviceIoControl(*device, IOCTL_HLVN_SET_OID, set, 4);
    EXPECT_EQ(reply.status, STATUS_SUCCESS);
    return WordAt(reply.output, 0);
  }
  // The tags of the raw-frame completions in the event ring, oldest first.
  std::vector<std::uint16_t> SentTags() {
    std::vector<std::uint16_t> tags;
    for (const UtilityEvent& e : ReadUtilityEventRing(*device)) {
      if (e.code != HLVN_EVENT_RAW_FRAME_SENT) continue;
      EXPECT_EQ(e.payload.size(), 2u);
      if (e.payload.size() == 2) tags.push_back(static_cast<std::uint16_t>(e.payload[0] | e.payload[1] << 8));
    }
    return tags;
  }
  struct Eapol {
    simair::MacAddress source;
    std::vector<std::uint8_t> payload;
  };
  // The oldest EAPOL frame the access point received, if any.
  std::optional<Eapol> TakeEapol() {
    if (eapol_.empty()) return std::nullopt;
    Eapol first = eapol_.front();
    eapol_.erase(eapol_.begin());
    return first;
  }
  std::vector<Eapol> eapol_;
  std::optional<ndis::NdisHost::DeviceHandle> device;
};

TEST_F(RawFrame, TheFrameReachesTheAccessPointAndItsCompletionCarriesTheTag) {
  const std::vector<std::uint8_t> start = {0x01, 0x01, 0x00, 0x00};  // EAPOL-Start
  ASSERT_EQ(Send(0x1234, start), NDIS_STATUS_SUCCESS);
  Advance(50ms);
  const auto out = TakeEapol();
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(out->source, StationAddress());
  EXPECT_EQ(out->payload, start);
  EXPECT_EQ(SentTags(), std::vector<std::uint16_t>{0x1234});

  // More frames than there are raw-frame packets, one at a time: each packet comes back.
  std::vector<std::uint16_t> expected;
  for (std::uint16_t tag = 1; tag <= 20; ++tag) {
    ASSERT_EQ(Send(tag, start), NDIS_STATUS_SUCCESS) << tag;
    Advance(20ms);
    ASSERT_TRUE(TakeEapol().has_value()) << tag;
    const auto tags = SentTags();
    EXPECT_EQ(tags, std::vector<std::uint16_t>{tag});
  }
}

TEST_F(RawFrame, TheBeaconAfterAFrameShowsTheTransmitLedAndAQuietOneTheLink) {
  Advance(300ms);
  EXPECT_EQ(h.core()->ShownLedEvent, kLedEventAssociated);
  ASSERT_EQ(Send(1, {0x01, 0x01, 0x00, 0x00}), NDIS_STATUS_SUCCESS);
  bool shown = false;
  for (int step = 0; step < 15 && !shown; ++step) {  // the next beacon comes within 100 ms
    Advance(10ms);
    shown = h.core()->ShownLedEvent == kLedEventTx;
  }
  EXPECT_TRUE(shown);
  EXPECT_EQ(h.hal()->tx.dataFrames, 0u);  // the beacon took the count
  Advance(300ms);
  EXPECT_EQ(h.core()->ShownLedEvent, kLedEventAssociated);
}

TEST_F(RawFrame, RecordsThatDoNotHoldTheirFrameAreRefusedAndSendNothing) {
  struct Case {
    const char* name;
    std::size_t payload;
    std::uint16_t claimed;
  };
  const Case cases[] = {
      {"claims more than came", 4, 40},
      {"shorter than an 802.3 header", 4, 13},
      {"longer than a ring buffer", 2032 - 14 + 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Send(7, std::vector<std::uint8_t>(c.payload, 0x5A), c.claimed), NDIS_STATUS_INVALID_DATA);
  }
  Advance(50ms);
  EXPECT_FALSE(TakeEapol().has_value());
  EXPECT_TRUE(SentTags().empty());
}

}  // namespace
}  // namespace zelnic::core::testing
