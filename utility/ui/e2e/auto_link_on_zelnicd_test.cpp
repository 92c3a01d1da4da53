// Auto Link through the real processes: the utility's worker offers the Auto Link dialog on
// a running zelnicd whose air is the Auto Link world, and a user goes through it offscreen.
// PIN flow: the new access point "Zelnet Home" is joined openly, the driver runs the SwiftBond
// exchange with it (the access point then carries on as WPA-PSK with the PIN), and the worker
// connects with the profile the dialog made. Push-button flow: "Zelnet Hall", set up by Auto
// Link before, is joined at once with its PIN. Either way the keys are installed through the
// supplicant the library hosts, and tshark decrypts a data frame sent afterwards with the PIN.
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "dcf1/src/crypto/crypto_test_support.h"
#include "driver/ndis/private_oids.h"
#include "hosts/adapterctl/supplicant/supplicant_host.h"
#include "platform/gui/testing/modal_hooks.h"
#include "sim/air/testing/tshark_dissect.h"
#include "utility/ui/app_messages.h"
#include "utility/ui/auto_link_dlg.h"
#include "utility/ui/countdown_dlg.h"
#include "utility/ui/e2e/zelcon_on_zelnicd.h"
#include "utility/ui/main_page.h"
#include "utility/ui/zelcon_sheet.h"

namespace {

using simair::testing::Dissect;
using simair::testing::SplitRow;
using zfw::testing::ModalHooks;

constexpr uint8_t kStation[6] = {0x00, 0x1E, 0x4D, 0x2D, 0x17, 0x01};  // the world's station, the chip's address
constexpr const char* kStationText = "00:1e:4d:2d:17:01";
constexpr uint32_t kEventRawFrameSent = 133;
constexpr uint16_t kFrameTag = 0x0A17;

// The driver's notice that the test's data frame went out, beside the window's own.
std::atomic<bool> g_frameSent{false};
void PostNoticingTheFrame(void* window, uint32_t code, intptr_t param, const char* text) {
  if (code == kEventRawFrameSent && param == kFrameTag) g_frameSent = true;
  PostAdapterNotification(window, code, param, text);
}

std::string PcapPath() { return simair::testing::TempPcapPath("zelcon_auto_link"); }

struct AutoLinkOnZelnicd : ZelconOnZelnicd {
  AutoLinkOnZelnicd() : ZelconOnZelnicd({"--world", ZELNICD_WORLDS_DIR "/autolink.world", "--pcap", PcapPath()}) {}

  void SetUp() override {
    ZelconOnZelnicd::SetUp();
    plat::IniFile(home.File("Zelcon.ini")).WriteInt("Advanced", "AutoLink", 1);
    g_frameSent = false;
    notifier.SetPoster(&PostNoticingTheFrame);
    // The adapter's interface as the desktop reports it: a static address.
    zfw::IpAdapterInfo entry;
    entry.index = 7;
    entry.address.assign(kStation, kStation + 6);
    entry.ipAddress = "192.168.7.20";
    fake.ipHelper.table = {entry};
  }

  // Starts the utility and lets the worker offer Auto Link: its first offer comes before the
  // driver's first scan has listed anything, so its next cycles (on the manual clock) run
  // until the dialog has been shown.
  CZelconSheet& OfferAutoLink() {
    app = std::make_unique<CZelconApp>(*library);
    EXPECT_TRUE(app->InitInstance());
    CZelconSheet& sheet = *app->Sheet();
    sheet.addPage(&probe);
    EXPECT_TRUE(sheet.setActivePage(&probe));
    EXPECT_TRUE(RunUntil([&] { return probe.scanned; })) << zelnicd.output();
    for (int cycle = 0; cycle < 10 && hooks.opened().empty(); ++cycle) {
      fake.timers.advance(5000);
      RunUntil([&] { return !hooks.opened().empty(); }, std::chrono::seconds(3));
    }
    EXPECT_FALSE(hooks.opened().empty()) << "no Auto Link dialog\n" << zelnicd.output();
    return sheet;
  }

  // The countdown box, waited out on the manual timers.
  void ExpectCountdown(const std::string& message, int seconds) {
    hooks.expect<CCountdownDlg>(CCountdownDlg::IDD, [this, message, seconds](CCountdownDlg& box) {
      EXPECT_EQ(box.itemText(CCountdownDlg::IDC_TEXT), message);
      fake.timers.advance(static_cast<uint64_t>(seconds) * 1000);
    });
  }

  // The user picks `ssid` in the dialog, types the PIN (and its confirmation) and applies;
  // the dialog runs until it ends.
  void ApplyInDialog(const std::string& ssid, const std::string& pin, const std::string& confirmation,
                     const std::string& status) {
    hooks.expect<CAutoLinkDlg>(CAutoLinkDlg::IDD, [=, this](CAutoLinkDlg& d) {
      zfw::ComboBox box = d.comboBox(CAutoLinkDlg::IDC_ACCESS_POINTS);
      ASSERT_EQ(box.count(), 2) << "both access points offer Auto Link";
      for (int i = 0; i < box.count(); ++i) {
        if (box.lbText(i).starts_with(ssid + " (")) {
          ASSERT_TRUE(zfw::testing::chooseComboItem(d, CAutoLinkDlg::IDC_ACCESS_POINTS, i));
        }
      }
      EXPECT_EQ(d.itemText(CAutoLinkDlg::IDC_STATUS), status);
      d.setItemText(CAutoLinkDlg::IDC_PIN, pin);
      d.setItemText(CAutoLinkDlg::IDC_CONFIRM, confirmation);
      ASSERT_TRUE(zfw::testing::click(d, zfw::IDOK));
      EXPECT_TRUE(RunUntil([&] { return d.isEnded(); }, std::chrono::seconds(60)))
          << "status \"" << d.itemText(CAutoLinkDlg::IDC_STATUS) << "\"\n" << zelnicd.output();
    });
  }

  // The profile at the head of the list: its name, authentication and passphrase.
  std::string FirstProfile(CZelconSheet& sheet) {
    auto lock = sheet.LockState();
    if (sheet.Profiles().Size() == 0) return "";
    const PROFILE_ENTRY& p = sheet.Profiles().At(0);
    return std::string(zelcon::FieldText(p.name)) + ", auth " + std::to_string(p.authMode) + ", " +
           std::string(reinterpret_cast<const char*>(p.wpa.passphrase), p.wpa.passphraseLength);
  }

  // Keys on the driver from the supplicant the library hosts.
  bool KeysInstalled() {
    const zelcon::SupplicantHost* host = library->Supplicant();
    return host != nullptr && host->KeysInstalled() >= 2;
  }

  // One frame (ether type 88B5) through the driver to a wired host; its payload in hex once sent.
  std::string SendDataFrame(CZelconSheet& sheet) {
    const uint8_t server[6] = {0x02, 0x00, 0x00, 0x00, 0x09, 0x01};
    const std::vector<uint8_t> payload(64, 0xA1);
    std::vector<uint8_t> frame(server, server + 6);
    frame.insert(frame.end(), kStation, kStation + 6);
    frame.insert(frame.end(), {0x88, 0xB5});
    frame.insert(frame.end(), payload.begin(), payload.end());
    std::vector<uint8_t> record = {static_cast<uint8_t>(frame.size()), 0, static_cast<uint8_t>(kFrameTag),
                                   static_cast<uint8_t>(kFrameTag >> 8)};
    record.insert(record.end(), frame.begin(), frame.end());
    if (sheet.Adapter() == nullptr || library->Set(OID_HLVN_SEND_FRAME, record) != 0) return "";
    if (!RunUntil([] { return g_frameSent.load(); })) return "";
    return crypto_test::Hex(payload);
  }

  // Ends the utility and zelnicd (which closes the pcap), then the data frames the station
  // sent under keys, decrypted by tshark with the pass phrase: one payload in hex a row.
  std::vector<std::string> DecryptedStationData(const std::string& passphrase, const std::string& ssid) {
    app->ExitInstance();
    app.reset();
    zfw::testing::processEvents();
    EXPECT_EQ(zelnicd.stop(SIGTERM), 0) << zelnicd.output();
    const std::string keys = "-o wlan.enable_decryption:TRUE -o 'uat:80211_keys:\"wpa-pwd\",\"" + passphrase + ":" +
                             ssid + "\"'";
    std::vector<std::string> payloads;
    for (const std::string& row : Dissect(PcapPath(), "wlan.sa == " + std::string(kStationText) +
                                                          " && wlan.fc.protected == 1 && !eapol",
                                          {"data.data"}, keys)) {
      const std::vector<std::string> fields = SplitRow(row);
      EXPECT_EQ(fields.size(), 2u) << row;
      EXPECT_EQ(fields[0], "") << "malformed: " << row;
      if (fields.size() == 2) payloads.push_back(fields[1]);
    }
    return payloads;
  }

  ModalHooks hooks;
  ScanProbe probe;
};

TEST_F(AutoLinkOnZelnicd, ThePinFlowBondsTheNewAccessPointAndTheWorkerConnectsWithItsProfile) {
  const std::string pin = "31415926";
  ApplyInDialog("Zelnet Home", pin, pin, "This AP has not been configured");
  ExpectCountdown("Preparing for Auto Link swift bond...", 5);
  ExpectCountdown("Auto Link is done successfully.\r\nPreparing to exit......", 15);
  CZelconSheet& sheet = OfferAutoLink();
  EXPECT_EQ(hooks.unused(), 0u);
  EXPECT_NE(zelnicd.output().find("zelnicd: air: home bonded by SwiftBond: now wpa-psk, \"Zelnet Home\""),
            std::string::npos)
      << zelnicd.output();
  EXPECT_EQ(sheet.m_autoLinkCommand.load(), AUTOLINK_PROFILE_READY);

  // The worker joins the access point, now WPA-PSK, with the profile the exchange made.
  CMainPage& page = *sheet.MainPage();
  ASSERT_TRUE(sheet.setActivePage(&page));
  ASSERT_TRUE(RunUntil([&] { return page.itemText(CMainPage::IDC_STATUS) == "Connected" && KeysInstalled(); },
                       std::chrono::seconds(60)))
      << "status \"" << page.itemText(CMainPage::IDC_STATUS) << "\"\n" << zelnicd.output();
  EXPECT_EQ(page.itemText(CMainPage::IDC_SSID), "Zelnet Home");
  EXPECT_EQ(FirstProfile(sheet), "Zelnet Home, auth 2, " + pin);

  const std::string payload = SendDataFrame(sheet);
  ASSERT_FALSE(payload.empty()) << "the data frame was not sent";
  EXPECT_EQ(DecryptedStationData(pin, "Zelnet Home"), std::vector<std::string>{payload});
  // Every step of the exchange crossed the air: four requests, four replies.
  EXPECT_EQ(Dissect(PcapPath(), "llc.oui == 0x025a9c && llc.pid == 0x0001", {"wlan.fc.ds"}).size(), 8u);
  std::remove(PcapPath().c_str());
}

TEST_F(AutoLinkOnZelnicd, ThePushButtonFlowJoinsAnAccessPointSetUpByAutoLinkAtOnce) {
  ApplyInDialog("Zelnet Hall", "hallway-pin", "", "This AP has been configured using Auto Link");
  CZelconSheet& sheet = OfferAutoLink();
  EXPECT_EQ(hooks.unused(), 0u);
  // Accepted once the port was authorized: the adapter is on the network, the profile current.
  EXPECT_EQ(sheet.m_autoLinkCommand.load(), AUTOLINK_CONNECTED);
  EXPECT_TRUE(KeysInstalled());
  EXPECT_NE(library->GetConnectStatus(sheet.Adapter()), 0);
  EXPECT_EQ(FirstProfile(sheet), "Zelnet Hall, auth 2, hallway-pin");

  const std::string payload = SendDataFrame(sheet);
  ASSERT_FALSE(payload.empty()) << "the data frame was not sent";
  EXPECT_EQ(DecryptedStationData("hallway-pin", "Zelnet Hall"), std::vector<std::string>{payload});
  EXPECT_TRUE(Dissect(PcapPath(), "llc.oui == 0x025a9c && llc.pid == 0x0001", {"wlan.fc.ds"}).empty());
  std::remove(PcapPath().c_str());
}

}  // namespace
