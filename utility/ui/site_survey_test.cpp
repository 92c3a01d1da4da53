#include "utility/ui/site_survey.h"
#include "utility/ui/profile_wizard.h"
#include "platform/gui/testing/modal_hooks.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "hosts/adapterctl/zelcon_records.h"
#include "platform/gui/list_view.h"
#include "platform/gui/testing/gui_kit.h"
#include "utility/core/profile_entry.h"
#include "utility/ui/testing/column_fit.h"
#include "utility/ui/testing/zelcon_fixture.h"

namespace zelcon_test {
namespace {

using Bytes = std::vector<uint8_t>;

struct Network {
  std::string ssid;
  uint8_t lastMacByte;
  uint32_t kHz;
  int32_t rssi;
  uint32_t infrastructure = 1;
  uint32_t bOnly = 0;
  uint32_t privacy = 0;
  uint32_t ssidLength = 0xFFFFFFFF;  // the SSID's own length unless given
};

SCAN_LIST_ENTRY Entry(const Network& n) {
  SCAN_LIST_ENTRY e{};
  e.Length = sizeof e;
  const uint8_t mac[6] = {0x00, 0x1E, 0x4D, 0x00, 0x00, n.lastMacByte};
  std::memcpy(e.MacAddress, mac, 6);
  e.SsidLength = n.ssidLength != 0xFFFFFFFF ? n.ssidLength : static_cast<uint32_t>(n.ssid.size());
  std::memcpy(e.Ssid, n.ssid.data(), std::min<size_t>(n.ssid.size(), 32));
  e.Privacy = n.privacy;
  e.Rssi = n.rssi;
  e.DsConfig = n.kHz;
  e.InfrastructureMode = n.infrastructure;
  e.BOnly = n.bOnly;
  return e;
}

Bytes ScanList(const std::vector<Network>& networks) {
  Bytes b(4, 0);
  const uint32_t count = static_cast<uint32_t>(networks.size());
  std::memcpy(b.data(), &count, 4);
  for (const Network& n : networks) {
    const SCAN_LIST_ENTRY e = Entry(n);
    const auto* p = reinterpret_cast<const uint8_t*>(&e);
    b.insert(b.end(), p, p + sizeof e);
  }
  return b;
}

// One extended entry with the given elements (after the 12 fixed bytes).
Bytes ExtendedList(uint8_t lastMacByte, const Bytes& elements) {
  ZELCON_BSSID_EX_HEAD head{};
  head.Length = static_cast<uint32_t>(sizeof head + 12 + elements.size());
  const uint8_t mac[6] = {0x00, 0x1E, 0x4D, 0x00, 0x00, lastMacByte};
  std::memcpy(head.MacAddress, mac, 6);
  head.IELength = static_cast<uint32_t>(12 + elements.size());
  Bytes b(4, 0);
  b[0] = 1;
  const auto* p = reinterpret_cast<const uint8_t*>(&head);
  b.insert(b.end(), p, p + sizeof head);
  b.insert(b.end(), 12, 0);
  b.insert(b.end(), elements.begin(), elements.end());
  return b;
}

const std::vector<Network> kAir = {
    {"Office", 1, 2'437'000, -56},
    {"Legacy", 2, 2'412'000, -76, 1, 1},
    {"", 3, 2'462'000, -60},                      // hidden
    {"Party", 4, 2'422'000, -70, 0},              // ad hoc
    {"Nowhere", 5, 2'500'000, -50},               // no channel
    {std::string(32, 'x'), 6, 2'437'000, -50, 1, 0, 0, 33},  // SSID length 33
    {"Secure", 7, 5'180'000, -120, 1, 0, 1},
};

struct ZelconSiteSurvey : ZelconFixture {
  CSiteSurvey* page = nullptr;
  void Open() {
    lib.SetBytes("QueryScanList", ScanList(kAir));
    CZelconSheet& sheet = *Start();
    ASSERT_TRUE(sheet.setActivePage(2));
    page = dynamic_cast<CSiteSurvey*>(sheet.activePage());
    ASSERT_NE(page, nullptr);
  }
  zfw::ListView List() { return page->listView(CSiteSurvey::IDC_NETWORK_LIST); }
  std::vector<std::string> Row(int row) {
    std::vector<std::string> cells;
    for (int c = 0; c < 6; ++c) cells.push_back(List().itemText(row, c));
    return cells;
  }
  std::vector<std::string> Column0() {
    std::vector<std::string> names;
    for (int r = 0; r < List().itemCount(); ++r) names.push_back(List().itemText(r, 0));
    return names;
  }
  int RowOf(const std::string& name) {
    for (int r = 0; r < List().itemCount(); ++r)
      if (List().itemText(r, 0) == name) return r;
    return -1;
  }
};

TEST_F(ZelconSiteSurvey, ListsTheScanWithChannelsSignalsIconsAndHiddenNetworks) {
  Associated("Office");
  lib.SetBytes("QueryBssid", {0x00, 0x1E, 0x4D, 0x00, 0x00, 0x01});
  lib.SetDword("QueryNetworkMode", 1);
  lib.SetDword("QueryChannel", 6);
  Open();
  EXPECT_EQ(Column0(), (std::vector<std::string>{"Office", "Legacy", "<00-1E-4D-00-00-03>", "Party",
                                                 "Secure"}));
  EXPECT_EQ(Row(0), (std::vector<std::string>{"Office", "00-1E-4D-00-00-01", "Disable", "6", "100%",
                                              "Infrastructure"}));
  EXPECT_EQ(Row(1)[4], "50%");
  EXPECT_EQ(Row(3)[5], "Ad-Hoc");
  EXPECT_EQ(Row(4)[2], "Enable");
  EXPECT_EQ(Row(4)[3], "36");
  EXPECT_EQ(Row(4)[4], "0%");
  // The network in use has the "in use" image of its kind.
  const std::vector<int> images = {CSiteSurvey::kImageG + 1, CSiteSurvey::kImageB,
                                   CSiteSurvey::kImageG, CSiteSurvey::kImageAdHoc,
                                   CSiteSurvey::kImageG};
  for (int r = 0; r < 5; ++r) EXPECT_EQ(List().itemImage(r), images[size_t(r)]) << r;
  for (int column = 0; column < List().columnCount(); ++column)
    ExpectColumnShowsItsTextsWhole(*page, CSiteSurvey::IDC_NETWORK_LIST, column);

  // A hidden network cannot be associated.
  ASSERT_TRUE(zfw::testing::clickListRow(*page, CSiteSurvey::IDC_NETWORK_LIST, 2));
  EXPECT_FALSE(page->isItemEnabled(CSiteSurvey::IDC_ASSOCIATE));
  ASSERT_TRUE(zfw::testing::clickListRow(*page, CSiteSurvey::IDC_NETWORK_LIST, 0));
  EXPECT_TRUE(page->isItemEnabled(CSiteSurvey::IDC_ASSOCIATE));
  EXPECT_FALSE(zfw::testing::saveScreenshot(Sheet(), "zelcon_site_survey").empty());
}

TEST_F(ZelconSiteSurvey, TheDisplaySwitchesNarrowTheList) {
  Open();
  struct Case {
    int box;
    std::vector<std::string> left;
  };
  const Case cases[] = {
      {CSiteSurvey::IDC_SHOW_PEER, {"Office", "Legacy", "<00-1E-4D-00-00-03>", "Secure"}},
      {CSiteSurvey::IDC_SHOW_B, {"Office", "<00-1E-4D-00-00-03>", "Secure"}},
      {CSiteSurvey::IDC_SHOW_G, {}},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(zfw::testing::click(*page, c.box));
    EXPECT_EQ(Column0(), c.left);
  }
}

TEST_F(ZelconSiteSurvey, RefreshScansWithTheFilter) {
  Open();
  struct Case {
    const char* name;
    std::function<void(CSiteSurvey::ScanFilter&)> set;
    std::string call;
  };
  const Case cases[] = {
      {"any", [](CSiteSurvey::ScanFilter&) {}, "Scan()"},
      {"channels 3 to 6",
       [](CSiteSurvey::ScanFilter& f) {
         f.allChannels = false;
         const uint8_t ch[] = {3, 4, 5, 6};
         std::memcpy(f.channels, ch, 4);
       },
       "BssidScan"},
      {"an SSID", [](CSiteSurvey::ScanFilter& f) {
         f.anySsid = false;
         f.ssid = "Office";
       },
       "SsidScan"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    page->Filter() = CSiteSurvey::ScanFilter{};
    c.set(page->Filter());
    lib.ClearCalls();
    ASSERT_TRUE(zfw::testing::click(*page, CSiteSurvey::IDC_REFRESH));
    const std::vector<zelcon::RecordingAdapterControl::Call> calls = lib.Calls();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls[1].text, "SetNetworkMode(0)");
    EXPECT_EQ(calls[2].text.substr(0, c.call.size()), c.call);
    if (std::string(c.name) == "channels 3 to 6") {
      const Bytes expected = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 3, 4, 5, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
      EXPECT_EQ(calls[2].bytes, expected);
    }
    EXPECT_EQ(Sheet().m_busy.load(), 0);
    EXPECT_EQ(List().itemCount(), 5);
  }
}

TEST_F(ZelconSiteSurvey, AssociateBuildsAProfileKeptOnlyWhenTheNetworkTookIt) {
  Open();
  struct Case {
    const char* name;
    int setSsid;
    bool kept;
  };
  const Case cases[] = {{"refused", 1, false}, {"accepted", 0, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    lib.SetResult("SetSsid", c.setSsid);
    lib.ClearCalls();
    ASSERT_TRUE(zfw::testing::clickListRow(*page, CSiteSurvey::IDC_NETWORK_LIST, RowOf("Legacy")));
    ASSERT_TRUE(zfw::testing::click(*page, CSiteSurvey::IDC_ASSOCIATE));
    EXPECT_TRUE(Called("SetSsid(\"Legacy\", 6, 0)"));
    auto lock = Sheet().LockState();
    const zelcon::ProfileId id = Sheet().Profiles().FindByName("Legacy");
    EXPECT_EQ(id != zelcon::kNoProfile, c.kept);
    if (!c.kept) continue;
    const PROFILE_ENTRY& p = *Sheet().Profiles().Find(id);
    EXPECT_EQ(p.wlanMode, 1u);
    EXPECT_EQ(p.prefer, 1u);
    EXPECT_EQ(p.dataRate, 255u);
    EXPECT_EQ(p.fragThreshold, 2346u);
    EXPECT_EQ(p.rtsThreshold, 2347u);
    EXPECT_EQ(Sheet().CurrentProfile(), id);
  }
  // The same network again reuses the profile.
  lib.SetResult("SetSsid", 0);
  ASSERT_TRUE(zfw::testing::clickListRow(*page, CSiteSurvey::IDC_NETWORK_LIST, RowOf("Legacy")));
  ASSERT_TRUE(zfw::testing::click(*page, CSiteSurvey::IDC_ASSOCIATE));
  auto lock = Sheet().LockState();
  int legacy = 0;
  for (size_t i = 0; i < Sheet().Profiles().Size(); ++i)
    legacy += zelcon::FieldText(Sheet().Profiles().At(i).ssid) == "Legacy";
  EXPECT_EQ(legacy, 1);
}

TEST_F(ZelconSiteSurvey, ANewProfileGetsAUniqueName) {
  Open();
  {
    auto lock = Sheet().LockState();
    PROFILE_ENTRY other{};
    zelcon::SetFieldText(other.name, "Office");
    zelcon::SetFieldText(other.ssid, "elsewhere");
    other.networkType = 1;
    Sheet().Profiles().Append(other);
  }
  ASSERT_TRUE(zfw::testing::clickListRow(*page, CSiteSurvey::IDC_NETWORK_LIST, RowOf("Office")));
  ASSERT_TRUE(zfw::testing::click(*page, CSiteSurvey::IDC_ASSOCIATE));
  auto lock = Sheet().LockState();
  const zelcon::ProfileId id = Sheet().Profiles().FindByName("Office2");
  ASSERT_NE(id, zelcon::kNoProfile);
  EXPECT_EQ(zelcon::FieldText(Sheet().Profiles().Find(id)->ssid), "Office");
}

// A page whose "Configure Network" form is confirmed, noting the profile it was shown.
class ConfirmingSiteSurvey : public CSiteSurvey {
public:
  PROFILE_ENTRY shown{};
  bool ConfigureNetwork(PROFILE_ENTRY& profile) override {
    shown = profile;
    return true;
  }
};

TEST_F(ZelconSiteSurvey, APrivacyNetworkIsConfiguredWithTheSecurityItsBeaconAsks) {
  Open();
  // A mixed-mode RSN element: TKIP and AES pairwise, PSK.
  const Bytes rsn = {48, 22, 1, 0, 0x00, 0x0F, 0xAC, 2, 2, 0, 0x00, 0x0F, 0xAC, 2,
                     0x00, 0x0F, 0xAC, 4, 1, 0, 0x00, 0x0F, 0xAC, 2};
  lib.SetBytes("QueryScanListLength", ExtendedList(7, rsn));
  ConfirmingSiteSurvey confirming;
  Sheet().addPage(&confirming);
  ASSERT_TRUE(Sheet().setActivePage(&confirming));
  int row = -1;
  zfw::ListView list = confirming.listView(CSiteSurvey::IDC_NETWORK_LIST);
  for (int r = 0; r < list.itemCount(); ++r)
    if (list.itemText(r, 0) == "Secure") row = r;
  ASSERT_GE(row, 0);
  ASSERT_TRUE(zfw::testing::clickListRow(confirming, CSiteSurvey::IDC_NETWORK_LIST, row));
  ASSERT_TRUE(zfw::testing::click(confirming, CSiteSurvey::IDC_ASSOCIATE));
  EXPECT_EQ(confirming.shown.authMode, 9u);
  EXPECT_EQ(confirming.shown.encryption, 2u);
  EXPECT_TRUE(Called("SetSsid(\"Secure\", 6, 0)"));
  Sheet().setActivePage(0);
  Sheet().removePage(&confirming);
}

TEST_F(ZelconSiteSurvey, APrivacyNetworkIsNotJoinedUnlessConfigured) {
  Open();
  ASSERT_TRUE(zfw::testing::clickListRow(*page, CSiteSurvey::IDC_NETWORK_LIST, RowOf("Secure")));
  lib.ClearCalls();
  zfw::testing::ModalHooks hooks;
  hooks.expect<CProfileWizard>(IDS_CONFIGURE_NETWORK, [](CProfileWizard& w) {
    w.dispatchCommand(zfw::IDCANCEL, zfw::BN_CLICKED);  // the user cancels "Configure Network"
  });
  ASSERT_TRUE(zfw::testing::click(*page, CSiteSurvey::IDC_ASSOCIATE));
  EXPECT_EQ(hooks.opened(), std::vector<int>{IDS_CONFIGURE_NETWORK});
  EXPECT_FALSE(Called("SetSsid(\"Secure\", 6, 0)"));
  auto lock = Sheet().LockState();
  EXPECT_EQ(Sheet().Profiles().FindByName("Secure"), zelcon::kNoProfile);
}

}  // namespace
}  // namespace zelcon_test
