// Protected data frames through the station core, looped back: an 802.3 frame is
// encapsulated, encrypted in a transmit-ring buffer as the chip layer does it, handed back
// to Receive fragment by fragment, decrypted, reassembled, checked and decapsulated, and
// what reaches NDIS is compared with what was sent. Keys come in through
// OID_802_11_ADD_KEY and OID_802_11_ADD_WEP as NDIS sets them.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <vector>

#include "driver/core/bss_table.h"
#include "driver/core/ccmp_cipher.h"
#include "driver/core/ckip_cipher.h"
#include "driver/core/michael.h"
#include "driver/core/station_seams.h"
#include "driver/core/tkip_cipher.h"
#include "driver/core/testing/core_fixture.h"
#include "driver/core/testing/protected_link.h"
#include "driver/core/testing/test_frames.h"
#include "driver/core/tkip_countermeasures.h"
#include "driver/core/wep_cipher.h"
#include "driver/hal/chip_frames.h"
#include "platform/ndis/ntddndis.h"

namespace zelnic::core::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr Address kPeer = {0x02, 0x00, 0x00, 0x00, 0x00, 0x77};
constexpr NDIS_STATUS kMediaSpecific = 0x40010012;

Bytes Ethernet(const Address& to, std::uint16_t type, std::size_t payload) {
  Bytes f(to.begin(), to.end());
  f.insert(f.end(), kStation.begin(), kStation.end());
  f.push_back(static_cast<std::uint8_t>(type >> 8));
  f.push_back(static_cast<std::uint8_t>(type));
  for (std::size_t i = 0; i < payload; ++i) f.push_back(static_cast<std::uint8_t>(i * 13 + 5));
  return f;
}

class ProtectedLoopback : public StartedDriver {
protected:
  // An infrastructure association to kApAddress under `cipher`, its keys set as the
  // supplicant sets them.
  void Associate(Cipher cipher) {
    Captured().clear();
    auto& table = *const_cast<OsServiceTable*>(core->Os->Table);
    table.IndicateReceive = [](OsLayer*, ReceiveIndication* indication) -> ULONG {
      const auto* data = static_cast<const std::uint8_t*>(indication->Data);
      Captured().emplace_back(data, data + indication->Length);
      return 0;
    };
    ASSERT_TRUE(AssociateUnder(h, core, cipher));
  }

  // Encapsulates `ethernet` and encrypts it in a ring-sized buffer; the chip-layout frames,
  // or nothing when the core refused the frame.
  std::vector<Bytes> SendToRing(const Bytes& ethernet) {
    Bytes packet = ethernet;
    Bytes ring(hal::kRingBufferBytes);
    std::vector<Bytes> frames;
    h.run([&] {
      const ULONG length = EncapsulateIntoRing(core, packet.data(), static_cast<ULONG>(packet.size()), ring.data());
      for (std::uint32_t at = 0; at + 32 <= length; at = hal::NextChipFrame(at, ring.data() + at))
        frames.emplace_back(ring.begin() + at, ring.begin() + at + 32 + hal::ChipFrameBody(ring.data() + at));
    });
    return frames;
  }

  // Hands one received chip-layout frame to Receive in a record that has a receive packet.
  ULONG Receive(const Bytes& frame) {
    auto& buffer = buffers_.emplace_back(frame);
    buffer.resize(hal::kRingBufferBytes);
    auto& record = records_.emplace_back(std::make_unique<ReceiveRecord>());
    *record = ReceiveRecord{{nullptr}, buffer.data(), static_cast<ULONG>(frame.size()), hal::kRingBufferBytes};
    record->Packet = reinterpret_cast<PNDIS_PACKET>(record.get());  // only looked at, never used
    ULONG status = 99;
    h.run([&] { status = CoreOps(core).Receive(core, record.get()); });
    return status;
  }

  // Every frame given back in order; the 802.3 frames that reached NDIS.
  std::vector<Bytes> ReceiveAll(const std::vector<Bytes>& frames) {
    Captured().clear();
    for (const Bytes& f : frames) (void)Receive(f);
    return Captured();
  }

  // Two forged TKIP frames (right ICV, wrong Michael) received `gap` apart; both are reported.
  void FailMichaelTwice(std::chrono::seconds gap) {
    h.run([&] { core->Keys.Entry(0).michaelTransmitKey[0] ^= 1; });
    const auto forged = SendToRing(Ethernet(kPeer, 0x0800, 100));
    const auto forged2 = SendToRing(Ethernet(kPeer, 0x0800, 100));
    h.run([&] { core->Keys.Entry(0).michaelTransmitKey[0] ^= 1; });
    EXPECT_TRUE(ReceiveAll({forged[0]}).empty());
    h.advance(gap);
    EXPECT_TRUE(ReceiveAll({forged2[0]}).empty());
    EXPECT_EQ(h.host->takeStatus().size(), 2u);
  }

  static std::vector<Bytes>& Captured() {
    static std::vector<Bytes> captured;
    return captured;
  }

private:
  std::deque<Bytes> buffers_;
  std::vector<std::unique_ptr<ReceiveRecord>> records_;
};

bool Contains(const Bytes& haystack, const Bytes& needle) {
  return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

TEST_F(ProtectedLoopback, EveryCipherCarriesFramesAndFragmentsBothWays) {
  struct Case {
    Cipher cipher;
    std::size_t payload;
    std::uint32_t threshold;
    std::size_t fragments;
  } cases[] = {
      {Cipher::kWep, 64, 2346, 1},   {Cipher::kWep, 1500, 2346, 1},  {Cipher::kWep, 576, 256, 3},
      {Cipher::kTkip, 64, 2346, 1},  {Cipher::kTkip, 1500, 2346, 1}, {Cipher::kTkip, 576, 256, 3},
      {Cipher::kCcmp, 64, 2346, 1},  {Cipher::kCcmp, 1500, 2346, 1}, {Cipher::kCcmp, 576, 256, 3},
      {Cipher::kTkip, 1500, 256, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << int(c.cipher) << " " << c.payload << " " << c.threshold);
    Associate(c.cipher);
    core->Config.fragThreshold = c.threshold;
    const Bytes sent = Ethernet(kPeer, 0x0800, c.payload);
    const std::vector<Bytes> frames = SendToRing(sent);
    ASSERT_EQ(frames.size(), c.fragments);
    const Bytes plainRun(sent.begin() + 20, sent.begin() + 36);  // payload bytes as sent
    for (const Bytes& f : frames) {
      EXPECT_LE(f.size() - 4, c.threshold);  // the whole MPDU with its FCS
      EXPECT_NE(f[3] & 0x40, 0);             // protected
      EXPECT_FALSE(Contains(f, plainRun));   // and not in the clear
    }
    const auto received = ReceiveAll(frames);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0], sent);
  }
}

// TKIP mixes the transmitter address into each frame's key: it is the frame's address 2 (the
// 802.3 source, which a bridge behind the station may set), as the receiver takes it.
TEST_F(ProtectedLoopback, TkipMixesTheAddressTheFrameIsSentFrom) {
  Associate(Cipher::kTkip);
  Bytes bridged = Ethernet(kPeer, 0x0800, 80);
  const Address behind = {0x02, 0x00, 0x00, 0x00, 0x00, 0x42};
  std::copy(behind.begin(), behind.end(), bridged.begin() + 6);
  const auto frames = SendToRing(bridged);
  ASSERT_EQ(frames.size(), 1u);
  const auto received = ReceiveAll(frames);
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0], bridged);
}

TEST_F(ProtectedLoopback, AReplayedFrameIsDropped) {
  for (const Cipher cipher : {Cipher::kTkip, Cipher::kCcmp}) {
    SCOPED_TRACE(int(cipher));
    Associate(cipher);
    const auto first = SendToRing(Ethernet(kPeer, 0x0800, 100));
    const auto second = SendToRing(Ethernet(kPeer, 0x0800, 100));
    ASSERT_EQ(ReceiveAll({second[0]}).size(), 1u);
    EXPECT_TRUE(ReceiveAll({second[0]}).empty());  // the same counter again
    EXPECT_TRUE(ReceiveAll({first[0]}).empty());   // an older one
  }
}

TEST_F(ProtectedLoopback, WithoutItsKeyAFrameIsRefusedAndNeverSentInTheClear) {
  for (const Cipher cipher : {Cipher::kWep, Cipher::kTkip, Cipher::kCcmp}) {
    SCOPED_TRACE(int(cipher));
    Associate(cipher);
    h.run([&] {
      ResetKeyState(core);
      for (WepKeyRecord& key : core->Config.wepKeys) key = WepKeyRecord{};
    });
    EXPECT_TRUE(SendToRing(Ethernet(kPeer, 0x0800, 100)).empty());
    // The 802.1X exchange still goes, in the clear.
    const auto eapol = SendToRing(Ethernet(kPeer, 0x888E, 40));
    ASSERT_EQ(eapol.size(), 1u);
    EXPECT_EQ(eapol[0][3] & 0x40, 0);
  }
}

TEST_F(ProtectedLoopback, AnEncryptionStatusWithoutACipherCarriesNoData) {
  Associate(Cipher::kCcmp);
  for (const std::uint32_t status : {3u, 7u, 9u}) {
    core->Config.wepStatus = status;
    EXPECT_TRUE(SendToRing(Ethernet(kPeer, 0x0800, 100)).empty()) << status;
  }
}

// A forged TKIP frame (right ICV, wrong Michael) is reported and leaves the receive TSC
// where it was, so the genuine frame with the next TSC still comes through.
TEST_F(ProtectedLoopback, AForgedTkipFrameIsReportedAndDoesNotMoveTheTsc) {
  Associate(Cipher::kTkip);
  h.run([&] { core->Keys.Entry(0).michaelTransmitKey[0] ^= 1; });
  const auto forged = SendToRing(Ethernet(kPeer, 0x0800, 100));
  h.run([&] { core->Keys.Entry(0).michaelTransmitKey[0] ^= 1; });
  const auto genuine = SendToRing(Ethernet(kPeer, 0x0800, 100));
  EXPECT_TRUE(ReceiveAll({forged[0]}).empty());
  EXPECT_EQ(core->Keys.Entry(0).receiveCounter, 0u);
  const auto status = h.host->takeStatus();
  ASSERT_EQ(status.size(), 1u);
  EXPECT_EQ(status[0].status, kMediaSpecific);
  ASSERT_EQ(status[0].payload.size(), 20u);
  EXPECT_EQ(status[0].payload[4], 16);  // Length
  EXPECT_TRUE(std::equal(kApAddress.begin(), kApAddress.end(), status[0].payload.begin() + 8));
  EXPECT_EQ(status[0].payload[16], 6);  // a pairwise key's failure
  EXPECT_EQ(ReceiveAll({genuine[0]}).size(), 1u);  // TSC 2 after the forged TSC 1
  EXPECT_EQ(core->Keys.Entry(0).receiveCounter, 2u);
}

// Two MIC failures within 60 s: data stops, the supplicant's EAPOL report still goes, 50 ms
// later the station deauthenticates with reason 14 and refuses SSID sets for 60 s. Failures
// further apart start nothing.
TEST_F(ProtectedLoopback, TwoMicFailuresWithinAMinuteStartTheCountermeasures) {
  using namespace std::chrono_literals;
  Associate(Cipher::kTkip);
  FailMichaelTwice(61s);
  EXPECT_EQ(SendToRing(Ethernet(kPeer, 0x0800, 100)).size(), 1u);  // nothing started

  Associate(Cipher::kTkip);
  FailMichaelTwice(59s);
  EXPECT_TRUE(SendToRing(Ethernet(kPeer, 0x0800, 100)).empty());  // data held back
  ClearQueue();
  EXPECT_EQ(SendToRing(Ethernet(kApAddress, 0x888E, 99)).size(), 1u);  // the report goes
  EXPECT_TRUE(SendToRing(Ethernet(kApAddress, 0x888E, 99)).empty());   // nothing after it
  h.advance(50ms);
  const auto queued = queuedFrames();
  ASSERT_FALSE(queued.empty());
  const Bytes& deauth = queued.back();
  EXPECT_EQ(deauth[2], 0xC0);
  EXPECT_EQ(deauth[32], 14);
  EXPECT_EQ(core->MediaDisconnected, 1);
  NDIS_802_11_SSID ssid{};
  ssid.SsidLength = 4;
  std::memcpy(ssid.Ssid, "Zeln", 4);
  Bytes set(reinterpret_cast<const std::uint8_t*>(&ssid), reinterpret_cast<const std::uint8_t*>(&ssid) + sizeof ssid);
  EXPECT_NE(h.host->set(OID_802_11_SSID, set).status, NDIS_STATUS_SUCCESS);
  h.advance(60s);
  EXPECT_FALSE(TkipCountermeasuresBlockSsid(core));
}

// The TKIP example MPDU of IEEE 802.11-2012 (M.6.3), sent by its access point with TSC 1:
// its Michael MIC is the standard's, and the station takes the frame under the pairwise key
// whose receive Michael key is bytes 16..23.
TEST_F(ProtectedLoopback, TheStandardsTkipExampleArrivesWithItsMichaelMic) {
  Associate(Cipher::kTkip);
  const Address ap = {0x02, 0x03, 0x04, 0x05, 0x06, 0x07};
  const Address station = {0x02, 0x03, 0x04, 0x05, 0x06, 0x08};
  h.run([&] { std::copy(ap.begin(), ap.end(), core->Bssid.begin()); });
  Bytes tk(32);
  for (std::size_t i = 0; i < tk.size(); ++i) tk[i] = Bytes{0x12, 0x34, 0x56, 0x78, 0x90}[i % 5];
  ASSERT_EQ(h.host->set(OID_802_11_ADD_KEY, KeyRecord(0xC0000000, tk)).status, NDIS_STATUS_SUCCESS);

  Bytes msdu = {0xaa, 0xaa, 0x03, 0x00, 0x00, 0x00, 0x08, 0x00, 0x45, 0x00, 0x00, 0x54, 0x00, 0x00, 0x40, 0x00,
                0x40, 0x01, 0xa5, 0x55, 0xc0, 0xa8, 0x0a, 0x02, 0xc0, 0xa8, 0x0a, 0x01, 0x08, 0x00, 0x3a, 0xb0,
                0x00, 0x00, 0x00, 0x00, 0xcd, 0x4c, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00};
  for (std::uint8_t b = 0x08; b <= 0x37; ++b) msdu.push_back(b);
  std::uint8_t mic[8];
  MichaelMic(tk.data() + 16, station.data(), ap.data(), 0, msdu.data(), static_cast<std::uint32_t>(msdu.size()), mic);
  EXPECT_EQ(Bytes(mic, mic + 8), (Bytes{0x68, 0x81, 0xa3, 0xf3, 0xd6, 0x48, 0xd0, 0x3c}));

  // The chip layout: body length, frame control (data, FromDS, protected), duration, A1..A3,
  // sequence control, A4, then IV, MSDU with its MIC, ICV.
  Bytes frame(32);
  frame[2] = 0x08;
  frame[3] = 0x42;
  frame[4] = 0x2c;
  std::copy(station.begin(), station.end(), frame.begin() + 6);
  std::copy(ap.begin(), ap.end(), frame.begin() + 12);
  std::copy(ap.begin(), ap.end(), frame.begin() + 18);
  frame[24] = 0xd0;
  frame[25] = 0x02;
  frame.resize(32 + 8);
  frame.insert(frame.end(), msdu.begin(), msdu.end());
  frame.insert(frame.end(), mic, mic + 8);
  frame.resize(frame.size() + 4);
  TkipKeyMixer mixer(tk.data(), ap.data());
  TkipEncrypt(mixer, 1, 0, frame.data() + 32, static_cast<std::uint32_t>(msdu.size() + 8));
  frame[0] = static_cast<std::uint8_t>(frame.size() - 32);
  frame[1] = static_cast<std::uint8_t>((frame.size() - 32) >> 8);

  const auto received = ReceiveAll({frame});
  ASSERT_EQ(received.size(), 1u);
  Bytes expected(station.begin(), station.end());
  expected.insert(expected.end(), ap.begin(), ap.end());
  expected.insert(expected.end(), msdu.begin() + 6, msdu.end());
  EXPECT_EQ(received[0], expected);
  EXPECT_EQ(core->Keys.Entry(0).receiveCounter, 1u);
}

// The EAPOL watch: an EAPOL-Start sent, or a WPA group-key message received, starts the
// hold-off; a pairwise message does not.
TEST_F(ProtectedLoopback, EapolStartsAndGroupKeyMessagesStartTheHoldOff) {
  Associate(Cipher::kTkip);
  Bytes start = Ethernet(kApAddress, 0x888E, 4);
  start[14] = 1;  // version
  start[15] = 1;  // EAPOL-Start
  EXPECT_EQ(core->EapolHoldOff, 0);
  EXPECT_EQ(SendToRing(start).size(), 1u);
  EXPECT_EQ(core->EapolHoldOff, 1);

  struct Case {
    std::uint8_t descriptor;
    std::uint8_t keyInfoLow;
    std::uint8_t holdOff;
  } cases[] = {{254, 0x21, 1}, {254, 0x09, 0}, {254, 0x01, 0}, {2, 0x21, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << int(c.descriptor) << " " << int(c.keyInfoLow));
    Associate(Cipher::kTkip);
    h.run([&] { core->EapolHoldOff = 0; });
    Bytes key = Ethernet(kApAddress, 0x888E, 95);
    key[14] = 1;
    key[15] = 3;  // EAPOL-Key
    key[18] = c.descriptor;
    key[19] = 0x03;
    key[20] = c.keyInfoLow;
    const auto frames = SendToRing(key);  // the pairwise key protects it; it comes back to us
    ASSERT_EQ(frames.size(), 1u);
    h.run([&] { core->EapolHoldOff = 0; });
    EXPECT_EQ(ReceiveAll(frames).size(), 1u);
    EXPECT_EQ(core->EapolHoldOff, c.holdOff);
  }
}

// FragAttacks: a fragment in the clear never joins a protected network's frame, and a key
// change forgets the fragments received so far.
TEST_F(ProtectedLoopback, FragmentsInTheClearAndAcrossARekeyAreRefused) {
  Associate(Cipher::kCcmp);
  core->Config.fragThreshold = 256;
  const Bytes sent = Ethernet(kPeer, 0x0800, 600);
  auto frames = SendToRing(sent);
  ASSERT_EQ(frames.size(), 3u);

  Bytes clear = frames[1];
  clear[3] &= static_cast<std::uint8_t>(~0x40);
  EXPECT_TRUE(ReceiveAll({frames[0], clear}).empty());

  frames = SendToRing(sent);
  (void)ReceiveAll({frames[0]});
  Bytes tk(16, 0x5C);
  ASSERT_EQ(h.host->set(OID_802_11_ADD_KEY, KeyRecord(0xC0000000, tk)).status, NDIS_STATUS_SUCCESS);
  EXPECT_EQ(core->Reassembly.Expected, 0);
  EXPECT_TRUE(ReceiveAll({frames[1], frames[2]}).empty());
}

// Frames shorter than their cipher's header and trailer are dropped before any length is
// taken from them.
TEST_F(ProtectedLoopback, ShortProtectedFramesAreDropped) {
  for (const Cipher cipher : {Cipher::kWep, Cipher::kTkip, Cipher::kCcmp}) {
    SCOPED_TRACE(int(cipher));
    Associate(cipher);
    const Bytes frame = SendToRing(Ethernet(kPeer, 0x0800, 10))[0];
    for (std::size_t body : {0u, 3u, 7u, 11u, 15u}) {
      Bytes cut(frame.begin(), frame.begin() + 32 + body);
      cut[0] = static_cast<std::uint8_t>(body);
      cut[1] = 0;
      EXPECT_TRUE(ReceiveAll({cut}).empty()) << body;
    }
  }
}

// NDIS_802_11_WEP {Length, KeyIndex, KeyLength, key}.
Bytes WepRecord(std::uint32_t keyIndex, std::uint8_t fill) {
  Bytes r(12 + 5, fill);
  const std::uint32_t words[3] = {static_cast<std::uint32_t>(r.size()), keyIndex, 5};
  std::memcpy(r.data(), words, sizeof words);
  return r;
}

// REMOVE_WEP with its transmit bit takes the transmit key away: the other stored keys still
// decrypt but none of them sends until a transmit key is set again.
TEST_F(ProtectedLoopback, RemovingTheWepTransmitKeyStopsSending) {
  Associate(Cipher::kWep);
  ASSERT_EQ(h.host->set(OID_802_11_ADD_WEP, WepRecord(2, 0x55)).status, NDIS_STATUS_SUCCESS);
  ASSERT_EQ(SendToRing(Ethernet(kPeer, 0x0800, 100)).size(), 1u);

  ASSERT_EQ(h.host->set(OID_802_11_REMOVE_WEP, Bytes{0, 0, 0, 0x80}).status, NDIS_STATUS_SUCCESS);
  EXPECT_TRUE(SendToRing(Ethernet(kPeer, 0x0800, 100)).empty());

  ASSERT_EQ(h.host->set(OID_802_11_ADD_WEP, WepRecord(0x80000001, 0x66)).status, NDIS_STATUS_SUCCESS);
  const auto frames = SendToRing(Ethernet(kPeer, 0x0800, 100));
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0][32 + 3] >> 6, 1);  // the IV's key id: the new transmit key
}

// Group frames under a WEP group key (its cipher chosen with the association) beside TKIP or
// CCMP pairwise keys are decrypted with that key.
constexpr Address kOtherAp = {0x00, 0x0C, 0x41, 0x10, 0x20, 0x99};
constexpr Address kEveryBss = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff};

// The MAC header of a protected FromDS frame to the broadcast address from kPeer behind the
// access point, in the chip layout, with `msdu` after `ivRoom` bytes and `trailer` bytes of room.
Bytes ProtectedGroupFrame(const Bytes& msdu, std::size_t ivRoom, std::size_t trailer) {
  Bytes frame(32);
  frame[2] = 0x08;
  frame[3] = 0x42;
  std::copy(kEveryBss.begin(), kEveryBss.end(), frame.begin() + 6);
  std::copy(kApAddress.begin(), kApAddress.end(), frame.begin() + 12);
  std::copy(kPeer.begin(), kPeer.end(), frame.begin() + 18);
  frame.resize(32 + ivRoom);
  frame.insert(frame.end(), msdu.begin(), msdu.end());
  frame.resize(frame.size() + trailer);
  frame[0] = static_cast<std::uint8_t>(frame.size() - 32);
  return frame;
}

Bytes RemoveKeyRecord(std::uint32_t keyIndex, const Address& bssid = kApAddress) {
  Bytes r(16);
  const std::uint32_t words[2] = {16, keyIndex};
  std::memcpy(r.data(), words, sizeof words);
  std::copy(bssid.begin(), bssid.end(), r.begin() + 8);
  return r;
}

// ADD_KEY and REMOVE_KEY against both tables: the adapter table takes every key it accepts;
// the per-BSS copy goes to the key's access point when the BSS table knows it, else to the
// current network; a key for every BSS, or one set in WPA-None, stays in the adapter table.
TEST_F(ProtectedLoopback, KeysReachTheAdapterTableAndTheirAccessPointsTable) {
  struct Case {
    const char* name;
    bool associated;
    std::uint32_t authMode;
    std::uint32_t keyIndex;
    Address bssid;
    NDIS_STATUS status;
    int adapterSlot;  // -1: none
    int bssSlot;      // entry of the current network's table; -1: no per-BSS key
  };
  const Case kCases[] = {
      {"pairwise for the access point", true, 7, 0xC0000000u, kApAddress, NDIS_STATUS_SUCCESS, 0, 0},
      {"receive-only group with identifier 0", true, 7, 0x00000000u, kApAddress, NDIS_STATUS_SUCCESS, 1, 1},
      {"transmit group 3", true, 7, 0x80000003u, kApAddress, NDIS_STATUS_SUCCESS, 3, 3},
      {"a BSSID the table does not know: the current network's", true, 7, 0xC0000000u, kOtherAp,
       NDIS_STATUS_SUCCESS, 0, 0},
      {"a group key for every BSS", true, 7, 0x00000002u, kEveryBss, NDIS_STATUS_SUCCESS, 2, -1},
      {"WPA-None", true, 5, 0x80000001u, kApAddress, NDIS_STATUS_SUCCESS, 0, -1},
      {"no network yet: the adapter table serves", false, 7, 0xC0000000u, kApAddress, NDIS_STATUS_SUCCESS, 0, -1},
      {"pairwise with identifier 1", true, 7, 0xC0000001u, kApAddress, NDIS_STATUS_INVALID_DATA, -1, -1},
      {"pairwise without the transmit bit", true, 7, 0x40000000u, kApAddress, NDIS_STATUS_INVALID_DATA, -1, -1},
  };
  Bytes tk(16);
  for (int i = 0; i < 16; ++i) tk[i] = static_cast<std::uint8_t>(0x70 + i);
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Associate(Cipher::kCcmp);
    h.run([&] {
      ResetKeyState(core);
      core->Config.authMode = c.authMode;
      if (!c.associated) core->MlmeState = kMlmeIdle;
    });
    Bytes record = KeyRecord(c.keyIndex, tk, 0, c.bssid);
    ASSERT_EQ(h.host->set(OID_802_11_ADD_KEY, record).status, c.status);
    if (c.status != NDIS_STATUS_SUCCESS) {
      for (std::uint32_t slot = 0; slot < 4; ++slot) EXPECT_EQ(core->Keys.Entry(slot).flags, 0);
      EXPECT_EQ(core->BssKeys.Find(kApAddress.data()), nullptr);
      continue;
    }
    EXPECT_EQ(core->Keys.Entry(c.adapterSlot).keyMaterial[15], 0x7F);
    BssKeyTable* table = core->BssKeys.Find(kApAddress.data());
    if (c.bssSlot < 0) {
      EXPECT_EQ(table, nullptr);
      continue;
    }
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->entries[c.bssSlot].keyMaterial[15], 0x7F);
    EXPECT_NE(table->entries[c.bssSlot].flags & kKeyValid, 0);
    // REMOVE_KEY takes it from both tables; a short record or the transmit bit changes nothing.
    // (a receive-only group key set with identifier 0 sits in slot 1 and is removed as 1)
    const std::uint32_t removeIndex = c.keyIndex == 0 ? 1 : c.keyIndex & 0x7FFFFFFFu;
    const Bytes full = RemoveKeyRecord(removeIndex);
    EXPECT_EQ(h.host->set(OID_802_11_REMOVE_KEY, Bytes(full.begin(), full.begin() + 13)).status,
              NDIS_STATUS_INVALID_DATA);
    EXPECT_EQ(h.host->set(OID_802_11_REMOVE_KEY, RemoveKeyRecord(removeIndex | 0x80000000u)).status,
              NDIS_STATUS_INVALID_DATA);
    EXPECT_EQ(h.host->set(OID_802_11_REMOVE_KEY, RemoveKeyRecord(4)).status, NDIS_STATUS_INVALID_DATA);
    EXPECT_NE(table->entries[c.bssSlot].flags, 0);
    ASSERT_EQ(h.host->set(OID_802_11_REMOVE_KEY, RemoveKeyRecord(removeIndex, c.bssid)).status, NDIS_STATUS_SUCCESS);
    EXPECT_EQ(table->entries[c.bssSlot].flags, 0);
    EXPECT_EQ(table->entries[c.bssSlot].keyMaterial[15], 0);
    EXPECT_EQ(core->Keys.Entry(c.adapterSlot).flags, 0);
  }
}

// CCMP sends and receives under the current network's per-BSS keys, which a scan that empties
// the BSS table leaves alone; once the pairwise key is removed nothing is sent.
TEST_F(ProtectedLoopback, CcmpKeysAreTheCurrentNetworksAndOutliveAScan) {
  Associate(Cipher::kCcmp);
  h.run([&] { ClearBssTable(core); });
  const Bytes sent = Ethernet(kPeer, 0x0800, 200);
  const auto frames = SendToRing(sent);
  ASSERT_EQ(frames.size(), 1u);
  const auto received = ReceiveAll(frames);
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0], sent);
  const BssKeyTable* table = core->BssKeys.Find(kApAddress.data());
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->entries[0].transmitCounter, 1u);  // the per-BSS entry counts the packet numbers
  EXPECT_EQ(table->entries[0].receiveCounter, 1u);

  ASSERT_EQ(h.host->set(OID_802_11_REMOVE_KEY, RemoveKeyRecord(0x40000000u)).status, NDIS_STATUS_SUCCESS);
  EXPECT_TRUE(SendToRing(Ethernet(kPeer, 0x0800, 100)).empty());
}

// A group key set for every BSS stays in the adapter table, where CCMP finds it for group
// frames; group traffic is not lost.
TEST_F(ProtectedLoopback, ACcmpGroupKeyForEveryBssDecryptsGroupFrames) {
  Associate(Cipher::kCcmp);
  Bytes gtk(16);
  for (int i = 0; i < 16; ++i) gtk[i] = static_cast<std::uint8_t>(0x90 + i);
  ASSERT_EQ(h.host->set(OID_802_11_ADD_KEY, KeyRecord(0x20000001u, gtk, 5, kEveryBss)).status, NDIS_STATUS_SUCCESS);

  // Under key id 1.
  const auto groupFrame = [&](std::uint64_t pn) {
    const Bytes msdu = {0xaa, 0xaa, 0x03, 0x00, 0x00, 0x00, 0x08, 0x06, 1, 2, 3, 4, 5, 6, 7, 8};
    Bytes frame = ProtectedGroupFrame(msdu, 8, 8);
    EXPECT_EQ(CcmpEncrypt(gtk.data(), frame.data() + 2, 30, pn, 1, frame.data() + 32,
                          static_cast<std::uint32_t>(msdu.size())),
              CcmpRefusal::kNone);
    return frame;
  };
  EXPECT_TRUE(ReceiveAll({groupFrame(5)}).empty());  // the KeyRSC: already seen
  const auto received = ReceiveAll({groupFrame(6)});
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(Bytes(received[0].begin(), received[0].begin() + 6), Bytes(kEveryBss.begin(), kEveryBss.end()));
}

// WPA-None peers share one key and each counts its own packet numbers: the same number from
// two peers (here the same frame twice) is accepted both times, under the adapter table's key.
TEST_F(ProtectedLoopback, WpaNoneCcmpHasNoReplayCheck) {
  Associate(Cipher::kCcmp);
  h.run([&] {
    ResetKeyState(core);
    core->Config.authMode = 5;
  });
  Bytes tk(16);
  for (int i = 0; i < 16; ++i) tk[i] = static_cast<std::uint8_t>(0x50 + i);
  ASSERT_EQ(h.host->set(OID_802_11_ADD_KEY, KeyRecord(0x80000000u, tk)).status, NDIS_STATUS_SUCCESS);
  EXPECT_EQ(core->BssKeys.Find(kApAddress.data()), nullptr);
  const Bytes sent = Ethernet(kPeer, 0x0800, 64);
  const auto frames = SendToRing(sent);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(ReceiveAll(frames).size(), 1u);
  EXPECT_EQ(ReceiveAll(frames).size(), 1u);
}

TEST_F(ProtectedLoopback, AWepGroupKeyBesideRsnPairwiseKeysDecryptsGroupFrames) {
  for (const Cipher cipher : {Cipher::kTkip, Cipher::kCcmp}) {
    SCOPED_TRACE(int(cipher));
    Associate(cipher);
    h.run([&] { core->Ciphers.GroupCipherStatus = 0; });
    const Bytes groupKey = {0x0A, 0x0B, 0x0C, 0x0D, 0x0E};
    ASSERT_EQ(h.host->set(OID_802_11_ADD_KEY, KeyRecord(0x00000002, groupKey)).status, NDIS_STATUS_SUCCESS);

    const Bytes msdu = {0xaa, 0xaa, 0x03, 0x00, 0x00, 0x00, 0x08, 0x00, 1, 2, 3, 4, 5, 6, 7, 8};
    Bytes frame = ProtectedGroupFrame(msdu, 4, 4);
    ASSERT_TRUE(WepEncrypt(frame.data() + 32, static_cast<std::uint32_t>(msdu.size()), 0x010203, 2, groupKey.data(),
                           static_cast<std::uint32_t>(groupKey.size())));

    const auto received = ReceiveAll({frame});
    ASSERT_EQ(received.size(), 1u);
    Bytes expected(kEveryBss.begin(), kEveryBss.end());
    expected.insert(expected.end(), kPeer.begin(), kPeer.end());
    expected.insert(expected.end(), msdu.begin() + 6, msdu.end());
    EXPECT_EQ(received[0], expected);
  }
}

}  // namespace
}  // namespace zelnic::core::testing

namespace zelnic::core::testing {
namespace {

// CKIP toward an access point whose Aironet element carries `flags`: the station's frames
// are opened and checked as the access point does (ToDS, CMIC over DA = address 3 and
// SA = address 2), then sent back FromDS under the same key, as the access point relays a
// frame, and must reach NDIS as sent.
class CkipLoopback : public ProtectedLoopback {
protected:
  void AssociateCkip(std::uint8_t flags, std::uint32_t status) {
    Associate(Cipher::kWep);  // the WEP key becomes the CKIP transmit key
    h.run([&] {
      core->Ccx.ckipFlags = flags;
      core->Config.wepStatus = status;
    });
    InstallCkipKey(key_, reinterpret_cast<const std::uint8_t*>("ABCDEFGHIJKLM"), 13);
  }

  // The access point's side: false when the frame does not open or its CMIC is wrong.
  // On success the frame comes back FromDS, its CMIC resealed when `cmic`.
  bool Relay(Bytes& f, bool permute, bool cmic, std::uint32_t* sequence = nullptr) {
    std::uint32_t data = 0;
    if (CkipDecrypt(f.data() + 32, static_cast<std::uint32_t>(f.size() - 32), key_, permute, 1, data) !=
        CkipRefusal::kNone)
      return false;
    std::uint8_t* plain = f.data() + 36;
    const Bytes da(f.begin() + 18, f.begin() + 24), sa(f.begin() + 12, f.begin() + 18);
    if (cmic && !CkipCmicMatches(key_.key, da.data(), sa.data(), plain, data)) return false;
    if (sequence != nullptr) *sequence = plain[12] << 24 | plain[13] << 16 | plain[14] << 8 | plain[15];
    f[3] = static_cast<std::uint8_t>((f[3] & ~0x03) | 0x02);  // FromDS
    std::copy(da.begin(), da.end(), f.begin() + 6);
    std::copy(kApAddress.begin(), kApAddress.end(), f.begin() + 12);
    std::copy(sa.begin(), sa.end(), f.begin() + 18);
    if (cmic) CkipSealCmic(key_.key, da.data(), sa.data(), plain, data);
    CkipEncrypt(f.data() + 32, data, 0x000102, 0, key_, permute, 2);
    return true;
  }

  CkipKeyRecord key_;
};

TEST_F(CkipLoopback, FramesAndFragmentsGoOutUnderCkipAndComeBack) {
  struct Case {
    std::uint8_t flags;
    std::uint32_t status;
    std::size_t payload;
    std::uint32_t threshold;
    std::size_t fragments;
  } cases[] = {
      {0x18, 0, 64, 2346, 1},  {0x18, 0, 1500, 2346, 1}, {0x18, 0, 576, 256, 3},  // permutation and CMIC
      {0x10, 0, 100, 2346, 1},                                                  // permutation only
      {0x08, 4, 100, 2346, 1}, {0x18, 4, 576, 256, 3},                          // under the TKIP status
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << int(c.flags) << " " << c.status << " " << c.payload);
    AssociateCkip(c.flags, c.status);
    core->Config.fragThreshold = c.threshold;
    const bool permute = (c.flags & 0x10) != 0, cmic = (c.flags & 0x08) != 0;
    for (std::uint32_t round = 0; round < 2; ++round) {
      const Bytes sent = Ethernet(kPeer, 0x0800, c.payload);
      std::vector<Bytes> frames = SendToRing(sent);
      ASSERT_EQ(frames.size(), c.fragments);
      const Bytes plainRun(sent.begin() + 20, sent.begin() + 36);
      for (Bytes& f : frames) {
        EXPECT_NE(f[3] & 0x40, 0);
        EXPECT_FALSE(Contains(f, plainRun));
      }
      if (c.fragments == 1) {
        std::uint32_t sequence = 99;
        ASSERT_TRUE(Relay(frames[0], permute, cmic, &sequence));
        if (cmic) {
          EXPECT_EQ(sequence, 2 * round);  // 0, 2, ... from the install
        }
      } else {
        // Fragments are relayed one by one; the CMIC covers the whole MSDU, checked on receive.
        for (Bytes& f : frames) ASSERT_TRUE(Relay(f, permute, false));
      }
      const auto received = ReceiveAll(frames);
      ASSERT_EQ(received.size(), 1u);
      EXPECT_EQ(received[0], sent);
    }
  }
}

TEST_F(CkipLoopback, AWrongCmicIsDroppedAndSequenceNumbersAreNotCheckedForReplays) {
  AssociateCkip(0x18, 0);
  std::vector<Bytes> frames = SendToRing(Ethernet(kPeer, 0x0800, 100));
  ASSERT_EQ(frames.size(), 1u);
  ASSERT_TRUE(Relay(frames[0], true, true));
  EXPECT_EQ(ReceiveAll(frames).size(), 1u);
  EXPECT_EQ(ReceiveAll(frames).size(), 1u);  // the same SEQ again is delivered: no replay check

  // A frame whose CMIC field was changed: its ICV is right, its CMIC is not.
  std::vector<Bytes> forged = SendToRing(Ethernet(kPeer, 0x0800, 100));
  ASSERT_TRUE(Relay(forged[0], true, true));
  std::uint32_t data = 0;
  ASSERT_EQ(CkipDecrypt(forged[0].data() + 32, static_cast<std::uint32_t>(forged[0].size() - 32), key_, true, 2, data),
            CkipRefusal::kNone);
  forged[0][36 + 8] ^= 0x01;  // the CMIC field
  CkipEncrypt(forged[0].data() + 32, data, 0x000103, 0, key_, true, 2);
  EXPECT_TRUE(ReceiveAll(forged).empty());
}

TEST_F(CkipLoopback, EapolGoesInTheClearAndWithoutAKeyNothingIsSent) {
  AssociateCkip(0x18, 0);
  const auto eapol = SendToRing(Ethernet(kApAddress, 0x888E, 40));
  ASSERT_EQ(eapol.size(), 1u);
  EXPECT_EQ(eapol[0][3] & 0x40, 0);
  h.run([&] { ResetCkipKeys(core); });
  EXPECT_TRUE(SendToRing(Ethernet(kPeer, 0x0800, 100)).empty());
}

// After an 802.1X authentication the access point's first frame may come before the host has
// set the keys: it is held (a second one is dropped) and goes up once, when the second key
// is installed. A new authentication mode gives a held frame back unread, exactly once.
TEST_F(CkipLoopback, AFrameBeforeItsKeysIsHeldAndDeliveredOnceTheSecondKeyArrives) {
  AssociateCkip(0x18, 0);
  const Bytes sent = Ethernet(kPeer, 0x0800, 100);
  std::vector<Bytes> frames = SendToRing(sent);
  ASSERT_EQ(frames.size(), 1u);
  ASSERT_TRUE(Relay(frames[0], true, true));
  Bytes wep = {28, 0, 0, 0, 0, 0, 0, 0x80, 13, 0, 0, 0};
  for (int i = 0; i < 13; ++i) wep.push_back(static_cast<std::uint8_t>(0x41 + i));
  Bytes groupWep = wep;
  groupWep[4] = 1;
  groupWep[7] = 0;

  const auto openAuthentication = [&] { return h.host->set(OID_802_11_AUTHENTICATION_MODE, Bytes(4, 0)).status; };

  for (const bool keysArrive : {true, false}) {
    SCOPED_TRACE(keysArrive);
    ASSERT_EQ(openAuthentication(), NDIS_STATUS_SUCCESS);  // keys and count start afresh
    ChipLayerRecorder::returned.clear();
    EXPECT_TRUE(ReceiveAll({frames[0]}).empty());
    EXPECT_TRUE(ChipLayerRecorder::returned.empty());  // held, not given back
    EXPECT_TRUE(ReceiveAll({frames[0]}).empty());
    EXPECT_EQ(ChipLayerRecorder::returned.size(), 1u);  // the second is dropped
    if (keysArrive) {
      ASSERT_EQ(h.host->set(OID_802_11_ADD_WEP, wep).status, NDIS_STATUS_SUCCESS);
      EXPECT_TRUE(Captured().empty());  // one key is not enough
      ASSERT_EQ(h.host->set(OID_802_11_ADD_WEP, groupWep).status, NDIS_STATUS_SUCCESS);
      ASSERT_EQ(Captured().size(), 1u);
      EXPECT_EQ(Captured()[0], sent);
    } else {
      ASSERT_EQ(openAuthentication(), NDIS_STATUS_SUCCESS);
      EXPECT_EQ(ChipLayerRecorder::returned.size(), 2u);  // given back unread
      ASSERT_EQ(h.host->set(OID_802_11_ADD_WEP, wep).status, NDIS_STATUS_SUCCESS);
      ASSERT_EQ(h.host->set(OID_802_11_ADD_WEP, groupWep).status, NDIS_STATUS_SUCCESS);
    }
    // A third key releases nothing more.
    ASSERT_EQ(h.host->set(OID_802_11_ADD_WEP, wep).status, NDIS_STATUS_SUCCESS);
    EXPECT_EQ(Captured().size(), keysArrive ? 1u : 0u);
    Captured().clear();
  }
}

}  // namespace
}  // namespace zelnic::core::testing
