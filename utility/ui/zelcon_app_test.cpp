#include "utility/ui/zelcon_app.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sys/stat.h>

#include <filesystem>

#include "platform/gui/desktop/hot_key.h"
#include "platform/gui/desktop/service_control.h"
#include "platform/gui/message_box.h"
#include "utility/ui/app_messages.h"
#include "utility/ui/testing/zelcon_fixture.h"

namespace zelcon_test {
namespace {

using zfw::testing::processEvents;

struct ZelconStartUp : ZelconFixture {};

TEST_F(ZelconStartUp, EachVersionClassStartsOrEndsWithItsMessage) {
  struct Case {
    const char* os;
    int osVersion;  // -1: start-up ends
    const char* message;
  };
  const Case cases[] = {
      {"xp", kOsXp, nullptr},          {"2000", kOsNt5, nullptr},
      {"2003", kOsNt5, nullptr},       {"nt4", kOsNt4, nullptr},
      {"9x", kOsWin9x, nullptr},       {"unsupported", -1, "Not Supported!"},
      {"fail", -1, "Unable to get Windows version."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.os);
    fake.osInfo = zfw::OsInfo(zfw::OsInfo::emulated(c.os));
    fake.boxes.clear();
    fake.services = zfw::SimulatedServiceControl();
    fake.services.add("WZCSVC", zfw::SERVICE_RUNNING);
    CZelconSheet* sheet = Start();
    if (c.osVersion < 0) {
      EXPECT_EQ(sheet, nullptr);
      EXPECT_EQ(fake.boxes.texts(), std::vector<std::string>{c.message});
      EXPECT_EQ(app->ExitInstance(), 1);
      continue;
    }
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(app->m_osVersion, c.osVersion);
    EXPECT_TRUE(fake.boxes.boxes().empty());
    EXPECT_TRUE(sheet->isVisible());
    // Zero Configuration is taken over and watched on XP only.
    const bool xp = c.osVersion == kOsXp;
    EXPECT_EQ(fake.services.find("WZCSVC")->stops, xp ? 1 : 0);
    EXPECT_EQ(fake.timers.isRunning(*sheet, CZelconSheet::kZeroConfigTimer), xp);
  }
}

TEST_F(ZelconStartUp, ASecondStartEndsQuietlyAndTheFirstComesForwardOnItsCurrentPage) {
  fake.singleInstance.nextClaim = zfw::ISingleInstance::Claim::Second;
  EXPECT_EQ(Start(), nullptr);
  EXPECT_TRUE(app->m_isSecondInstance);
  EXPECT_EQ(fake.singleInstance.sent, std::vector<uint32_t>{APPMSG_SECOND_INSTANCE});
  EXPECT_TRUE(fake.boxes.boxes().empty());
  EXPECT_FALSE(Called("OpenAdapter()"));
  EXPECT_EQ(app->ExitInstance(), 0);

  fake.singleInstance.nextClaim = zfw::ISingleInstance::Claim::First;
  CZelconSheet* sheet = Start();
  ASSERT_NE(sheet, nullptr);
  EXPECT_EQ(fake.singleInstance.claimedName, zfw::loadString(IDS_CAPTION));
  ProbePage probe;
  sheet->addPage(&probe);
  ASSERT_TRUE(sheet->setActivePage(&probe));
  zfw::testing::clickCloseBox(*sheet);  // hidden in the tray
  ASSERT_FALSE(sheet->isVisible());
  const int activations = probe.activations;

  fake.singleInstance.receive(APPMSG_SECOND_INSTANCE);
  processEvents();
  EXPECT_TRUE(sheet->isVisible());
  EXPECT_EQ(sheet->activePage(), &probe);
  EXPECT_EQ(probe.activations, activations + 1);  // its current page shown again
  EXPECT_TRUE(probe.messages.empty());             // 1002 stays with the sheet
  EXPECT_EQ(app->ExitInstance(), 0);
  EXPECT_TRUE(fake.singleInstance.released);
}

TEST_F(ZelconStartUp, HotKeyIsAltF2AndAFailedRegistrationIsReportedWhileStartUpGoesOn) {
  fake.hotKey.failRegistration = true;
  CZelconSheet* sheet = Start();
  ASSERT_NE(sheet, nullptr);
  EXPECT_TRUE(sheet->isVisible());
  ASSERT_NE(fake.boxes.last(), nullptr);
  EXPECT_EQ(fake.boxes.last()->text, "Cannot create hotkey for Radio On/Off!!");
  EXPECT_EQ(fake.boxes.last()->flags, zfw::MB_ICONEXCLAMATION);

  fake.hotKey.failRegistration = false;
  fake.boxes.clear();
  Start();
  EXPECT_TRUE(fake.boxes.boxes().empty());
  ASSERT_EQ(fake.hotKey.registered.count(ID_TRAY_RADIO), 1u);
  EXPECT_EQ(fake.hotKey.registered[ID_TRAY_RADIO].modifiers, zfw::MOD_ALT);
  EXPECT_EQ(fake.hotKey.registered[ID_TRAY_RADIO].virtualKey, zfw::VK_F2);
  lib.ClearCalls();
  EXPECT_TRUE(fake.hotKey.press(ID_TRAY_RADIO));
  EXPECT_TRUE(Called("SetRadioControl(0)"));
}

TEST_F(ZelconStartUp, WithoutAdapterNotificationsTheUtilityEnds) {
  fake.devices.failStart = true;
  EXPECT_EQ(Start(), nullptr);
  EXPECT_EQ(fake.boxes.texts(), std::vector<std::string>{"Register Notification failed"});
  EXPECT_EQ(app->ExitInstance(), 1);
  app.reset();
  // The sheet that was made goes with its worker and its adapter.
  EXPECT_EQ(lib.CallTexts().back(), "CloseAdapter()");
}

TEST_F(ZelconStartUp, FilesLieBesideTheProgramUnlessZelconHomeSaysOtherwise) {
  Start();
  EXPECT_EQ(app->m_profilePath, home.File("Data.cfg"));
  EXPECT_EQ(app->m_iniPath, home.File("Zelcon.ini"));

  ::unsetenv("ZELCON_HOME");
  lib.adapter = nullptr;  // nothing is written beside the test program
  Start();
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe");
  EXPECT_EQ(app->m_profilePath, (program.parent_path() / "Data.cfg").string());
  EXPECT_EQ(app->m_iniPath, (program.parent_path() / "Zelcon.ini").string());
}

TEST_F(ZelconStartUp, ZeroConfigurationIsStoppedItsFlagClearedAndItIsStartedAgain) {
  lib.SetText("QueryRegistryPath", "Class\\0000");
  lib.SetText("QueryRegistry", "{GUID}");
  lib.SetDword("QueryRegistryDword", 0x8001);
  struct Case {
    const char* what;
    bool installed;
    uint32_t state;
    int queriesPerStop;
    uint64_t waitedMs;
    int stops;
    bool flagWritten;
  };
  const Case cases[] = {
      {"running", true, zfw::SERVICE_RUNNING, 3, 3000, 1, true},
      {"already stopped", true, zfw::SERVICE_STOPPED, 1, 0, 0, true},
      {"never stops", true, zfw::SERVICE_RUNNING, 100, 30000, 1, true},
      {"not installed", false, zfw::SERVICE_STOPPED, 1, 0, 0, false},
  };
  CZelconApp zelcon(lib);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fake.services = zfw::SimulatedServiceControl();
    if (c.installed) fake.services.add("WZCSVC", c.state, c.queriesPerStop);
    lib.ClearCalls();
    const uint64_t before = fake.clock.tickCount();
    zelcon.TakeOverFromZeroConfig(0);
    EXPECT_EQ(fake.clock.tickCount() - before, c.waitedMs);
    EXPECT_EQ(Called("SetRegistry(\"SOFTWARE\\x5cMicrosoft\\x5cWZCSVC\\x5cParameters\\x5c"
                     "Interfaces\\x5c{GUID}\", \"ControlFlags\", 1)"),
              c.flagWritten);
    if (c.installed) {
      EXPECT_EQ(fake.services.find("WZCSVC")->stops, c.stops);
      EXPECT_EQ(fake.services.find("WZCSVC")->starts, 1);
    }
  }
}

TEST_F(ZelconStartUp, TheSettingsFileIsMadeOwnerOnly) {
  std::remove(Ini().Path().c_str());  // the utility makes it
  ASSERT_NE(Start(), nullptr);
  ASSERT_TRUE(app->WriteIniInt("Security", "Anything", 1));
  struct stat st {};
  ASSERT_EQ(::stat(Ini().Path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(Ini().ReadInt("Security", "Anything", 0), 1);
}

}  // namespace
}  // namespace zelcon_test
