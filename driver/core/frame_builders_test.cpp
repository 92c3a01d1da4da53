// The frames the station builds: headers, sequence numbers, probe requests,
// deauthentication, null data and the IBSS beacon template.
#include "driver/core/frame_builders.h"

#include <gtest/gtest.h>

#include "driver/core/bss_parse.h"
#include "driver/core/testing/core_fixture.h"

namespace zelnic::core {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::StartedDriver;

class FrameBuilders : public StartedDriver {
protected:
  void SetUp() override {
    StartedDriver::SetUp();
    core->Bssid = {0x00, 0x0C, 0x41, 0x10, 0x20, 0x30};
  }
  static Bytes Address(const Bytes& frame, std::uint32_t at) { return Bytes(frame.begin() + at, frame.begin() + at + 6); }
  static std::uint16_t SequenceControl(const Bytes& frame) {
    return static_cast<std::uint16_t>(frame[kSequenceControl] | frame[kSequenceControl + 1] << 8);
  }
  static Bytes Body(const Bytes& frame) { return Bytes(frame.begin() + kChipHeaderBytes, frame.end()); }
  Bytes station() const { return Bytes(core->StationAddress.begin(), core->StationAddress.end()); }
  Bytes bssid() const { return Bytes(core->Bssid.begin(), core->Bssid.end()); }
};

TEST_F(FrameBuilders, SequenceNumbersRunFromOneTo4095AndAgainWithFragmentZero) {
  std::uint8_t frame[kChipHeaderBytes] = {};
  std::vector<std::uint16_t> numbers;
  h.run([&] {
    core->SequenceCounter = 0;
    for (int i = 0; i < 4097; ++i) {
      frame[kSequenceControl] = 0xFF;  // whatever the buffer held before
      BuildHeader(core, frame, kBroadcastAddress, kSubtypeProbeRequest);
      const auto control = static_cast<std::uint16_t>(frame[kSequenceControl] | frame[kSequenceControl + 1] << 8);
      EXPECT_EQ(control & 0x0F, 0);
      numbers.push_back(control >> 4);
    }
  });
  EXPECT_EQ(numbers[0], 1);
  EXPECT_EQ(numbers[4093], 4094);
  EXPECT_EQ(numbers[4094], 4095);
  EXPECT_EQ(numbers[4095], 1);  // never 0
  EXPECT_EQ(numbers[4096], 2);
}

TEST_F(FrameBuilders, TheHeaderKeepsOnlyRetryAndPowerManagementOfTheFlags) {
  std::uint8_t frame[kChipHeaderBytes];
  std::fill(std::begin(frame), std::end(frame), 0xFF);
  const std::uint8_t to[6] = {2, 4, 6, 8, 10, 12};
  h.run([&] { BuildHeader(core, frame, to, kSubtypeDeauthentication); });
  EXPECT_EQ(frame[2], 0xC0);
  EXPECT_EQ(frame[3], 0x18);
  EXPECT_EQ(frame[4] | frame[5], 0);
  EXPECT_EQ(0, std::memcmp(frame + kAddress1, to, 6));
  EXPECT_EQ(0, std::memcmp(frame + kAddress2, core->StationAddress.data(), 6));
  EXPECT_EQ(0, std::memcmp(frame + kAddress3, to, 6));
  EXPECT_TRUE(std::all_of(frame + 26, frame + 32, [](std::uint8_t b) { return b == 0; }));
}

TEST_F(FrameBuilders, AReusedPoolBufferCarriesNothingOfItsLastFrame) {
  h.run([&] {
    core->MlmeState = kMlmeAssociated;
    std::vector<ManagementFrameBuffer*> taken;
    while (ManagementFrameBuffer* frame = TakeFrameBuffer(core)) {
      std::memset(frame->Buffer, 0xFF, kChipHeaderBytes);  // a retried power-save frame, say
      taken.push_back(frame);
    }
    for (auto* frame : taken) ReturnFrameBuffer(core, frame);
    ASSERT_EQ(SendProbeRequestTo(core, nullptr), 0u);
  });
  const auto frames = queuedFrames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0][3], 0);  // no retry, no power management
  EXPECT_TRUE(std::all_of(frames[0].begin() + 26, frames[0].begin() + 32, [](std::uint8_t b) { return b == 0; }));
}

TEST_F(FrameBuilders, ProbeRequestsAskForTheirSsidWithTheStationsRates) {
  const Bytes bRates = {1, 4, 0x82, 0x84, 0x8B, 0x96};
  const Bytes ofdm = {50, 8, 0x0C, 0x12, 0x18, 0x24, 0x30, 0x48, 0x60, 0x6C};
  h.run([&] {
    core->ProbeSsid = Ssid{5, {'h', 'o', 0, 'm', 'e'}};  // up to its first zero byte
    ASSERT_EQ(SendProbeRequest(core), 0u);
    core->CurrentSsid = Ssid{4, {'h', 'o', 'm', 'e'}};
    ASSERT_EQ(SendProbeRequestTo(core, nullptr), 0u);
    const std::uint8_t ap[6] = {0x00, 0x0C, 0x41, 1, 2, 3};
    core->AdhocMode = 1;  // b rates only
    ASSERT_EQ(SendProbeRequestTo(core, ap), 0u);
  });
  const auto frames = queuedFrames();
  ASSERT_EQ(frames.size(), 3u);
  const Bytes broadcast(6, 0xFF);

  EXPECT_EQ(frames[0][2], 0x40);
  EXPECT_EQ(Address(frames[0], kAddress1), broadcast);
  EXPECT_EQ(Address(frames[0], kAddress2), station());
  Bytes wanted = {0, 2, 'h', 'o'};
  wanted.insert(wanted.end(), bRates.begin(), bRates.end());
  wanted.insert(wanted.end(), ofdm.begin(), ofdm.end());
  EXPECT_EQ(Body(frames[0]), wanted);
  EXPECT_EQ(frames[0][0] | frames[0][1] << 8, static_cast<int>(wanted.size()));

  EXPECT_EQ(Address(frames[1], kAddress1), broadcast);
  EXPECT_EQ(Address(frames[1], kAddress3), bssid());
  wanted = {0, 4, 'h', 'o', 'm', 'e'};
  wanted.insert(wanted.end(), bRates.begin(), bRates.end());
  wanted.insert(wanted.end(), ofdm.begin(), ofdm.end());
  EXPECT_EQ(Body(frames[1]), wanted);

  EXPECT_EQ(Address(frames[2], kAddress1), (Bytes{0x00, 0x0C, 0x41, 1, 2, 3}));
  wanted = {0, 4, 'h', 'o', 'm', 'e'};
  wanted.insert(wanted.end(), bRates.begin(), bRates.end());
  EXPECT_EQ(Body(frames[2]), wanted);

  EXPECT_EQ(SequenceControl(frames[1]) >> 4, (SequenceControl(frames[0]) >> 4) + 1);
  EXPECT_EQ(SequenceControl(frames[2]) >> 4, (SequenceControl(frames[1]) >> 4) + 1);
}

TEST_F(FrameBuilders, DeauthenticationCarriesItsReasonAndLeavesTheStateIdle) {
  h.run([&] {
    core->MlmeState = kMlmeAssociated;
    ASSERT_EQ(SendDeauthentication(core, core->Bssid.data(), 3), 0u);
  });
  EXPECT_EQ(core->MlmeState, kMlmeIdle);
  const auto frames = queuedFrames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0][2], 0xC0);
  EXPECT_EQ(Address(frames[0], kAddress1), bssid());
  EXPECT_EQ(Body(frames[0]), (Bytes{3, 0}));
}

TEST_F(FrameBuilders, NullDataGoesToTheBssOnlyWhileAssociated) {
  h.run([&] { EXPECT_EQ(SendNullData(core, true), 3u); });
  EXPECT_TRUE(queuedFrames().empty());
  h.run([&] {
    core->MlmeState = kMlmeAssociated;
    EXPECT_EQ(SendNullData(core, true), 0u);
    EXPECT_EQ(SendNullData(core, false), 0u);
  });
  const auto frames = queuedFrames();
  ASSERT_EQ(frames.size(), 2u);
  for (const auto& frame : frames) {
    EXPECT_EQ(frame.size(), kChipHeaderBytes);
    EXPECT_EQ(frame[2], 0x48);
    EXPECT_EQ(Address(frame, kAddress1), bssid());
    EXPECT_EQ(Address(frame, kAddress2), station());
    EXPECT_EQ(Address(frame, kAddress3), bssid());
  }
  EXPECT_EQ(frames[0][3], 0x11);  // ToDS, power management
  EXPECT_EQ(frames[1][3], 0x01);
}

TEST_F(FrameBuilders, WithoutAPoolFrameNothingIsQueued) {
  h.run([&] {
    std::vector<ManagementFrameBuffer*> taken;
    while (ManagementFrameBuffer* frame = TakeFrameBuffer(core)) taken.push_back(frame);
    EXPECT_EQ(SendProbeRequestTo(core, nullptr), 1u);
    EXPECT_EQ(SendDeauthentication(core, kBroadcastAddress, 3), 1u);
    for (auto* frame : taken) ReturnFrameBuffer(core, frame);
  });
  EXPECT_TRUE(queuedFrames().empty());
}

TEST_F(FrameBuilders, TheBeaconTemplateDescribesTheIbssAndParsesBack) {
  struct Case {
    const char* name;
    bool newBssid;
    bool bOnly;
    std::uint32_t adhocMode;
    std::uint8_t channel;
    bool offersOfdm;
  };
  const Case cases[] = {
      {"a new IBSS offers g rates", true, true, 0, 6, true},
      {"joining a g IBSS", false, false, 0, 6, true},
      {"joining a b-only IBSS", false, true, 0, 6, false},
      {"the ad hoc b mode", true, false, 1, 6, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    IbssStartRecord record{};
    const std::uint8_t joined[6] = {0x02, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE};
    IbssParameters ibss;
    ibss.ssid = Ssid{4, {'m', 'e', 's', 'h'}};
    ibss.beaconPeriod = 200;
    ibss.atimWindow = 7;
    ibss.capability = 0x0002;
    ibss.channel = c.channel;
    ibss.bOnly = c.bOnly;
    NDIS_WLAN_BSSID entry;
    BssElements elements;
    ULONG parsed = 99;
    h.run([&] {
      core->AdhocMode = c.adhocMode;
      BuildBeaconTemplate(core, record, ibss, c.newBssid ? nullptr : joined);
      ASSERT_GE(record.length, kIbssRecordHeaderBytes + kChipHeaderBytes);
      parsed = ParseBssFromFrame(core, record.bytes + kIbssRecordHeaderBytes, record.length - kIbssRecordHeaderBytes,
                                 entry, elements);
    });
    EXPECT_EQ(record.bytes[0] | record.bytes[1] << 8, 0x0100);
    EXPECT_EQ(record.bytes[2] | record.bytes[3] << 8, static_cast<int>(record.length));
    const std::uint8_t* beacon = record.bytes + kIbssRecordHeaderBytes;
    EXPECT_EQ(beacon[0] | beacon[1] << 8, static_cast<int>(record.length - kIbssRecordHeaderBytes - kChipHeaderBytes));
    EXPECT_EQ(beacon[2], 0x80);
    EXPECT_EQ(0, std::memcmp(beacon + kAddress1, kBroadcastAddress, 6));
    const std::uint8_t* bssid = c.newBssid ? core->Bssid.data() : joined;
    EXPECT_EQ(0, std::memcmp(beacon + kAddress3, bssid, 6));
    if (c.newBssid) {
      EXPECT_EQ(core->Bssid[0] & 0x03, 0x02);  // locally administered, individual
    }
    ASSERT_EQ(parsed, 0u);
    EXPECT_EQ(entry.InfrastructureMode, Ndis802_11IBSS);
    EXPECT_EQ(entry.Configuration.BeaconPeriod, 200u);
    EXPECT_EQ(entry.Configuration.ATIMWindow, 7u);
    EXPECT_EQ(entry.Configuration.DSConfig, 2437000u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(entry.Ssid.Ssid), entry.Ssid.SsidLength), "mesh");
    EXPECT_EQ(Bytes(elements.Rates, elements.Rates + 4), (Bytes{0x82, 0x84, 0x8B, 0x96}));
    EXPECT_EQ(elements.Rates[4] != 0, c.offersOfdm);
    EXPECT_EQ(entry.NetworkTypeInUse, c.offersOfdm ? Ndis802_11OFDM24 : Ndis802_11DS);
  }
}

// A WPA-None IBSS announces its cipher and PSK key management in an RSN element at the end
// of its beacon; other IBSSs carry none.
TEST_F(FrameBuilders, AWpaNoneBeaconEndsWithItsRsnElement) {
  IbssParameters ibss;
  ibss.ssid = Ssid{4, {'m', 'e', 's', 'h'}};
  ibss.beaconPeriod = 100;
  ibss.capability = 0x0012;
  ibss.channel = 6;
  const Bytes tkip = {48, 18, 1, 0, 0x00, 0x0F, 0xAC, 2, 1, 0, 0x00, 0x0F, 0xAC, 2, 1, 0, 0x00, 0x0F, 0xAC, 2};
  for (const std::uint32_t authMode : {5u, 4u}) {
    IbssStartRecord record{};
    h.run([&] {
      core->Config.authMode = authMode;
      core->Config.wepStatus = 4;
      BuildBeaconTemplate(core, record, ibss, nullptr);
    });
    ASSERT_GE(record.length, tkip.size());
    const Bytes end(record.bytes + record.length - tkip.size(), record.bytes + record.length);
    EXPECT_EQ(end == tkip, authMode == 5) << authMode;
  }
}

}  // namespace
}  // namespace zelnic::core
