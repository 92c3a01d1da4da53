// The driver's OID tables over the whole driver in virtual time: the shell's own answers,
// the utility gate, and the core's and chip layer's tables with their refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "driver/core/oid_requests.h"
#include "driver/entry/testing/driver_harness.h"
#include "driver/entry/testing/ioctl_words.h"
#include "driver/hal/firmware_commands.h"
#include "driver/hal/hal_adapter.h"
#include "driver/ndis/control_device.h"
#include "driver/ndis/miniport_context.h"
#include "driver/ndis/private_oids.h"
#include "platform/ndis/ntddndis.h"

namespace zelnic {
namespace {

using testing::DriverHarness;
using testing::WordAt;
using testing::Words;
using Bytes = std::vector<std::uint8_t>;

struct OidTables : ::testing::Test {
  void SetUp() override { ASSERT_EQ(h.start(), NDIS_STATUS_SUCCESS); }
  MiniportContext* context() { return static_cast<MiniportContext*>(h.host->miniportContext()); }
  std::size_t commandsOf(std::uint16_t code) {
    h.advance(std::chrono::milliseconds(20));
    return std::count_if(h.chip.commands().begin(), h.chip.commands().end(),
                         [&](const auto& command) { return command.code == code; });
  }
  DriverHarness h;
};

TEST_F(OidTables, TheSupportedListIsSortedWithoutDuplicatesAndNeeds416Bytes) {
  const auto shortBuffer = h.host->query(OID_GEN_SUPPORTED_LIST, 415);
  EXPECT_EQ(shortBuffer.status, NDIS_STATUS_BUFFER_TOO_SHORT);
  EXPECT_EQ(shortBuffer.bytesNeeded, 416u);
  const auto list = h.host->query(OID_GEN_SUPPORTED_LIST, 416);
  ASSERT_EQ(list.status, NDIS_STATUS_SUCCESS);
  ASSERT_EQ(list.bytesDone % 4, 0u);
  std::vector<std::uint32_t> oids(list.bytesDone / 4);
  std::memcpy(oids.data(), list.data.data(), list.bytesDone);
  EXPECT_EQ(oids.size(), 104u);
  EXPECT_TRUE(std::is_sorted(oids.begin(), oids.end()));
  EXPECT_EQ(std::adjacent_find(oids.begin(), oids.end()), oids.end());
  for (NDIS_OID listed : {OID_GEN_SUPPORTED_GUIDS, OID_HLVN_EVENT_RING, OID_HLVN_EXT_06, 0xFF010218u}) {
    EXPECT_TRUE(std::binary_search(oids.begin(), oids.end(), listed)) << std::hex << listed;
  }
  // Handled but not listed.
  for (NDIS_OID unlisted : {OID_HLVN_SSID, OID_HLVN_UTILITY_MODE, OID_802_11_CAPABILITY, OID_802_11_PMKID}) {
    EXPECT_FALSE(std::binary_search(oids.begin(), oids.end(), unlisted)) << std::hex << unlisted;
  }
}

TEST_F(OidTables, DriverVersionGuidsAndCapabilityHaveTheirExactBytes) {
  const auto version = h.host->query(OID_GEN_DRIVER_VERSION, 4);
  EXPECT_EQ(version.bytesDone, 2u);
  EXPECT_EQ(version.data[0] | version.data[1] << 8, 0x0501);

  const auto guids = h.host->query(OID_GEN_SUPPORTED_GUIDS, 224);
  ASSERT_EQ(guids.bytesDone, 224u);
  // First record: 21190696-118d-4654-9e9a-c69ca7c795b8, OID_HLVN_CCX_FLAGS, 4 bytes, flags 0x61.
  const Bytes first{0x96, 0x06, 0x19, 0x21, 0x8d, 0x11, 0x54, 0x46, 0x9e, 0x9a, 0xc6, 0x9c, 0xa7, 0xc7,
                    0x95, 0xb8, 0x00, 0xA0, 0xCC, 0xFF, 4,    0,    0,    0,    0x61, 0,    0,    0};
  EXPECT_EQ(Bytes(guids.data.begin(), guids.data.begin() + 28), first);
  const Bytes data(guids.data.begin(), guids.data.begin() + 224);
  EXPECT_EQ(WordAt(data, 5 * 28 + 16), 0xFFCCA005u);  // the status record
  EXPECT_EQ(WordAt(data, 5 * 28 + 20), 0xFFFFFFFFu);
  EXPECT_EQ(WordAt(data, 5 * 28 + 24), 0x62u);
  EXPECT_EQ(h.host->query(OID_GEN_SUPPORTED_GUIDS, 223).bytesNeeded, 224u);

  const auto capability = h.host->query(OID_802_11_CAPABILITY, 200);
  ASSERT_EQ(capability.bytesDone, 136u);
  const Bytes record(capability.data.begin(), capability.data.begin() + 136);
  EXPECT_EQ(WordAt(record, 0), 136u);
  EXPECT_EQ(WordAt(record, 4), 2u);
  EXPECT_EQ(WordAt(record, 8), 16u);
  EXPECT_EQ(WordAt(record, 12), 14u);
  EXPECT_EQ(WordAt(record, 16 + 8 * 4), 3u);       // the fifth pair: (3, 4)
  EXPECT_EQ(WordAt(record, 16 + 8 * 4 + 4), 4u);
  EXPECT_EQ(WordAt(record, 16 + 8 * 13 + 4), 6u);  // the last pair: (7, 6)
  EXPECT_EQ(WordAt(record, 128), 0u);
  EXPECT_EQ(WordAt(record, 132), 0u);
}

TEST_F(OidTables, CoreAndChipLayerQueriesAnswerTheirValues) {
  struct Case {
    NDIS_OID oid;
    std::uint32_t value;
  };
  const Case cases[] = {
      {OID_GEN_MAXIMUM_FRAME_SIZE, 1500}, {OID_GEN_MAXIMUM_TOTAL_SIZE, 1514}, {OID_GEN_MAC_OPTIONS, 13},
      {OID_GEN_PHYSICAL_MEDIUM, 1},       {OID_GEN_MEDIA_IN_USE, 0},          {OID_GEN_HARDWARE_STATUS, 0},
      {OID_GEN_TRANSMIT_BUFFER_SPACE, 20'000}, {OID_GEN_RECEIVE_BUFFER_SPACE, 0x2F500},
      {OID_GEN_TRANSMIT_BLOCK_SIZE, 1514}, {OID_802_3_MAXIMUM_LIST_SIZE, 32}, {OID_GEN_MAXIMUM_LOOKAHEAD, 1500},
      {OID_802_11_FRAGMENTATION_THRESHOLD, 2346}, {OID_802_11_INFRASTRUCTURE_MODE, 1},
      {OID_HLVN_RADIO_ON, 1},
  };
  for (const Case& c : cases) {
    const auto answer = h.host->query(c.oid, 4);
    EXPECT_EQ(answer.status, NDIS_STATUS_SUCCESS) << std::hex << c.oid;
    EXPECT_EQ(WordAt(answer.data, 0), c.value) << std::hex << c.oid;
  }
  EXPECT_EQ(h.host->query(OID_802_11_BSSID, 6).status, NDIS_STATUS_ADAPTER_NOT_READY);  // not associated
  EXPECT_EQ(h.host->query(OID_802_11_PRIVACY_FILTER, 4).status, NDIS_STATUS_NOT_SUPPORTED);
  EXPECT_EQ(h.host->query(OID_HLVN_EXT_00, 4).status, NDIS_STATUS_NOT_SUPPORTED);  // listed, no handler

  const auto current = h.host->query(OID_802_3_CURRENT_ADDRESS, 6);
  EXPECT_EQ(Bytes(current.data.begin(), current.data.begin() + 6),
            Bytes(h.hal()->currentMac.begin(), h.hal()->currentMac.end()));

  // 64-bit counters: 8 bytes, or the low half in 4..7 bytes with 8 needed.
  const auto four = h.host->query(OID_GEN_XMIT_OK, 4);
  EXPECT_EQ(four.status, NDIS_STATUS_SUCCESS);
  EXPECT_EQ(four.bytesDone, 4u);
  EXPECT_EQ(four.bytesNeeded, 8u);
  EXPECT_EQ(h.host->query(OID_GEN_XMIT_OK, 8).bytesDone, 8u);
  EXPECT_EQ(h.host->query(OID_GEN_XMIT_OK, 3).status, NDIS_STATUS_BUFFER_TOO_SHORT);
}

TEST_F(OidTables, TheChannelIsTheCurrentBsssOnceThereIsOne) {
  EXPECT_EQ(WordAt(h.host->query(OID_HLVN_CHANNEL, 4).data, 0), 1u);  // the configured channel
  h.run([&] { h.core()->Frequency = 2'462'000; });                    // joined on channel 11
  EXPECT_EQ(WordAt(h.host->query(OID_HLVN_CHANNEL, 4).data, 0), 11u);
}

// A key record {Length, KeyIndex, KeyLength, ...} of `bytes` bytes, the rest filled with `fill`.
Bytes KeyRecordBytes(std::uint32_t index, std::uint32_t keyLength, std::size_t bytes, std::uint8_t fill) {
  Bytes data(bytes, fill);
  const std::uint32_t header[] = {static_cast<std::uint32_t>(bytes), index, keyLength};
  std::memcpy(data.data(), header, std::min<std::size_t>(bytes, 12));
  return data;
}

TEST_F(OidTables, TheEncryptionStatusReadsKeyAbsentWhileNoKeyIsInstalled) {
  struct Case {
    std::uint32_t auth, status, answer;
  };
  // 0 becomes 2 outside open and shared authentication; 4 becomes 5; 6 stays 6.
  const Case cases[] = {{0, 0, 0}, {1, 0, 0}, {3, 0, 2}, {0, 4, 5}, {4, 6, 6}, {0, 1, 1}};
  for (const Case& c : cases) {
    ASSERT_EQ(h.host->set(OID_802_11_AUTHENTICATION_MODE, Words({c.auth})).status, NDIS_STATUS_SUCCESS);
    ASSERT_EQ(h.host->set(OID_802_11_ENCRYPTION_STATUS, Words({c.status})).status, NDIS_STATUS_SUCCESS);
    EXPECT_EQ(WordAt(h.host->query(OID_802_11_ENCRYPTION_STATUS, 4).data, 0), c.answer) << c.auth << "/" << c.status;
  }
  // Once a key is installed the status is answered as it was set, and key-absent again when
  // the key is removed.
  ASSERT_EQ(h.host->set(OID_802_11_ENCRYPTION_STATUS, Words({4})).status, NDIS_STATUS_SUCCESS);
  ASSERT_EQ(h.host->set(OID_802_11_ADD_KEY, KeyRecordBytes(0xC0000000, 16, 48, 0x6B)).status, NDIS_STATUS_SUCCESS);
  EXPECT_EQ(WordAt(h.host->query(OID_802_11_ENCRYPTION_STATUS, 4).data, 0), 4u);
  ASSERT_EQ(h.host->set(OID_802_11_REMOVE_KEY, Words({12, 0x40000000, 0, 0})).status, NDIS_STATUS_SUCCESS);
  EXPECT_EQ(WordAt(h.host->query(OID_802_11_ENCRYPTION_STATUS, 4).data, 0), 5u);
}

TEST_F(OidTables, RefusalsOfTheSetTables) {
  struct Case {
    NDIS_OID oid;
    Bytes data;
    NDIS_STATUS status;
  };
  const Case cases[] = {
      {OID_802_11_FRAGMENTATION_THRESHOLD, Words({255}), NDIS_STATUS_INVALID_DATA},
      {OID_802_11_FRAGMENTATION_THRESHOLD, Words({2347}), NDIS_STATUS_INVALID_DATA},
      {OID_802_3_MULTICAST_LIST, Bytes(33 * 6), NDIS_STATUS_INVALID_LENGTH},
      {OID_802_3_MULTICAST_LIST, Bytes(7), NDIS_STATUS_INVALID_LENGTH},
      {OID_GEN_CURRENT_PACKET_FILTER, Words({0x10}), NDIS_STATUS_NOT_SUPPORTED},
      {OID_GEN_CURRENT_PACKET_FILTER, Bytes(3), NDIS_STATUS_INVALID_LENGTH},
      {OID_802_11_AUTHENTICATION_MODE, Words({8}), NDIS_STATUS_INVALID_DATA},
      {OID_802_11_NETWORK_TYPE_IN_USE, Words({2}), NDIS_STATUS_INVALID_DATA},
      {OID_802_11_SSID, Words({33}), NDIS_STATUS_INVALID_DATA},
      {OID_802_11_TX_POWER_LEVEL, Words({1}), NDIS_STATUS_NOT_SUPPORTED},
      {OID_HLVN_CHANNEL, Words({15}), NDIS_STATUS_INVALID_DATA},
      {OID_HLVN_EXT_06, Bytes{0x03}, NDIS_STATUS_NOT_SUPPORTED},
      {OID_802_11_TEST, Words({12, 3, 0}), NDIS_STATUS_INVALID_DATA},
      {OID_HLVN_SEND_FRAME, Bytes{0xF1, 0x07, 0, 0}, NDIS_STATUS_INVALID_DATA},  // 2,033 bytes
      {0x12345678, Words({1}), NDIS_STATUS_NOT_ACCEPTED},
  };
  for (const Case& c : cases) EXPECT_EQ(h.host->set(c.oid, c.data).status, c.status) << std::hex << c.oid;

  EXPECT_EQ(h.host->set(OID_802_11_FRAGMENTATION_THRESHOLD, Words({0})).status, NDIS_STATUS_SUCCESS);
  EXPECT_EQ(WordAt(h.host->query(OID_802_11_FRAGMENTATION_THRESHOLD, 4).data, 0), 2346u);
  EXPECT_EQ(h.host->set(OID_HLVN_EXT_06, Bytes{0x04}).status, NDIS_STATUS_SUCCESS);
}

TEST_F(OidTables, APmkidListMustHoldTheEntriesItCounts) {
  auto list = [](std::uint32_t count, std::size_t bytes) {
    Bytes data(bytes, 0xAB);
    const std::uint32_t header[] = {static_cast<std::uint32_t>(bytes), count};
    std::memcpy(data.data(), header, std::min<std::size_t>(bytes, 8));
    return data;
  };
  EXPECT_EQ(h.host->set(OID_802_11_PMKID, list(2, 8 + 22)).status, NDIS_STATUS_INVALID_DATA);  // one missing
  EXPECT_EQ(h.host->set(OID_802_11_PMKID, list(17, 8 + 22 * 17)).status, NDIS_STATUS_INVALID_DATA);
  EXPECT_EQ(h.host->set(OID_802_11_PMKID, list(1, 4)).status, NDIS_STATUS_INVALID_DATA);
  const auto empty = h.host->query(OID_802_11_PMKID, 400);
  EXPECT_EQ(WordAt(empty.data, 0), 32u);
  EXPECT_EQ(WordAt(empty.data, 4), 0u);

  ASSERT_EQ(h.host->set(OID_802_11_PMKID, list(2, 8 + 44)).status, NDIS_STATUS_SUCCESS);
  const auto two = h.host->query(OID_802_11_PMKID, 400);
  EXPECT_EQ(two.bytesDone, 52u);
  EXPECT_EQ(WordAt(two.data, 4), 2u);
  EXPECT_EQ(two.data[8], 0xAB);
}

TEST_F(OidTables, AWepKeyMustBeInTheBytesThatCameAndGoesToItsSlot) {
  auto wep = [](std::uint32_t index, std::uint32_t keyLength, std::size_t bytes) {
    return KeyRecordBytes(index, keyLength, bytes, 0x5A);
  };
  EXPECT_EQ(h.host->set(OID_802_11_ADD_WEP, wep(4, 5, 17)).status, NDIS_STATUS_INVALID_DATA);
  EXPECT_EQ(h.host->set(OID_802_11_ADD_WEP, wep(1, 17, 29)).status, NDIS_STATUS_INVALID_DATA);
  EXPECT_EQ(h.host->set(OID_802_11_ADD_WEP, wep(1, 13, 20)).status, NDIS_STATUS_INVALID_DATA);  // 5 bytes short
  EXPECT_EQ(h.host->set(OID_802_11_ADD_WEP, wep(1, 5, 8)).status, NDIS_STATUS_INVALID_DATA);
  ASSERT_EQ(h.host->set(OID_802_11_ADD_WEP, wep(0x80000002, 13, 25)).status, NDIS_STATUS_SUCCESS);
  const WepKeyRecord& slot = h.core()->Config.wepKeys[2];
  EXPECT_EQ(slot.keyLength, 13u);
  EXPECT_EQ(slot.key[12], 0x5A);
  EXPECT_EQ(slot.key[13], 0);
  EXPECT_EQ(h.host->set(OID_802_11_REMOVE_WEP, Words({4})).status, NDIS_STATUS_INVALID_DATA);
  EXPECT_EQ(h.host->set(OID_802_11_REMOVE_WEP, Words({2})).status, NDIS_STATUS_SUCCESS);
  EXPECT_EQ(h.core()->Config.wepKeys[2].keyLength, 0u);
  EXPECT_EQ(h.core()->Config.wepKeys[2].key[0], 0);
}

TEST_F(OidTables, AddKeyAndRemoveKeyReachTheKeyTable) {
  auto key = [](std::uint32_t index, std::uint32_t keyLength, std::size_t bytes) {
    return KeyRecordBytes(index, keyLength, bytes, 0x6B);
  };
  EXPECT_EQ(h.host->set(OID_802_11_ADD_KEY, key(0xC0000000, 16, 47)).status, NDIS_STATUS_INVALID_DATA);  // 1 short
  EXPECT_EQ(h.host->set(OID_802_11_ADD_KEY, key(0xC0000001, 16, 48)).status, NDIS_STATUS_INVALID_DATA);
  EXPECT_EQ(h.core()->Keys.KeysInstalled(), 0u);
  ASSERT_EQ(h.host->set(OID_802_11_ADD_KEY, key(0xC0000000, 16, 48)).status, NDIS_STATUS_SUCCESS);
  EXPECT_EQ(h.core()->Keys.KeysInstalled(), 1u);
  EXPECT_NE(h.core()->Keys.Entry(0).flags, 0);
  EXPECT_EQ(h.core()->Keys.Entry(0).temporalKey[15], 0x6B);
  EXPECT_EQ(h.host->set(OID_802_11_REMOVE_KEY, Words({12, 0xFFFFFFFF, 0, 0})).status, NDIS_STATUS_INVALID_DATA);
  ASSERT_EQ(h.host->set(OID_802_11_REMOVE_KEY, Words({12, 0x40000000, 0, 0})).status, NDIS_STATUS_SUCCESS);
  EXPECT_EQ(h.core()->Keys.Entry(0).flags, 0);
  EXPECT_EQ(h.core()->Keys.Entry(0).temporalKey[15], 0);
}

// A caller asks for the length with no buffer: an empty answer (no multicast address yet, no
// vendor description in the registry) is complete then, not "too short, needs 0".
TEST_F(OidTables, AnEmptyAnswerFitsEvenNoBuffer) {
  for (NDIS_OID oid : {OID_802_3_MULTICAST_LIST, OID_GEN_VENDOR_DESCRIPTION}) {
    for (std::size_t length : {0u, 6u}) {
      const auto answer = h.host->query(oid, length);
      EXPECT_EQ(answer.status, NDIS_STATUS_SUCCESS) << std::hex << oid << std::dec << " " << length;
      EXPECT_EQ(answer.bytesDone, 0u);
    }
  }
}

TEST_F(OidTables, ChipDescriptionNeedsAllTwentyFiveBytes) {
  for (std::size_t length : {0u, 3u, 4u, 24u}) {
    const auto answer = h.host->query(OID_HLVN_CHIP_DESCRIPTION, length);
    EXPECT_EQ(answer.status, NDIS_STATUS_BUFFER_TOO_SHORT) << length;
    EXPECT_EQ(answer.bytesNeeded, 25u);
    EXPECT_EQ(answer.bytesDone, 0u);
  }
  const auto answer = h.host->query(OID_HLVN_CHIP_DESCRIPTION, 25);
  ASSERT_EQ(answer.bytesDone, 25u);
  EXPECT_EQ(std::string(answer.data.begin(), answer.data.begin() + 24), "Halvane Q6100 802.11 NIC");
}

TEST_F(OidTables, MacRegisterOffsetsStayInTheWindowAndInputsHoldTheirWords) {
  auto atOffset = [](std::uint16_t offset, std::size_t size) {
    Bytes data(size);
    std::memcpy(data.data(), &offset, 2);
    return data;
  };
  EXPECT_EQ(h.host->set(OID_HLVN_MAC_REGISTER, atOffset(0x100, 7)).status, NDIS_STATUS_INVALID_DATA);
  EXPECT_EQ(h.host->set(OID_HLVN_MAC_REGISTER, atOffset(0xFFFD, 8)).status, NDIS_STATUS_INVALID_DATA);
  Bytes write = atOffset(0x40, 8);
  const std::uint32_t value = 0x12345678;
  std::memcpy(write.data() + 4, &value, 4);
  EXPECT_EQ(h.host->set(OID_HLVN_MAC_REGISTER, write).status, NDIS_STATUS_SUCCESS);
  EXPECT_EQ(hal::ReadRegister(h.hal(), 1, 0x40), value);

  // A query carries its offset in the buffer: only the control device can hand one in.
  auto handle = h.host->openDevice(u"HlvnDev0");
  ASSERT_TRUE(handle);
  auto query = [&](std::uint16_t offset, std::size_t capacity) {
    Bytes in = Words({OID_HLVN_MAC_REGISTER});
    in.resize(6);
    std::memcpy(in.data() + 4, &offset, 2);
    return h.host->deviceIoControl(*handle, IOCTL_HLVN_QUERY_OID, in, capacity).output;
  };
  const Bytes read = query(0x40, 8);
  EXPECT_EQ(WordAt(read, 0), 0u);
  EXPECT_EQ(WordAt(read, 4), value);
  EXPECT_EQ(WordAt(query(0xFFFD, 8), 0), static_cast<std::uint32_t>(NDIS_STATUS_INVALID_DATA));
  EXPECT_EQ(WordAt(query(0xFFFC, 8), 0), 0u);
}

TEST_F(OidTables, RssiStatisticsRefuseAShortBuffer) {
  const auto shortBuffer = h.host->query(OID_HLVN_RSSI_STATISTICS, 15);
  EXPECT_EQ(shortBuffer.status, NDIS_STATUS_BUFFER_TOO_SHORT);
  EXPECT_EQ(shortBuffer.bytesNeeded, 16u);
  EXPECT_EQ(h.host->query(OID_HLVN_RSSI_STATISTICS, 16).bytesDone, 16u);
}

TEST_F(OidTables, SetsReachTheFirmware) {
  const std::size_t filters = commandsOf(hal::HLVN_FW_MAC_FILTER);
  EXPECT_EQ(h.host->set(OID_GEN_CURRENT_PACKET_FILTER, Words({0x0B})).status, NDIS_STATUS_SUCCESS);
  EXPECT_EQ(commandsOf(hal::HLVN_FW_MAC_FILTER), filters + 1);
  EXPECT_EQ(WordAt(h.host->query(OID_GEN_CURRENT_PACKET_FILTER, 4).data, 0), 0x0Bu);

  const std::size_t radio = commandsOf(hal::HLVN_FW_RADIO_CONTROL);
  EXPECT_EQ(h.host->set(OID_HLVN_RADIO_OFF, Words({0})).status, NDIS_STATUS_SUCCESS);
  EXPECT_EQ(WordAt(h.host->query(OID_HLVN_RADIO_ON, 4).data, 0), 0u);
  EXPECT_EQ(h.host->set(OID_HLVN_RADIO_ON, Words({0})).status, NDIS_STATUS_SUCCESS);
  EXPECT_EQ(WordAt(h.host->query(OID_HLVN_RADIO_OFF, 4).data, 0), 1u);
  EXPECT_EQ(commandsOf(hal::HLVN_FW_RADIO_CONTROL), radio + 2);

  EXPECT_EQ(h.host->set(OID_802_11_RTS_THRESHOLD, Words({500})).status, NDIS_STATUS_SUCCESS);
  EXPECT_EQ(WordAt(h.host->query(OID_802_11_RTS_THRESHOLD, 4).data, 0), 500u);
  EXPECT_EQ(h.hal()->config.rtsThreshold, 500u);

  // Power saving starts watching the link for quiet the moment the mode asks for it.
  EXPECT_EQ(h.host->set(OID_802_11_POWER_MODE, Words({2})).status, NDIS_STATUS_SUCCESS);
  EXPECT_EQ(WordAt(h.host->query(OID_802_11_POWER_MODE, 4).data, 0), 2u);
  EXPECT_NE(h.hal()->powerSaveFlags & hal::kPsWatchRunning, 0u);
  EXPECT_EQ(h.host->set(OID_802_11_POWER_MODE, Words({0})).status, NDIS_STATUS_SUCCESS);
  EXPECT_EQ(h.hal()->powerSaveFlags & hal::kPsWatchRunning, 0u);
}

TEST_F(OidTables, OidTestIndicatesItsDataAsAMediaSpecificStatus) {
  h.host->takeStatus();
  const std::size_t completes = h.host->statusCompleteCount();
  EXPECT_EQ(h.host->set(OID_802_11_TEST, Words({16, 1, 0xAA, 0xBB})).status, NDIS_STATUS_SUCCESS);
  EXPECT_EQ(h.host->set(OID_802_11_TEST, Words({12, 2, 0xCC})).status, NDIS_STATUS_SUCCESS);
  EXPECT_EQ(h.host->set(OID_802_11_TEST, Words({8, 2})).status, NDIS_STATUS_INVALID_LENGTH);
  const auto status = h.host->takeStatus();
  ASSERT_EQ(status.size(), 2u);
  EXPECT_EQ(status[0].status, NDIS_STATUS_MEDIA_SPECIFIC_INDICATION);
  EXPECT_EQ(status[0].payload, Words({0xAA, 0xBB}));
  EXPECT_EQ(status[1].payload, Words({0xCC}));
  EXPECT_EQ(h.host->statusCompleteCount(), completes + 2);
}

TEST_F(OidTables, TheUtilityGateByModeAndOrigin) {
  auto handle = h.host->openDevice(u"HlvnDev0");
  ASSERT_TRUE(handle);
  const Bytes ssid = [] {
    Bytes data = Words({4});
    data.insert(data.end(), {'w', 'i', 'f', 'i'});
    data.resize(36);
    return data;
  }();
  auto viaDevice = [&](NDIS_OID oid, const Bytes& data) {
    Bytes in = Words({oid});
    in.insert(in.end(), data.begin(), data.end());
    return h.host->deviceIoControl(*handle, IOCTL_HLVN_SET_OID, in, 4);
  };
  auto desiredLength = [&] { return h.core()->Config.desiredSsid.length; };
  HANDLE event = h.host->createEvent();
  h.host->deviceIoControl(*handle, IOCTL_HLVN_REGISTER_EVENT,
                          Words({static_cast<std::uint32_t>(reinterpret_cast<ULONG_PTR>(event))}), 0);

  // Mode 0: NDIS's SSID set is acknowledged and ignored; the utility's goes through.
  EXPECT_EQ(h.host->set(OID_802_11_SSID, ssid).status, NDIS_STATUS_SUCCESS);
  EXPECT_EQ(desiredLength(), 0u);
  EXPECT_EQ(WordAt(viaDevice(OID_802_11_SSID, ssid).output, 0), 0u);
  EXPECT_EQ(desiredLength(), 4u);
  // NDIS's security sets go through and tell the utility.
  EXPECT_EQ(h.host->set(OID_802_11_AUTHENTICATION_MODE, Words({4})).status, NDIS_STATUS_SUCCESS);
  EXPECT_EQ(h.core()->Config.authMode, 4u);
  EXPECT_EQ(h.host->event(event)->SetCount, 1u);

  // Mode 1: the utility's SSID set is acknowledged and ignored; NDIS's goes through.
  EXPECT_EQ(WordAt(viaDevice(OID_HLVN_UTILITY_MODE, Words({1})).output, 0), 0u);
  EXPECT_EQ(context()->UtilityMode, 1u);
  Bytes other = ssid;
  other[0] = 2;
  EXPECT_EQ(WordAt(viaDevice(OID_802_11_SSID, other).output, 0), 0u);
  EXPECT_EQ(desiredLength(), 4u);
  // NDIS's set connects: it pends, and with no network on the air it completes as a failure.
  EXPECT_EQ(h.host->set(OID_802_11_SSID, other).status, NDIS_STATUS_FAILURE);
  EXPECT_EQ(desiredLength(), 2u);

  // Detached: no gate at all, and the busy counter is back at zero.
  h.host->closeDevice(*handle);
  EXPECT_EQ(h.host->set(OID_802_11_SSID, ssid).status, NDIS_STATUS_FAILURE);
  EXPECT_EQ(desiredLength(), 4u);
  EXPECT_EQ(context()->SetBusy, 0);
}

TEST(OidTablesAddress, TheCurrentAddressIsTheOneTheFirmwareWasGiven) {
  DriverHarness h(testing::Parameters{{"NetworkAddress", "02-11-22-33-44-55"}});
  ASSERT_EQ(h.start(), NDIS_STATUS_SUCCESS);
  const auto current = h.host->query(OID_802_3_CURRENT_ADDRESS, 6);
  EXPECT_EQ(Bytes(current.data.begin(), current.data.begin() + 6), (Bytes{0x02, 0x11, 0x22, 0x33, 0x44, 0x55}));
  const auto permanent = h.host->query(OID_802_3_PERMANENT_ADDRESS, 6);
  EXPECT_EQ(Bytes(permanent.data.begin(), permanent.data.begin() + 6),
            Bytes(h.chip.identity().mac.begin(), h.chip.identity().mac.end()));
}

}  // namespace
}  // namespace zelnic
