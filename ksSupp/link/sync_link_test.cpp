// The synchronous link's interface: refusals before Initialize and inside its own callback,
// the results the exports pass on, the 802.1X constants, the network record's length, the
// candidate list's bound, and a link released from inside its callback.
#include <gtest/gtest.h>

#include <cstdlib>

#include "ksSupp/link/link_test_host.h"
#include "ksSupp/link/sync_link.h"
#include "platform/win32/hresult.h"
#include "platform/win32/tick_count.h"

namespace {

using namespace link_test;

const SyncLink& Of(KSSTK_LINK link) { return *dynamic_cast<SyncLink*>(static_cast<RefCounted*>(link)); }

TEST(SyncLink, BeforeInitializeOnlyTheSetUpIsTaken) {
  plat::ManualTickCount clock(100);
  LinkHost host(false, false);
  KSSTK_AUTH_STATE_MACHINE_CONSTANTS* constants = reinterpret_cast<KSSTK_AUTH_STATE_MACHINE_CONSTANTS*>(1);
  EXPECT_EQ(KSSTK_LINK_GetAuthStateMachineConstants(host.link, &constants), -1);
  EXPECT_EQ(constants, nullptr);
  EXPECT_EQ(KSSTK_LINK_GetAuthStateMachineConstants(host.link, nullptr), -1);
  EXPECT_EQ(KSSTK_LINK_SetRoamTimeoutMs(host.link, 10), -1);
  KSSTK_AUTH_STATE_MACHINE_CONSTANTS given{28, 1, 2, 3, 4, 5, 6};
  EXPECT_EQ(KSSTK_LINK_SetAuthStateMachineConstants(host.link, &given), -1);
  // The others hide their refusal; none of them reaches the engine.
  Network().SetOn(host.link);
  EXPECT_EQ(KSSTK_LINK_PortUp(host.link), 0);
  std::uint32_t wait = 0;
  EXPECT_EQ(KSSTK_LINK_Process(host.link, &wait), 0);
  EXPECT_EQ(wait, 60000u) << "a defined wait also when refused";
  EXPECT_EQ(KSSTK_LINK_Thread(host.link), 0);
  EXPECT_TRUE(host.seen.empty());
  EXPECT_EQ(Of(host.link).Engine().state(), LinkEngine::kNotStarted);
  EXPECT_EQ(KSSTK_LINK_PrecomputeWpaPskA(host.link, "pass phrase", nullptr, 0), 0);

  EXPECT_EQ(KSSTK_LINK_Initialize(host.link), 0);
  EXPECT_EQ(KSSTK_LINK_SetCallbackA(host.link, nullptr, 0), 0) << "refused, hidden";
  host.Clear();
  KSSTK_LINK_PortUp(host.link);  // no network was taken: an all-zero one, connected at once
  EXPECT_EQ(host.LastStatus(), 6u) << "the old callback stays";
}

TEST(SyncLink, ConstantsCopyTheGivenLengthAndReachThePae) {
  LinkHost host;
  KSSTK_AUTH_STATE_MACHINE_CONSTANTS given{8, 1234, 9, 9, 9, 9, 9};
  EXPECT_EQ(KSSTK_LINK_SetAuthStateMachineConstants(host.link, &given), 0);
  KSSTK_AUTH_STATE_MACHINE_CONSTANTS* got = nullptr;
  ASSERT_EQ(KSSTK_LINK_GetAuthStateMachineConstants(host.link, &got), 0);
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->Length, 28u);
  EXPECT_EQ(got->authPeriod, 1234u);
  EXPECT_EQ(got->heldPeriod, 60000u);
  EXPECT_EQ(got->startPeriod, 30000u);
  EXPECT_EQ(got->startDelay, 2000u);
  EXPECT_EQ(got->maxStart, 3u);
  EXPECT_EQ(got->authenticatedAfterMaxStart, 0u);
  KSSTK_Free(got);

  KSSTK_AUTH_STATE_MACHINE_CONSTANTS all{28, 100, 200, 300, 400, 5, 7};
  EXPECT_EQ(KSSTK_LINK_SetAuthStateMachineConstants(host.link, &all), 0);
  const PaeConstants& pae = Of(host.link).Engine().Pae().Constants();
  EXPECT_EQ(pae.authPeriod, 100u);
  EXPECT_EQ(pae.heldPeriod, 200u);
  EXPECT_EQ(pae.startPeriod, 300u);
  EXPECT_EQ(pae.firstStartDelay, 400u);
  EXPECT_EQ(pae.maxStart, 5u);
  EXPECT_TRUE(pae.authenticatedAfterMaxStart);
}

TEST(SyncLink, NetworkRecordLengthIsCheckedAndCapped) {
  LinkHost host;
  Network n;
  n.ssid = std::string(40, 's');
  n.passphrase = "pass";
  KSSTK_NETWORK_INFO record = n.Record();
  record.Length = 0;
  EXPECT_EQ(KSSTK_LINK_SetNetworkInfoA(host.link, &record), static_cast<KSSTK_RESULT>(E_FAIL));
  // A longer record reads only its known bytes; the SSID keeps 32 bytes.
  struct Longer {
    KSSTK_NETWORK_INFO info;
    std::uint8_t tail[128];
  } longer{n.Record(), {}};
  longer.info.Length = 200;
  EXPECT_EQ(KSSTK_LINK_SetNetworkInfoA(host.link, &longer.info), 0);
  KSSTK_LINK_PortUp(host.link);
  EXPECT_EQ(Of(host.link).Engine().Network().ssid.Length(), 32u);
  // A record cut after Cipher: the rest reads as zero.
  record = n.Record();
  record.Length = 24;
  EXPECT_EQ(KSSTK_LINK_SetNetworkInfoA(host.link, &record), 0);
  KSSTK_LINK_PortUp(host.link);
  EXPECT_EQ(Of(host.link).Engine().Network().ssid.Length(), 0u);
  EXPECT_TRUE(Of(host.link).Engine().Network().passphrase.Empty());
}

// Inside its own callback a host may release the link (it goes when the call returns) or
// set an identity; calls that would run the engine again are refused.
TEST(SyncLink, CallbacksMayReleaseTheLinkButNotStepIt) {
  plat::ManualTickCount clock(100);
  LinkHost host(false, false);
  std::vector<KSSTK_RESULT> inside;
  host.answer = [&](KSSTK_CALLBACK_MESSAGE* message) {
    if (message->Code != KSSTK_MSG_LINK_STATUS) return;
    std::uint32_t wait = 0;
    inside.push_back(KSSTK_LINK_Process(host.link, &wait));
    EXPECT_EQ(wait, 60000u);
    inside.push_back(KSSTK_LINK_SetIdentity(host.link, nullptr));
    KSSTK_AUTH_STATE_MACHINE_CONSTANTS* constants = nullptr;
    inside.push_back(KSSTK_LINK_GetAuthStateMachineConstants(host.link, &constants));
    KSSTK_Free(constants);
    KSSTK_Release(host.link);  // the host's only reference
  };
  EXPECT_EQ(KSSTK_LINK_Initialize(host.link), 0);
  EXPECT_EQ(inside, (std::vector<KSSTK_RESULT>{0, 0, 0}));
  EXPECT_EQ(host.Codes(), (std::vector<std::uint32_t>{2, 1, 4, 24})) << "the step finished";
  host.link = nullptr;  // gone with the call
}

TEST(SyncLink, APmkidCandidateListPassesSixteenEntries) {
  LinkHost host;
  Network n;
  n.use8021X = 1;
  n.keySource = KSSTK_KEY_SOURCE_EAP;
  n.SetOn(host.link);
  KSSTK_LINK_PortUp(host.link);
  std::vector<std::uint8_t> block(8 + 12 * 20);
  auto* list = reinterpret_cast<KSSTK_PMKID_CANDIDATE_LIST*>(block.data());
  list->NumCandidates = 20;
  for (std::uint32_t i = 0; i < 20; ++i) list->CandidateList[i].BSSID[5] = static_cast<std::uint8_t>(i);
  EXPECT_EQ(KSSTK_LINK_ReceivePMKIDCandidateListEvent(host.link, list), 0);
  list->NumCandidates = 0xFFFFFFFF;  // the host's count does not drive the copy
  EXPECT_EQ(KSSTK_LINK_ReceivePMKIDCandidateListEvent(host.link, list), 0);
}

}  // namespace
