#include "utility/core/profile_connect.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

#include "hosts/adapterctl/testing/recording_adapter_control.h"
#include "platform/win32/tick_count.h"

namespace zelcon {
namespace {

using Calls = std::vector<std::string>;

struct Connect : ::testing::Test {
  RecordingAdapterControl lib;
  ProfileList profiles;
  LINK_STATUS link{};
  std::vector<TrayState> trays;
  ConnectContext ctx{lib, RecordingAdapterControl::kHandle, 1, profiles, link,
                     [this](TrayState t) { trays.push_back(t); }};

  void SetUp() override { lib.SetDword("QueryNetworkMode", 1); }
};

PROFILE_ENTRY Infrastructure(std::string_view ssid, uint32_t auth, uint32_t encryption) {
  PROFILE_ENTRY p{};
  SetFieldText(p.name, ssid);
  SetFieldText(p.ssid, ssid);
  p.networkType = 1;
  p.wlanMode = 255;
  p.authMode = auth;
  p.encryption = encryption;
  p.keepAdapterDefaults = 1;
  return p;
}

const Calls kScanFirst = {"QueryNetworkMode()", "SetNetworkMode(1)", "SsidScan(52 bytes)"};
const Calls kRadio = {"SetPowerMode(1)", "SetPreamble(2)", "SetDataRate(108)",
                      "SetFragThreshold(2346)", "SetRTSThreshold(2000)"};

Calls Join(Calls a, const Calls& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST_F(Connect, ApplySequencesForOpenWepAndPersonalProfiles) {
  PROFILE_ENTRY open = Infrastructure("office", kAuthOpen, 0);

  PROFILE_ENTRY wep = Infrastructure("lab", kAuthShared, 1);
  wep.keepAdapterDefaults = 0;
  wep.powerMode = 1, wep.preamble = 2, wep.dataRate = 108, wep.fragThreshold = 2346,
  wep.rtsThreshold = 2000;
  wep.txKeyIndex = 2;
  wep.wepKeys[0] = {5, {1, 2, 3, 4, 5}};
  wep.wepKeys[1] = {13, {0xA0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0xAC}};
  wep.wepKeys[3].length = 40;  // damaged length: only the 32 key bytes are sent
  const std::string key4(64, '0');

  PROFILE_ENTRY wpa = Infrastructure("home", kAuthWpaPsk, 2);
  PROFILE_ENTRY wpa2 = Infrastructure("home2", kAuthWpa2Psk, 3);
  PROFILE_ENTRY pskWithWep = Infrastructure("old", kAuthWpaPsk, 1);

  struct Case {
    PROFILE_ENTRY profile;
    Calls calls;
  };
  const Case cases[] = {
      {open, Join(kScanFirst, {"SetProfileInUse(\"office\", 6)", "SetAuthMode(0)",
                               "SetTpxCCXNetworkEap(0)", "SetWPAInformation(1, 0, 0, \"office\")",
                               "SetWepStatus(1)", "SetNetworkMode(1)", "SetWlanMode(255)",
                               "SetSsid(\"office\", 6, 0)"})},
      {wep, Join(Join(kScanFirst, {"SetProfileInUse(\"lab\", 3)", "SetAuthMode(1)",
                                   "SetTpxCCXNetworkEap(0)", "SetWPAInformation(1, 1, 1, \"lab\")",
                                   "SetWepStatus(0)", "SetWepKey(1, 0102030405, 5, 0)",
                                   "SetWepKey(2, a00102030405060708090a0bac, 13, 1)",
                                   "SetWepKey(3, , 0, 0)", "SetWepKey(4, " + key4 + ", 32, 0)",
                                   "SetWepKey(2, a00102030405060708090a0bac, 13, 1)",
                                   "SetNetworkMode(1)", "SetWlanMode(255)",
                                   "SetSsid(\"lab\", 3, 0)"}),
                 kRadio)},
      {wpa, Join(kScanFirst, {"SetProfileInUse(\"home\", 4)", "SetAuthMode(4)",
                              "SetTpxCCXNetworkEap(0)", "SetWPAInformation(1, 2, 2, \"home\")",
                              "SetWepStatus(4)", "SetNetworkMode(1)", "SetWlanMode(255)",
                              "SetSsid(\"home\", 4, 0)"})},
      {wpa2, Join(kScanFirst, {"SetProfileInUse(\"home2\", 5)", "SetAuthMode(7)",
                               "SetTpxCCXNetworkEap(0)", "SetWPAInformation(1, 9, 3, \"home2\")",
                               "SetWepStatus(6)", "SetNetworkMode(1)", "SetWlanMode(255)",
                               "SetSsid(\"home2\", 5, 0)"})},
      // WPA-PSK over WEP: WEP on, but no static keys.
      {pskWithWep, Join(kScanFirst, {"SetProfileInUse(\"old\", 3)", "SetAuthMode(4)",
                                     "SetTpxCCXNetworkEap(0)",
                                     "SetWPAInformation(1, 2, 1, \"old\")", "SetWepStatus(0)",
                                     "SetNetworkMode(1)", "SetWlanMode(255)",
                                     "SetSsid(\"old\", 3, 0)"})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(FieldText(c.profile.name));
    lib.ClearCalls();
    ProfileId id = profiles.Append(c.profile);
    EXPECT_EQ(ApplyProfile(ctx, id), 0);
    EXPECT_EQ(lib.CallTexts(), c.calls);
    EXPECT_EQ(profiles.Current(), id);
    EXPECT_EQ(profiles.IdAt(0), id);
    EXPECT_EQ(profiles.Find(id)->prefer, 1u);
  }
  // The library got the records themselves.
  std::vector<RecordingAdapterControl::Call> calls = lib.Calls();
  ZELCON_SSID_SCAN scan;
  ASSERT_EQ(calls[2].bytes.size(), sizeof scan);
  std::memcpy(&scan, calls[2].bytes.data(), sizeof scan);
  EXPECT_EQ(scan.SsidLength, 3u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(scan.Ssid), 3), "old");
  EXPECT_EQ(scan.Channel[0], 1);
  EXPECT_EQ(scan.Channel[13], 14);
  ASSERT_EQ(calls[6].bytes.size(), 500u);
  EXPECT_EQ(std::memcmp(calls[6].bytes.data(), &pskWithWep.wpa, 500), 0);
}

TEST_F(Connect, EnterpriseFamiliesSetModeAndIdentity) {
  const std::string hash = "0102030405060708090a0b0c0d0e0f1011121314";
  struct Case {
    uint32_t auth, encryption;
    Calls calls;  // up to and with the identity
  };
  const std::string leap = "WPACreateIdentityLEAP(\"joe\", \"corp\", \"secret\")";
  const std::string tls = "WPACreateIdentityTLS(\"joe\", " + hash + ")";
  const std::string peap = "WPACreateIdentityPEAP(\"joe\", \"corp\", \"secret\")";
  const std::string ttls = "WPACreateIdentityTtls(\"joe\", \"corp\", \"secret\", \"anon\")";
  const Case cases[] = {
      {kAuthWpaLeap, 2, {"SetAuthMode(3)", "SetTpxCCXNetworkEap(0)", leap}},
      {kAuthWpaLeap, 0, {"SetAuthMode(0)", "SetTpxCCXNetworkEap(0)", leap}},
      {kAuthWpa2Leap, 3, {"SetAuthMode(6)", "SetTpxCCXNetworkEap(0)", leap}},
      {kAuthCcxLeap, 1, {"SetAuthMode(0)", "SetTpxCCXNetworkEap(1)", leap}},
      {kAuthWpaTls, 2, {"SetAuthMode(3)", "SetTpxCCXNetworkEap(0)", tls}},
      {kAuth8021xTls, 1, {"SetAuthMode(0)", "SetTpxCCXNetworkEap(0)", tls}},
      {kAuthWpa2Tls, 3, {"SetAuthMode(6)", "SetTpxCCXNetworkEap(0)", tls}},
      {kAuthWpaPeap, 1, {"SetAuthMode(0)", "SetTpxCCXNetworkEap(0)", peap}},  // dynamic WEP
      {kAuth8021xPeap, 2, {"SetAuthMode(3)", "SetTpxCCXNetworkEap(0)", peap}},
      {kAuthWpa2Peap, 3, {"SetAuthMode(6)", "SetTpxCCXNetworkEap(0)", peap}},
      {kAuthCcxPeap, 2, {"SetAuthMode(0)", "SetTpxCCXNetworkEap(1)", peap}},
      {kAuthWpaTtls, 2, {"SetAuthMode(3)", "SetTpxCCXNetworkEap(0)", ttls}},
      {kAuth8021xTtls, 1, {"SetAuthMode(0)", "SetTpxCCXNetworkEap(0)", ttls}},
      {kAuthWpa2Ttls, 1, {"SetAuthMode(0)", "SetTpxCCXNetworkEap(0)", ttls}},
      {kAuthAuto, 0, {"SetAuthMode(2)", "SetTpxCCXNetworkEap(0)"}},
      {99, 0, {"SetAuthMode(0)", "SetTpxCCXNetworkEap(0)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.auth);
    PROFILE_ENTRY p = Infrastructure("corp", c.auth, c.encryption);
    SetFieldText(p.wpa.loginName, "joe");
    SetFieldText(p.wpa.domain, "corp");
    SetFieldText(p.wpa.password, "secret");
    SetFieldText(p.wpa.anonymousName, "anon");
    for (int i = 0; i < 20; ++i) p.wpa.certHash[i] = static_cast<uint8_t>(i + 1);
    lib.ClearCalls();
    ApplyProfileSettings(ctx, p, kApplySecurity);
    Calls got = lib.CallTexts();
    got.resize(std::min(got.size(), c.calls.size()));
    EXPECT_EQ(got, c.calls);
    EXPECT_EQ(lib.CallTexts()[c.calls.size()].rfind("SetWPAInformation(1, ", 0), 0u);
  }
}

TEST_F(Connect, AdHocProfileSetsItsModeChannelAndPowerMode) {
  PROFILE_ENTRY p = Infrastructure("party", kAuthWpaPeap, 0);  // ad hoc: the code as it is
  p.networkType = 0;
  p.adHocWlanMode = 1;
  p.channel = 6;
  ProfileId id = profiles.Append(p);
  EXPECT_EQ(ApplyProfile(ctx, id), 0);
  EXPECT_EQ(lib.CallTexts(),
            Join(kScanFirst, {"SetProfileInUse(\"party\", 5)", "SetAuthMode(6)",
                              "SetTpxCCXNetworkEap(0)", "SetWPAInformation(0, 6, 0, \"party\")",
                              "SetWepStatus(1)", "SetNetworkMode(0)", "SetAdHocWlanMode(1)",
                              "SetChannel(6)", "SetSsid(\"party\", 5, 0)", "SetPowerMode(0)"}));
}

TEST_F(Connect, SetSsidResultsDecideTheRadioStep) {
  const Calls linkQuery = {"GetConnectStatus()", "QueryNetworkMode()", "QueryAuthMode()",
                           "QueryWepStatus()",   "QueryBssid(6)",      "QueryChannel()",
                           "QueryWlanMode()",    "QuerySsid(32)"};
  PROFILE_ENTRY p = Infrastructure("office", kAuthOpen, 0);
  p.keepAdapterDefaults = 0;
  p.powerMode = 1, p.preamble = 2, p.dataRate = 108, p.fragThreshold = 2346,
  p.rtsThreshold = 2000;
  ProfileId id = profiles.Append(p);

  struct Case {
    int setSsid;
    bool associated;
    Calls tail;
    TrayState tray;
  };
  const Case cases[] = {
      {0, false, kRadio, kTrayNoConnection},
      {4, true, Join(linkQuery, kRadio), kTrayConnected},       // already there
      {7, false, linkQuery, kTrayNoConnection},                 // failed: nothing more
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.setSsid);
    lib.ClearCalls();
    trays.clear();
    lib.QueueResults("SetSsid", {c.setSsid});
    lib.SetResult("GetConnectStatus", c.associated);
    lib.SetBytes("QueryBssid", c.associated ? std::vector<uint8_t>{0, 0x11, 0x22, 0x33, 0x44, 1}
                                            : std::vector<uint8_t>(6, 0));
    lib.SetDword("QueryChannel", 6);
    lib.SetText("QuerySsid", "office");
    EXPECT_EQ(ApplyProfile(ctx, id), c.setSsid);
    Calls calls = lib.CallTexts();
    size_t ssidAt = std::find(calls.begin(), calls.end(), "SetSsid(\"office\", 6, 0)") - calls.begin();
    ASSERT_LT(ssidAt, calls.size());
    EXPECT_EQ(Calls(calls.begin() + ssidAt + 1, calls.end()), c.tail);
    if (c.setSsid != 0) {
      EXPECT_EQ(trays, std::vector<TrayState>{c.tray});
      EXPECT_EQ(link.connected, c.associated ? 1u : 0u);
    }
  }
  EXPECT_EQ(link.frequencyMhz, 0u);  // the failed case found no BSSID: the record was reset
}

TEST_F(Connect, NothingIsDoneWithoutAdapterRadioProfileOrScan) {
  ProfileId id = profiles.Append(Infrastructure("office", kAuthOpen, 0));
  ConnectContext noAdapter{lib, nullptr, 1, profiles, link, nullptr};
  ConnectContext radioOff{lib, RecordingAdapterControl::kHandle, 0, profiles, link, nullptr};
  EXPECT_EQ(ApplyProfile(noAdapter, id), 1);
  EXPECT_EQ(ApplyProfile(radioOff, id), 1);
  EXPECT_EQ(ApplyProfile(ctx, id + 100), 1);
  EXPECT_TRUE(lib.CallTexts().empty());

  lib.SetResult("SsidScan", 1);
  EXPECT_EQ(ApplyProfile(ctx, id), 1);
  EXPECT_EQ(lib.CallTexts(), kScanFirst);
  EXPECT_EQ(profiles.Current(), kNoProfile);  // not made current after a failed scan
}

// Scan-list entry for the "<ANY SSID>" choice.
std::vector<uint8_t> ScanList(const std::vector<SCAN_LIST_ENTRY>& entries) {
  std::vector<uint8_t> buffer(4 + entries.size() * sizeof(SCAN_LIST_ENTRY));
  uint32_t count = static_cast<uint32_t>(entries.size());
  std::memcpy(buffer.data(), &count, 4);
  std::memcpy(buffer.data() + 4, entries.data(), entries.size() * sizeof(SCAN_LIST_ENTRY));
  return buffer;
}

SCAN_LIST_ENTRY Bss(std::string_view ssid, int32_t rssi, bool bOnly = false, uint32_t privacy = 0,
                    uint32_t infrastructure = 1) {
  SCAN_LIST_ENTRY e{};
  e.Length = sizeof e;
  e.SsidLength = static_cast<uint32_t>(ssid.size());
  std::memcpy(e.Ssid, ssid.data(), std::min<size_t>(ssid.size(), 32));
  e.Rssi = rssi;
  e.BOnly = bOnly;
  e.Privacy = privacy;
  e.InfrastructureMode = infrastructure;
  return e;
}

TEST_F(Connect, AnySsidJoinsTheStrongestOpenAccessPointPreferringG) {
  plat::ManualTickCount clock(1000);
  SCAN_LIST_ENTRY tooLong = Bss("x", -10);
  tooLong.SsidLength = 33;
  lib.SetBytes("QueryScanList", ScanList({Bss("Strong", -40, true), Bss("Weak", -70),
                                          Bss("Locked", -30, false, 1), Bss("Peer", -20, false, 0, 0),
                                          tooLong, Bss("Mid", -60), Bss("", -50)}));
  profiles.EnsureDefaultProfile();
  EXPECT_EQ(ApplyProfile(ctx, profiles.IdAt(0)), 0);
  EXPECT_EQ(lib.CallTexts(),
            (Calls{"SetProfileInUse(\"<Default>\", 9)", "SetAuthMode(0)", "SetTpxCCXNetworkEap(0)",
                   "SetWPAInformation(1, 0, 0, \"<ANY SSID>\")", "SetWepStatus(1)",
                   "QueryScanList(24576)", "SetAuthMode(0)", "SetWepStatus(1)", "SetNetworkMode(1)",
                   "SetSsid(\"Mid\", 3, 0)"}));

  lib.ClearCalls();
  lib.SetBytes("QueryScanList", ScanList({Bss("Locked", -30, false, 1)}));
  EXPECT_EQ(ConnectAnySsid(ctx), 1);
  EXPECT_EQ(lib.CallTexts().back(), "SetNetworkMode(1)");  // the security reset still happens
  lib.SetResult("QueryScanList", 1);
  EXPECT_EQ(ConnectAnySsid(ctx), 1);
}

TEST_F(Connect, ProfileInUseIsPickedUpAndCleared) {
  profiles.Append(Infrastructure("office", kAuthOpen, 0));
  profiles.Append(Infrastructure("home", kAuthOpen, 0));
  lib.SetText("QueryProfileInUse", "home");
  PickProfileInUse(ctx);
  EXPECT_EQ(FieldText(profiles.At(0).name), "home");
  EXPECT_EQ(profiles.Current(), profiles.IdAt(0));
  EXPECT_EQ(lib.CallTexts(), (Calls{"QueryProfileInUse(40)", "SetProfileInUse(\"home\", 4)"}));

  lib.ClearCalls();
  MakeProfileCurrent(ctx, kNoProfile);
  EXPECT_EQ(profiles.Current(), kNoProfile);
  EXPECT_EQ(lib.CallTexts(), Calls{"SetProfileInUse(\" \", 1)"});

  lib.ClearCalls();
  lib.SetText("QueryProfileInUse", "gone");
  PickProfileInUse(ctx);
  EXPECT_EQ(profiles.Current(), kNoProfile);
}

TEST(LinkStatus, FrequencyModeAndRegionFollowTheRules) {
  RecordingAdapterControl lib;
  LINK_STATUS link{};
  link.regionCode = 0x31, link.firstChannel = 10, link.lastChannel = 11;
  lib.SetBytes("QueryBssid", {0, 1, 2, 3, 4, 5});
  lib.SetDword("QueryWlanMode", 255);
  const std::tuple<uint32_t, uint32_t, uint32_t> cases[] = {{36, 5180, 2}, {14, 2484, 255}, {6, 2437, 255}};
  for (auto [channel, mhz, mode] : cases) {
    lib.SetDword("QueryChannel", channel);
    EXPECT_EQ(QueryLinkStatus(lib, RecordingAdapterControl::kHandle, 1, link), kTrayConnected);
    EXPECT_EQ(link.frequencyMhz, mhz);
    EXPECT_EQ(link.wlanMode, mode);
    EXPECT_EQ(link.firstChannel, 10u);
  }
  lib.SetDword("QueryNetworkMode", 0);
  lib.SetText("QuerySsid", "party");
  QueryLinkStatus(lib, RecordingAdapterControl::kHandle, 1, link);
  EXPECT_EQ(link.adHocUp, 1u);
  EXPECT_EQ(QueryLinkStatus(lib, nullptr, 1, link), kTrayUnplugged);
  EXPECT_EQ(link.connected, 0u);
  EXPECT_EQ(link.regionCode, 0x31u);
}

// An adapter whose calls note whether the state lock was free: another thread tries it.
struct LockWatchingAdapter : RecordingAdapterControl {
  std::recursive_mutex* state = nullptr;
  std::atomic<int> heldDuringCalls{0};
  void Check() {
    std::thread([this] {
      if (state->try_lock()) {
        state->unlock();
      } else {
        ++heldDuringCalls;
      }
    }).join();
  }
  int SsidScan(void* h, const ZELCON_SSID_SCAN* r) override {
    Check();
    return RecordingAdapterControl::SsidScan(h, r);
  }
  int SetSsid(void* h, const char* ssid, uint32_t length, uint32_t hidden) override {
    Check();
    return RecordingAdapterControl::SetSsid(h, ssid, length, hidden);
  }
  int SetProfileInUse(void* h, const char* name, uint32_t length) override {
    Check();
    return RecordingAdapterControl::SetProfileInUse(h, name, length);
  }
  int QueryBssid(void* h, uint8_t* buffer, uint32_t size) override {
    Check();
    return RecordingAdapterControl::QueryBssid(h, buffer, size);
  }
};

TEST(ConnectUnderTheStateLock, NoAdapterCallRunsWithTheLockHeld) {
  std::recursive_mutex state;
  LockWatchingAdapter lib;
  lib.state = &state;
  ProfileList profiles;
  LINK_STATUS link{};
  const ProfileId id = profiles.Append(Infrastructure("office", kAuthOpen, 0));
  ConnectContext ctx{lib, RecordingAdapterControl::kHandle, 1, profiles, link, nullptr, &state};
  lib.SetResult("SetSsid", 1);  // refused: the link status is refreshed too
  lib.SetBytes("QueryBssid", {0, 0x11, 0x22, 0x33, 0x44, 0x55});
  EXPECT_EQ(ApplyProfile(ctx, id), 1);
  const std::vector<std::string> calls = lib.CallTexts();
  EXPECT_NE(std::find(calls.begin(), calls.end(), "SetProfileInUse(\"office\", 6)"), calls.end());
  EXPECT_EQ(lib.heldDuringCalls.load(), 0);
  EXPECT_EQ(link.bssid[1], 0x11);  // the refreshed status was stored
  EXPECT_EQ(profiles.Current(), id);
}

}  // namespace
}  // namespace zelcon
