#include "utility/ui/auto_link_dlg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "hosts/adapterctl/zelcon_records.h"
#include "platform/gui/cross_thread.h"
#include "platform/gui/testing/gui_kit.h"
#include "platform/gui/testing/modal_hooks.h"
#include "platform/gui/wait_cursor.h"
#include "utility/core/profile_entry.h"
#include "utility/ui/app_messages.h"
#include "utility/ui/countdown_dlg.h"
#include "utility/ui/testing/zelcon_fixture.h"

namespace zelcon_test {
namespace {

using zfw::testing::ModalHooks;
using zfw::testing::processEvents;

const std::vector<uint8_t> kMac = {0x02, 0x1E, 0x4D, 0x00, 0x00, 0x01};

struct Offered {
  std::string ssid;
  int32_t rssi;
  uint8_t flags;  // bit 0 class 0, bit 1 class 1, bit 2 class 2
};

std::vector<uint8_t> ScanList(const std::vector<Offered>& aps) {
  std::vector<uint8_t> b(4, 0);
  const uint32_t count = static_cast<uint32_t>(aps.size());
  std::memcpy(b.data(), &count, 4);
  for (const Offered& ap : aps) {
    SCAN_LIST_ENTRY e{};
    e.Length = sizeof e;
    e.SsidLength = static_cast<uint32_t>(ap.ssid.size());
    std::memcpy(e.Ssid, ap.ssid.data(), ap.ssid.size());
    e.Rssi = ap.rssi;
    e.DsConfig = 2'437'000;
    e.InfrastructureMode = 1;
    const uint8_t vendor[8] = {221, 9, 0x02, 0x5A, 0x9C, 0, 0, ap.flags};
    std::memcpy(e.Vendor, vendor, 8);
    const auto* p = reinterpret_cast<const uint8_t*>(&e);
    b.insert(b.end(), p, p + sizeof e);
  }
  return b;
}

struct ZelconAutoLink : ZelconFixture {
  ModalHooks hooks;

  ZelconAutoLink() {
    lib.SetBytes("QueryScanList", ScanList({{"Hall", -56, 0x02}, {"Office", -66, 0x01}, {"Attic", -80, 0x04}}));
    lib.SetBytes("GetMacAddress", kMac);
    zfw::IpAdapterInfo info;
    info.index = 3;
    info.address = kMac;
    info.dhcpEnabled = false;
    info.ipAddress = "10.0.0.5";
    fake.ipHelper.table = {info};
  }
  // What the access point tells the adapter at the end of a successful exchange.
  void AccessPointReports(const std::string& ssid) {
    HLVN_SWIFTBOND_AP_INFO info{};
    info.SsidLength = static_cast<uint32_t>(ssid.size());
    std::memcpy(info.Ssid, ssid.data(), ssid.size());
    const auto* bytes = reinterpret_cast<const uint8_t*>(&info);
    lib.SetBytes("QuerySwiftBondAPInfo", std::vector<uint8_t>(bytes, bytes + sizeof info));
  }
  // The calls made between two points of a flow, from the first one named `from` on.
  std::vector<std::string> CallsFrom(const std::string& from) const {
    const std::vector<std::string> all = lib.CallTexts();
    auto at = std::find(all.begin(), all.end(), from);
    return std::vector<std::string>(at, all.end());
  }
  std::vector<uint8_t> BytesOf(const std::string& op) const {
    for (const auto& c : lib.Calls()) {
      if (c.text.rfind(op, 0) == 0) return c.bytes;
    }
    return {};
  }
  // The countdown box opens with `message` and waits out its seconds on the manual timers.
  void ExpectCountdown(const std::string& message, int seconds) {
    hooks.expect<CCountdownDlg>(CCountdownDlg::IDD, [this, message, seconds](CCountdownDlg& box) {
      EXPECT_EQ(box.itemText(CCountdownDlg::IDC_TEXT), message);
      EXPECT_EQ(box.windowText(), " " + std::to_string(seconds) + " seconds remaining...");
      box.onCancel();  // cannot be dismissed early
      EXPECT_FALSE(box.isEnded());
      fake.timers.advance(1000);
      EXPECT_EQ(box.windowText(), " " + std::to_string(seconds - 1) + " seconds remaining...");
      EXPECT_EQ(box.progressBar(CCountdownDlg::IDC_BAR).pos(), 1);
      fake.timers.advance(static_cast<uint64_t>(seconds - 1) * 1000);
      EXPECT_TRUE(box.isEnded());
    });
  }
  static void Choose(CAutoLinkDlg& d, std::string_view ssid) {
    zfw::ComboBox box = d.comboBox(CAutoLinkDlg::IDC_ACCESS_POINTS);
    for (int i = 0; i < box.count(); ++i) {
      if (box.lbText(i).starts_with(ssid)) {
        ASSERT_TRUE(zfw::testing::chooseComboItem(d, CAutoLinkDlg::IDC_ACCESS_POINTS, i));
      }
    }
  }
  static void Apply(CAutoLinkDlg& d, const std::string& pin, const std::string& confirmation) {
    d.setItemText(CAutoLinkDlg::IDC_PIN, pin);
    d.setItemText(CAutoLinkDlg::IDC_CONFIRM, confirmation);
    ASSERT_TRUE(zfw::testing::click(d, zfw::IDOK));
  }
  std::vector<std::string> ProfileNames(CZelconSheet& sheet) {
    auto lock = sheet.LockState();
    std::vector<std::string> names;
    for (size_t i = 0; i < sheet.Profiles().Size(); ++i)
      names.emplace_back(zelcon::FieldText(sheet.Profiles().At(i).name));
    return names;
  }
};

TEST_F(ZelconAutoLink, ANewAccessPointIsJoinedOpenlyThenTheExchangeEndsWithAWpaPskProfile) {
  CZelconSheet& sheet = *Start();
  AccessPointReports("Office");
  hooks.expect<CAutoLinkDlg>(CAutoLinkDlg::IDD, [&](CAutoLinkDlg& d) {
    zfw::ComboBox box = d.comboBox(CAutoLinkDlg::IDC_ACCESS_POINTS);
    ASSERT_EQ(box.count(), 3);
    EXPECT_EQ(box.lbText(0), "Hall (Rssi=100%)");
    EXPECT_EQ(box.lbText(1), "Office (Rssi=75%)");
    EXPECT_EQ(box.lbText(2), "Attic (Rssi=40%)");
    EXPECT_EQ(d.windowText(), "Auto Link");
    Choose(d, "Office");
    // Not asked again: the worker, woken by the countdowns' seconds, stays out of the way.
    d.checkItem(CAutoLinkDlg::IDC_DO_NOT_ASK, 1);
    EXPECT_EQ(d.itemText(CAutoLinkDlg::IDC_STATUS), "This AP has not been configured");
    EXPECT_TRUE(d.isItemEnabled(CAutoLinkDlg::IDC_CONFIRM));
    lib.ClearCalls();
    Apply(d, "12345678", "12345678");
    EXPECT_EQ(CallsFrom("SetAuthMode(0)"),
              (std::vector<std::string>{"SetAuthMode(0)", "SetTpxCCXNetworkEap(0)", "SetWepStatus(1)",
                                        "SetWPAInformation(1, 0, 0, \"Office\")", "SetWlanMode(255)",
                                        "SetNetworkMode(1)", "SetSsid(\"Office\", 6, 0)"}));
    EXPECT_GT(zfw::waitCursorDepth(), 0);  // until the exchange ends

    // Associated: a countdown, then the records go to the driver.
    ExpectCountdown("Preparing for Auto Link swift bond...", 5);
    zfw::sendAppMessage(d, HLVN_EVENT_ASSOCIATED);
    const std::vector<uint8_t> security = BytesOf("SetSBSecurityInfo");
    ASSERT_EQ(security.size(), 168u);
    EXPECT_EQ(security[0], 168);
    EXPECT_EQ(security[1], 0x01);
    EXPECT_EQ(std::string(security.begin() + 2, security.begin() + 10), "12345678");
    EXPECT_EQ(security[162], 1);  // a static address
    EXPECT_EQ(std::vector<uint8_t>(security.begin() + 164, security.end()), (std::vector<uint8_t>{10, 0, 0, 5}));
    EXPECT_EQ(BytesOf("SetSBSetupRequest"), (std::vector<uint8_t>{8, 1, 1, 0, 1, 0, 0, 0}));
    // A second association starts nothing more.
    lib.ClearCalls();
    zfw::sendAppMessage(d, HLVN_EVENT_ASSOCIATED);
    EXPECT_FALSE(Called("SetSBSecurityInfo(168 bytes)"));

    const char* steps[] = {"Auto Link Start Request",     "Auto Link Start Response",
                           "Auto Link Challenge Request", "Auto Link Challenge Response",
                           "Auto Link Status Request",    "Auto Link Status Response",
                           "Auto Link End Request"};
    for (uint32_t step = 0; step < 7; ++step) {
      zfw::sendAppMessage(d, HLVN_EVENT_SWIFTBOND_STEP + step);
      EXPECT_EQ(d.itemText(CAutoLinkDlg::IDC_STATUS), steps[step]);
    }
    zfw::sendAppMessage(d, HLVN_EVENT_DISCONNECTED);
    EXPECT_EQ(d.itemText(CAutoLinkDlg::IDC_STATUS), "Disconnect");

    ExpectCountdown("Auto Link is done successfully.\r\nPreparing to exit......", 15);
    lib.ClearCalls();
    zfw::sendAppMessage(d, HLVN_EVENT_SWIFTBOND_STEP + 7);
    // The exchange is over: the port goes down and the adapter leaves the access point.
    EXPECT_EQ(lib.CallTexts()[0], "WPAPortDown()");
    std::string nowhere;
    for (int i = 0; i < 32; ++i) nowhere += "\\x01";
    EXPECT_EQ(lib.CallTexts()[1], "SetSsid(\"" + nowhere + "\", 32, 0)");
    EXPECT_TRUE(d.isEnded());
    EXPECT_TRUE(d.ProfileReady());
  });
  sheet.RunAutoLink();
  EXPECT_EQ(hooks.unused(), 0u);
  EXPECT_EQ(sheet.m_autoLinkCommand.load(), AUTOLINK_PROFILE_READY);
  EXPECT_EQ(zfw::waitCursorDepth(), 0);
  EXPECT_EQ(ProfileNames(sheet), (std::vector<std::string>{"Office", "<Default>"}));
  {
    auto lock = sheet.LockState();
    const PROFILE_ENTRY& made = sheet.Profiles().At(0);
    EXPECT_EQ(made.authMode, static_cast<uint32_t>(zelcon::kAuthWpaPsk));
    EXPECT_EQ(made.encryption, 2u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(made.wpa.passphrase), made.wpa.passphraseLength), "12345678");
  }
  EXPECT_TRUE(sheet.isVisible());
  EXPECT_EQ(sheet.m_autoLinkRunning.load(), 0);
  EXPECT_EQ(sheet.m_autoLinkEnabled.load(), 0);
}

TEST_F(ZelconAutoLink, AConfiguredAccessPointIsJoinedWithTheFinalProfileUnderTheAssociationTimer) {
  CZelconSheet& sheet = *Start();
  // Accepted by the port: the adapter is on the network and the profile becomes current.
  hooks.expect<CAutoLinkDlg>(CAutoLinkDlg::IDD, [&](CAutoLinkDlg& d) {
    EXPECT_EQ(d.itemText(CAutoLinkDlg::IDC_STATUS), "This AP has been configured using Auto Link");
    EXPECT_FALSE(d.isItemEnabled(CAutoLinkDlg::IDC_CONFIRM));
    EXPECT_FALSE(d.isItemEnabled(CAutoLinkDlg::IDC_CONFIRM_LABEL));
    lib.ClearCalls();
    Apply(d, "hallway-pin", "");
    EXPECT_EQ(CallsFrom("SetAuthMode(4)"),
              (std::vector<std::string>{"SetAuthMode(4)", "SetTpxCCXNetworkEap(0)", "SetWepStatus(4)",
                                        "SetWPAInformation(1, 2, 2, \"Hall\")", "SetWlanMode(0)",
                                        "SetNetworkMode(1)", "SetSsid(\"Hall\", 4, 0)"}));
    const std::vector<uint8_t> wpa = BytesOf("SetWPAInformation");
    ASSERT_EQ(wpa.size(), 500u);
    EXPECT_EQ(std::string(wpa.begin(), wpa.begin() + 11), "hallway-pin");
    EXPECT_TRUE(fake.timers.isRunning(d, CAutoLinkDlg::kAssociationTimer));
    Associated("Hall");
    zfw::sendAppMessage(d, ZELCON_NOTIFY_PORT_AUTHORIZED);
    EXPECT_TRUE(d.isEnded());
    EXPECT_FALSE(fake.timers.isRunning(d, CAutoLinkDlg::kAssociationTimer));
  });
  sheet.RunAutoLink();
  EXPECT_EQ(sheet.m_autoLinkCommand.load(), AUTOLINK_CONNECTED);
  EXPECT_EQ(ProfileNames(sheet), (std::vector<std::string>{"Hall", "<Default>"}));
  EXPECT_EQ(sheet.CurrentProfile(), [&] {
    auto lock = sheet.LockState();
    return sheet.Profiles().IdAt(0);
  }());

  // Not joined within 10 s: the association fails and the user may try again or leave.
  lib.SetResult("GetConnectStatus", 0);
  {
    auto lock = sheet.LockState();  // a profile for Hall would keep it from being offered
    sheet.Profiles().Remove(sheet.Profiles().IdAt(0));
  }
  hooks.expect<CAutoLinkDlg>(CAutoLinkDlg::IDD, [&](CAutoLinkDlg& d) {
    Apply(d, "hallway-pin", "");
    lib.ClearCalls();
    fake.timers.advance(CAutoLinkDlg::kAssociationMs);
    ASSERT_NE(fake.boxes.last(), nullptr);
    EXPECT_EQ(fake.boxes.last()->text, "Association Failed!\r\nPlease make sure the PIN is correct");
    EXPECT_EQ(fake.boxes.last()->caption, "Auto Link");
    EXPECT_EQ(fake.boxes.last()->flags, zfw::MB_ICONEXCLAMATION);
    EXPECT_TRUE(Called("WPAPortDown()"));
    EXPECT_FALSE(fake.timers.isRunning(d, CAutoLinkDlg::kAssociationTimer));
    EXPECT_FALSE(d.isEnded());
    d.checkItem(CAutoLinkDlg::IDC_DO_NOT_ASK, 1);
    ASSERT_TRUE(zfw::testing::click(d, zfw::IDCANCEL));
  });
  sheet.RunAutoLink();
  EXPECT_EQ(sheet.m_autoLinkCommand.load(), AUTOLINK_NOTHING);
  EXPECT_EQ(sheet.m_autoLinkEnabled.load(), 0);  // "Please do not ask me again"
  EXPECT_EQ(zfw::waitCursorDepth(), 0);
}

TEST_F(ZelconAutoLink, ApplyRefusesABadPinOrConfirmationAndDoesNothingForClassTwo) {
  CZelconSheet& sheet = *Start();
  struct Case {
    const char* ssid;
    const char* pin;
    const char* confirmation;
    const char* box;  // nullptr: accepted
    bool boxesEmptied;
  };
  const Case cases[] = {
      {"Office", "1234567", "1234567", "The passphrase needs to be 8 to 63 ascii characters. ", true},
      {"Office", "12345678", "12345679", "The passphrases you enter do not match!", false},
      {"Hall", "1234567", "", "The passphrase needs to be 8 to 63 ascii characters. ", true},
      {"Office", "12345678", "12345678", nullptr, false},
  };
  hooks.expect<CAutoLinkDlg>(CAutoLinkDlg::IDD, [&](CAutoLinkDlg& d) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.ssid) + " " + c.pin);
      Choose(d, c.ssid);
      fake.boxes.clear();
      lib.ClearCalls();
      Apply(d, c.pin, c.confirmation);
      if (c.box) {
        ASSERT_NE(fake.boxes.last(), nullptr);
        EXPECT_EQ(fake.boxes.last()->text, c.box);
        EXPECT_FALSE(Called("SetSsid(\"" + std::string(c.ssid) + "\", " + std::to_string(strlen(c.ssid)) + ", 0)"));
        EXPECT_EQ(d.itemText(CAutoLinkDlg::IDC_PIN).empty(), c.boxesEmptied);
        EXPECT_EQ(zfw::waitCursorDepth(), 0);
      } else {
        EXPECT_TRUE(fake.boxes.boxes().empty());
        EXPECT_TRUE(Called("SetSsid(\"Office\", 6, 0)"));
        EXPECT_EQ(sheet.m_autoLinkEnabled.load(), 1);  // "do not ask me again" is clear
      }
    }
    zfw::endWaitCursor();
    Choose(d, "Attic");
    lib.ClearCalls();
    Apply(d, "12345678", "12345678");
    EXPECT_TRUE(lib.CallTexts().empty());
    ASSERT_TRUE(zfw::testing::click(d, zfw::IDCANCEL));
  });
  sheet.RunAutoLink();
  EXPECT_EQ(hooks.unused(), 0u);
}

TEST_F(ZelconAutoLink, AFailedOrAbortedExchangeEndsWithoutAProfile) {
  CZelconSheet& sheet = *Start();
  // The adapter refuses the SSID and is not associated: nothing is pending.
  hooks.expect<CAutoLinkDlg>(CAutoLinkDlg::IDD, [&](CAutoLinkDlg& d) {
    Choose(d, "Office");
    d.checkItem(CAutoLinkDlg::IDC_DO_NOT_ASK, 1);  // keeps the worker idle
    lib.QueueResults("SetSsid", {1});
    Apply(d, "12345678", "12345678");
    EXPECT_EQ(d.itemText(CAutoLinkDlg::IDC_STATUS), "Cannot associate to Halvane AP!\r\nPlease try again");
    lib.ClearCalls();
    zfw::sendAppMessage(d, HLVN_EVENT_ASSOCIATED);
    EXPECT_FALSE(Called("SetSBSetupRequest(8 bytes)"));

    // Joined after all; the driver gives up the exchange.
    Apply(d, "12345678", "12345678");
    ExpectCountdown("Preparing for Auto Link swift bond...", 5);
    zfw::sendAppMessage(d, HLVN_EVENT_ASSOCIATED);
    ExpectCountdown("Auto Link Failed!, Please Try Again later.", 3);
    zfw::sendAppMessage(d, HLVN_EVENT_SWIFTBOND_FAILED);
    EXPECT_TRUE(d.isEnded());
    EXPECT_FALSE(d.ProfileReady());
  });
  sheet.RunAutoLink();
  EXPECT_EQ(sheet.m_autoLinkCommand.load(), AUTOLINK_NOTHING);

  // The access point aborts: the user is told, the dialog stays for another try.
  hooks.expect<CAutoLinkDlg>(CAutoLinkDlg::IDD, [&](CAutoLinkDlg& d) {
    Choose(d, "Office");
    d.checkItem(CAutoLinkDlg::IDC_DO_NOT_ASK, 1);
    Apply(d, "12345678", "12345678");
    ExpectCountdown("Preparing for Auto Link swift bond...", 5);
    zfw::sendAppMessage(d, HLVN_EVENT_ASSOCIATED);
    fake.boxes.clear();
    zfw::sendAppMessage(d, HLVN_EVENT_SWIFTBOND_STEP + 9);
    ASSERT_NE(fake.boxes.last(), nullptr);
    EXPECT_EQ(fake.boxes.last()->text, "Association Failed!\r\nPlease make sure the PIN is correct");
    EXPECT_EQ(zfw::waitCursorDepth(), 0);
    EXPECT_FALSE(d.isEnded());
    ASSERT_TRUE(zfw::testing::click(d, zfw::IDCANCEL));
  });
  sheet.RunAutoLink();
  EXPECT_EQ(sheet.m_autoLinkCommand.load(), AUTOLINK_NOTHING);
  EXPECT_EQ(ProfileNames(sheet), std::vector<std::string>{"<Default>"});
}

// Auto Configuration's join may complete while the dialog runs: the dialog, waiting for no
// association of its own, hands the notice on to the sheet; and whether told or not, the
// sheet takes the adapter's link as it is once the dialog has ended.
TEST_F(ZelconAutoLink, ALinkThatCameUpWhileTheDialogRanIsTheSheetsAfterwards) {
  CZelconSheet& sheet = *Start();
  for (const bool told : {true, false}) {
    SCOPED_TRACE(told ? "its notice came to the dialog" : "its notice was lost");
    lib.SetResult("GetConnectStatus", 0);
    sheet.QueryLinkStatus(0);
    hooks.expect<CAutoLinkDlg>(CAutoLinkDlg::IDD, [&](CAutoLinkDlg& d) {
      Associated("Hall");
      if (told) {
        zfw::sendAppMessage(d, HLVN_EVENT_ASSOCIATED);
        auto lock = sheet.LockState();
        EXPECT_EQ(sheet.Link().connected, 1u);
      }
      ASSERT_TRUE(zfw::testing::click(d, zfw::IDCANCEL));
    });
    sheet.RunAutoLink();
    EXPECT_EQ(sheet.m_autoLinkCommand.load(), AUTOLINK_NOTHING);
    {
      auto lock = sheet.LockState();
      EXPECT_EQ(sheet.Link().connected, 1u);
      EXPECT_EQ(zelcon::FieldText(sheet.Link().ssid), "Hall");
    }
    EXPECT_EQ(fake.tray.tip, "Connected");
  }
}

// Applied while the adapter is on the access point's network already (Auto Configuration
// joined it): no association notice will come, so the exchange starts at once.
TEST_F(ZelconAutoLink, ApplyOnTheAccessPointsNetworkAlreadyStartsTheExchangeAtOnce) {
  CZelconSheet& sheet = *Start();
  hooks.expect<CAutoLinkDlg>(CAutoLinkDlg::IDD, [&](CAutoLinkDlg& d) {
    Choose(d, "Office");
    d.checkItem(CAutoLinkDlg::IDC_DO_NOT_ASK, 1);
    Associated("Office");
    lib.QueueResults("SetSsid", {kAlreadyOnNetwork});
    ExpectCountdown("Preparing for Auto Link swift bond...", 5);
    Apply(d, "12345678", "12345678");
    EXPECT_TRUE(Called("SetSBSecurityInfo(168 bytes)"));
    EXPECT_TRUE(Called("SetSBSetupRequest(8 bytes)"));
    lib.ClearCalls();
    zfw::sendAppMessage(d, HLVN_EVENT_ASSOCIATED);  // a later association starts no second one
    EXPECT_FALSE(Called("SetSBSetupRequest(8 bytes)"));
    ASSERT_TRUE(zfw::testing::click(d, zfw::IDCANCEL));
  });
  sheet.RunAutoLink();
  EXPECT_EQ(hooks.unused(), 0u);
}

TEST_F(ZelconAutoLink, RemovingTheAdapterEndsTheDialogAndTheWorkerConnectsNothing) {
  CZelconSheet& sheet = *Start();
  hooks.expect<CAutoLinkDlg>(CAutoLinkDlg::IDD, [&](CAutoLinkDlg& d) {
    zfw::sendAppMessage(d, HLVN_EVENT_ADAPTER_REMOVED);
    EXPECT_TRUE(d.isEnded());
  });
  sheet.RunAutoLink();
  EXPECT_EQ(sheet.m_autoLinkCommand.load(), AUTOLINK_CONNECTED);
  EXPECT_EQ(sheet.Adapter(), nullptr);
}

TEST_F(ZelconAutoLink, WithoutAnAccessPointThatOffersItNoDialogIsShown) {
  lib.SetBytes("QueryScanList", ScanList({{"Plain", -50, 0x00}}));
  CZelconSheet& sheet = *Start();
  sheet.RunAutoLink();
  EXPECT_TRUE(hooks.opened().empty());
  EXPECT_EQ(sheet.m_autoLinkCommand.load(), AUTOLINK_NOTHING);
  EXPECT_TRUE(sheet.CommandEvent().wait(0));
}

TEST_F(ZelconAutoLink, TheWorkerConnectsWithTheProfileAutoLinkMadeAndSaysWhenItCannot) {
  WorkerSwitches(0, 1);
  lib.SetResult("SetSsid", 1);  // the network never takes the final profile
  AccessPointReports("Office");
  hooks.expect<CAutoLinkDlg>(CAutoLinkDlg::IDD, [&](CAutoLinkDlg& d) {
    Choose(d, "Office");
    lib.QueueResults("SetSsid", {0});  // the open association is taken
    Apply(d, "12345678", "12345678");
    ExpectCountdown("Preparing for Auto Link swift bond...", 5);
    zfw::sendAppMessage(d, HLVN_EVENT_ASSOCIATED);
    ExpectCountdown("Auto Link is done successfully.\r\nPreparing to exit......", 15);
    zfw::sendAppMessage(d, HLVN_EVENT_SWIFTBOND_STEP + 7);
    lib.ClearCalls();
  });
  CZelconSheet& sheet = *Start();
  // The worker asks the GUI thread for Auto Link, gets the profile and tries it three times.
  for (int step = 0; step < 100000 && fake.boxes.boxes().empty(); ++step) {
    fake.clock.advance(50);
    processEvents();
    std::this_thread::yield();
  }
  ASSERT_NE(fake.boxes.last(), nullptr);
  EXPECT_EQ(fake.boxes.last()->text, "Auto Link Failed!");
  EXPECT_EQ(fake.boxes.last()->flags, zfw::MB_ICONEXCLAMATION);
  const std::vector<std::string> calls = lib.CallTexts();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "SetSsid(\"Office\", 6, 0)"), 3);
  EXPECT_EQ(ProfileNames(sheet), (std::vector<std::string>{"Office", "<Default>"}));
  sheet.OpenAdapterSession(0);  // the worker ends
}

}  // namespace
}  // namespace zelcon_test
