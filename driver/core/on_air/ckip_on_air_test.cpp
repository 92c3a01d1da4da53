// The driver on WEP networks of a simulated access point. With CKIP flags in the access
// point's Aironet element every data frame checks the driver's CKIP (key permutation, CMIC)
// against the access point's, which was written apart from it: payloads arrive as sent both
// ways, and a frame whose payload and ICV an attacker changed together (RC4 and CRC-32 allow
// it) is refused by the CMIC on either side. On plain WEP, tshark decrypts every data frame
// the driver sent with the WEP key to the bytes the host sent.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "dcf1/src/crypto/crypto_test_support.h"
#include "driver/core/on_air/air_station.h"
#include "sim/air/ckip_protection.h"
#include "sim/air/distribution_port.h"
#include "sim/air/test_radio.h"
#include "sim/air/wep_protection.h"

namespace zelnic::core::testing {
namespace {

using namespace std::chrono_literals;
using simair::dot11::Bytes;

const simair::MacAddress kServer{0x02, 0x00, 0x00, 0x00, 0x09, 0x01};
const simair::MacAddress kListener{0x02, 0x00, 0x00, 0x00, 0x0E, 0x01};
// A local experimental EtherType: tshark shows its payload as data.
constexpr std::uint16_t kType = 0x88B5;
// Key 1 (the transmit key) and key 2 of the network, as the world and ADD_WEP give them.
const char* const kKey1Hex = "0a1b2c3d4e5f60718293a4b5c6";
const Bytes kKey1 = crypto_test::FromHex(kKey1Hex);
const Bytes kKey2 = crypto_test::FromHex("1122334455");

std::string WepWorld(const std::string& ccxWords) {
  return std::string("ap wep\n bssid 02:5a:4c:00:00:0c\n ssid \"Zelnet Wep\"\n channel 6\n security wep\n") +
         " wep-key 1 " + kKey1Hex + "\n wep-key 2 1122334455\n" + (ccxWords.empty() ? "" : " ccx 4 " + ccxWords + "\n");
}

ndis::EthFrame Ethernet(const simair::MacAddress& to, const simair::MacAddress& from, const Bytes& payload) {
  ndis::EthFrame frame(to.begin(), to.end());
  frame.insert(frame.end(), from.begin(), from.end());
  frame.push_back(static_cast<std::uint8_t>(kType >> 8));
  frame.push_back(static_cast<std::uint8_t>(kType));
  frame.insert(frame.end(), payload.begin(), payload.end());
  return frame;
}

Bytes Payload(std::size_t length, std::uint8_t seed) {
  Bytes payload(length);
  for (std::size_t i = 0; i < length; ++i) payload[i] = static_cast<std::uint8_t>(seed + i * 7);
  return payload;
}

// What an attacker does to a WEP or CKIP frame without the key: flips a bit of the last
// data byte and repairs the encrypted ICV, since both RC4 and CRC-32 are linear.
Bytes FlipLastDataBit(Bytes frame) {
  constexpr std::size_t kHeader = 24, kIv = 4, kIcv = 4;
  const std::size_t plainLength = frame.size() - kHeader - kIv - kIcv;
  Bytes delta(plainLength, 0), zeros(plainLength, 0);
  delta.back() = 0x01;
  frame[frame.size() - kIcv - 1] ^= 0x01;
  const std::uint32_t icvChange = simair::Crc32(delta) ^ simair::Crc32(zeros);
  for (std::size_t i = 0; i < kIcv; ++i)
    frame[frame.size() - kIcv + i] ^= static_cast<std::uint8_t>(icvChange >> (8 * i));
  return frame;
}

class WepStation : public AirStation {
protected:
  // Joins the WEP network with both keys set through ADD_WEP (key 1 to send with), as the
  // utility sets a static WEP profile before the SSID.
  void Join(const std::string& ccxWords, const std::string& pcap) {
    StartWorld(WepWorld(ccxWords), pcap);
    port = world->distributionPort(0);
    world->medium().join(listener);
    ASSERT_EQ(SetWord(OID_802_11_AUTHENTICATION_MODE, 0).status, NDIS_STATUS_SUCCESS);
    ASSERT_EQ(SetWord(OID_802_11_ENCRYPTION_STATUS, 0).status, NDIS_STATUS_SUCCESS);  // WEP
    ASSERT_EQ(h.host->set(OID_802_11_ADD_WEP, AddWepRecord(0x80000000u, kKey1)).status, NDIS_STATUS_SUCCESS);
    ASSERT_EQ(h.host->set(OID_802_11_ADD_WEP, AddWepRecord(1, kKey2)).status, NDIS_STATUS_SUCCESS);
    ASSERT_EQ(SetSsid("Zelnet Wep").status, NDIS_STATUS_SUCCESS);
    ASSERT_EQ(MediaEvents(), "C");
    Advance(300ms);  // beacons of the network the station is on
    (void)h.host->takeReceived();
    listener.heard.clear();
  }

  // Sends `payload` from the host to the server; the frame the access point passed on, or nothing.
  std::optional<simair::EthernetFrame> SendUp(const Bytes& payload) {
    h.host->send({Ethernet(kServer, StationAddress(), payload)});
    Advance(20ms);
    for (const auto& completion : h.host->takeSendCompletions()) EXPECT_EQ(completion.status, NDIS_STATUS_SUCCESS);
    return port->take();
  }

  // Sends `payload` from the server to the station; what the host received.
  std::vector<ndis::EthFrame> SendDown(const Bytes& payload) {
    EXPECT_EQ(port->deliver({StationAddress(), kServer, kType, payload}), simair::AccessPoint::DataOutcome::Sent);
    Advance(20ms);
    return h.host->takeReceived();
  }

  // The protected data frames heard on the air, the station's (ToDS) or the access point's to it.
  std::vector<Bytes> HeardData(bool fromStation) {
    std::vector<Bytes> frames;
    for (const auto& heard : listener.heard) {
      const simair::dot11::FrameView view(heard.frame.bytes);
      if (!view.is(simair::dot11::FrameType::Data, simair::dot11::subtype::Data) ||
          (view.flags() & simair::dot11::flag::Protected) == 0)
        continue;
      if (fromStation ? view.address2() == StationAddress() : view.address1() == StationAddress())
        frames.push_back(heard.frame.bytes);
    }
    listener.heard.clear();
    return frames;
  }

  simair::DistributionPort* port = nullptr;
  simair::TestRadio listener{kListener, 6};
};

struct CkipCase {
  const char* name;
  const char* words;  // the world's CKIP flags
  std::uint8_t flags;
};

void PrintTo(const CkipCase& c, std::ostream* os) { *os << c.name; }

class CkipOnAir : public WepStation, public ::testing::WithParamInterface<CkipCase> {};

TEST_P(CkipOnAir, DataCrossesBothWaysAndTheCmicRefusesAFrameChangedOnTheWay) {
  const CkipCase& c = GetParam();
  ASSERT_NO_FATAL_FAILURE(Join(c.words, ""));
  // The station took the flags from the access point's Aironet element.
  std::uint8_t stationFlags = 0;
  h.run([&] { stationFlags = core->Ccx.ckipFlags; });
  ASSERT_EQ(stationFlags, c.flags);
  const bool cmic = (c.flags & simair::kCkipCmic) != 0;

  // Up: payloads as sent. Under CMIC each frame carries the CKIP header with SEQ 0, 2, 4, ...
  std::vector<Bytes> sentUp;
  for (std::size_t i = 0; i < 3; ++i) {
    sentUp.push_back(Payload(45 + 700 * i, static_cast<std::uint8_t>(0x30 + i)));
    const auto out = SendUp(sentUp.back());
    ASSERT_TRUE(out.has_value()) << "refused " << port->refused() << ", CMIC failures "
                                 << port->keys().counters().cmicFailures;
    EXPECT_EQ(out->payload, sentUp.back());
  }
  const std::vector<Bytes> up = HeardData(true);
  ASSERT_EQ(up.size(), 3u);
  for (std::size_t i = 0; i < up.size(); ++i) {
    const std::span<const std::uint8_t> body(up[i].data() + 24, up[i].size() - 24);
    const auto plain = (c.flags & simair::kCkipKeyPermutation) != 0
                           ? simair::CkipOpen(simair::CkipKeyOf(kKey1), 1, body)
                           : simair::WepOpen(kKey1, body);
    ASSERT_TRUE(plain.has_value());
    ASSERT_GE(plain->size(), 16u);
    const bool ckipSnap = (*plain)[4] == 0x40 && (*plain)[5] == 0x96 && (*plain)[7] == 0x02;
    EXPECT_EQ(ckipSnap, cmic);
    if (cmic) {
      EXPECT_EQ(Bytes(plain->begin() + 12, plain->begin() + 16), (Bytes{0, 0, 0, static_cast<std::uint8_t>(2 * i)}));
    }
  }

  // Down: payloads as sent.
  for (std::size_t i = 0; i < 3; ++i) {
    const Bytes payload = Payload(30 + 600 * i, static_cast<std::uint8_t>(0x60 + i));
    const auto received = SendDown(payload);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(ndis::EthFrame(received[0].begin() + 14, received[0].end()), payload);
  }

  // A station's frame again, as it was (nothing counts sequence numbers) and changed on the way.
  const Bytes original = up[0];
  world->medium().transmit(listener, {original, 6, 2});
  Advance(10ms);
  const auto again = port->take();
  ASSERT_TRUE(again.has_value());
  EXPECT_EQ(again->payload, sentUp[0]);
  world->medium().transmit(listener, {FlipLastDataBit(original), 6, 2});
  Advance(10ms);
  const auto changedUp = port->take();
  if (cmic) {
    EXPECT_FALSE(changedUp.has_value()) << "the access point took a changed frame";
    EXPECT_EQ(port->keys().counters().cmicFailures, 1u);
  } else {  // without the CMIC the change goes through: what the CMIC is for
    ASSERT_TRUE(changedUp.has_value());
    EXPECT_NE(changedUp->payload, sentUp[0]);
  }

  // The access point's frame to the station, again as it was and changed.
  const Bytes down = Payload(64, 0x11);
  listener.heard.clear();
  ASSERT_EQ(SendDown(down).size(), 1u);
  const std::vector<Bytes> heardDown = HeardData(false);
  ASSERT_EQ(heardDown.size(), 1u);
  Ap(0).send(heardDown[0]);
  Advance(10ms);
  EXPECT_EQ(h.host->takeReceived().size(), 1u);
  Ap(0).send(FlipLastDataBit(heardDown[0]));
  Advance(10ms);
  const auto changedDown = h.host->takeReceived();
  if (cmic) {
    EXPECT_TRUE(changedDown.empty()) << "the station took a changed frame";
  } else {
    ASSERT_EQ(changedDown.size(), 1u);
    EXPECT_NE(ndis::EthFrame(changedDown[0].begin() + 14, changedDown[0].end()), down);
  }
  EXPECT_TRUE(Ap(0).associated(StationAddress()));
}

INSTANTIATE_TEST_SUITE_P(Flags, CkipOnAir,
                         ::testing::Values(CkipCase{"PermutationAndCmic", "kp cmic", 0x18},
                                           CkipCase{"PermutationOnly", "kp", 0x10},
                                           CkipCase{"CmicOnly", "cmic", 0x08}),
                         [](const auto& info) { return std::string(info.param.name); });

// tshark, given only the WEP key, decrypts every data frame the driver sent to the bytes the
// host sent; the access point's frames come up as they were sent.
TEST_F(WepStation, TsharkDecryptsEveryDataFrameTheDriverSentWithTheWepKey) {
  ASSERT_NO_FATAL_FAILURE(Join("", "wep_tshark"));
  std::set<std::string> sentUp;
  for (std::size_t i = 0; i < 3; ++i) {
    const Bytes payload = Payload(40 + 500 * i, static_cast<std::uint8_t>(0x20 + i));
    const auto out = SendUp(payload);
    ASSERT_TRUE(out.has_value()) << "refused " << port->refused();
    EXPECT_EQ(out->payload, payload);
    sentUp.insert(crypto_test::Hex(payload));
    const Bytes down = Payload(30 + 400 * i, static_cast<std::uint8_t>(0x70 + i));
    const auto received = SendDown(down);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(ndis::EthFrame(received[0].begin() + 14, received[0].end()), down);
  }

  const auto decrypted = TsharkDecryptedPayloads(pcapPath, StationAddress(), std::string("\"wep\",\"") + kKey1Hex + "\"");
  EXPECT_EQ(decrypted.size(), 3u);
  EXPECT_EQ(std::set<std::string>(decrypted.begin(), decrypted.end()), sentUp);
}

}  // namespace
}  // namespace zelnic::core::testing
