// The main sheet's profile list on disk: loaded at start, saved after each committed change,
// at exit and at the session end; imported and exported from the Admin page.
#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QStringList>

#include "platform/gui/desktop/file_dialog.h"
#include "platform/gui/desktop/tray_icon.h"
#include "platform/gui/testing/modal_hooks.h"
#include "platform/win32/atomic_file.h"
#include "platform/win32/test_file_size_limit.h"
#include "platform/win32/test_other_user.h"
#include "utility/core/profile_file.h"
#include "utility/core/profile_store.h"
#include "utility/ui/admin_tool.h"
#include "utility/ui/app_messages.h"
#include "utility/ui/testing/zelcon_fixture.h"

namespace zelcon_test {
namespace {

using Names = std::vector<std::string>;


Names NamesOf(const zelcon::ProfileList& list) {
  Names names;
  for (size_t i = 0; i < list.Size(); ++i) names.emplace_back(zelcon::FieldText(list.At(i).name));
  return names;
}

struct ZelconProfiles : ZelconFixture {
  void WriteFile(const std::string& path, const std::vector<PROFILE_ENTRY>& records) {
    zelcon::ProfileList list;
    for (const auto& r : records) list.Append(r);
    ASSERT_TRUE(zelcon::SaveProfiles(list, path));
  }
  Names OnDisk(const std::string& path) {
    zelcon::ProfileList list;
    zelcon::LoadProfiles(list, path);
    return NamesOf(list);
  }
  Names InMemory() {
    auto lock = Sheet().LockState();
    return NamesOf(Sheet().Profiles());
  }
};

TEST_F(ZelconProfiles, LoadedAtStartWithTheProfileInUsePickedUpAndTheReorderSavedAtOnce) {
  WriteFile(DataCfg(), {Profile("home"), Profile("work"), Profile("party", 0)});
  Associated("work");
  lib.SetText("QueryProfileInUse", "work");
  CZelconSheet& sheet = *Start();
  const Names expected = {"work", "home", "<Default>", "party"};
  EXPECT_EQ(InMemory(), expected);
  EXPECT_EQ(OnDisk(DataCfg()), expected);
  {
    auto lock = sheet.LockState();
    EXPECT_EQ(sheet.CurrentProfile(), sheet.Profiles().FindByName("work"));
  }
  EXPECT_TRUE(Called("SetProfileInUse(\"work\", 4)"));
  EXPECT_TRUE(Called("SetSsid(\"work\", 4, 0)"));  // the profile in use is applied once more

  zelcon::ProfileId home;
  {
    auto lock = sheet.LockState();
    home = sheet.Profiles().FindByName("home");
  }
  sheet.MakeProfileCurrent(home);
  EXPECT_EQ(OnDisk(DataCfg()), (Names{"home", "work", "<Default>", "party"}));
}

TEST_F(ZelconProfiles, ExitStopsTheWorkerSavesAndClosesTheAdapter) {
  CZelconSheet& sheet = *Start();
  EXPECT_EQ(InMemory(), Names{"<Default>"});
  {
    auto lock = sheet.LockState();
    sheet.Profiles().Append(Profile("unsaved"));  // changed without a save of its own
  }
  lib.ClearCalls();
  {
    zfw::testing::ModalHooks hooks;
    hooks.chooseMenu(ID_TRAY_EXIT);
    fake.tray.mouse(zfw::WM_RBUTTONUP);
  }
  EXPECT_EQ(OnDisk(DataCfg()), (Names{"<Default>", "unsaved"}));
  const std::vector<std::string> calls = lib.CallTexts();
  const auto boost = std::find(calls.begin(), calls.end(), "SetBoostMode(1)");
  ASSERT_NE(boost, calls.end());
  EXPECT_NE(std::find(boost, calls.end(), "CloseAdapter()"), calls.end());
  EXPECT_FALSE(sheet.isCreated());
  EXPECT_FALSE(fake.tray.shown);
  EXPECT_TRUE(fake.hotKey.registered.empty());
  EXPECT_FALSE(fake.devices.started);
  EXPECT_EQ(app->mainWindow(), nullptr);
}

TEST_F(ZelconProfiles, TheSessionEndSavesAfterTheWorkerHasStopped) {
  CZelconSheet& sheet = *Start();
  {
    auto lock = sheet.LockState();
    sheet.Profiles().Append(Profile("unsaved"));
  }
  lib.ClearCalls();
  app->onSessionEnd();
  EXPECT_EQ(OnDisk(DataCfg()), (Names{"<Default>", "unsaved"}));
  EXPECT_EQ(lib.CallTexts(), std::vector<std::string>{"UnlockPages()"});
  EXPECT_TRUE(sheet.StopEvent().isSet());
}

TEST_F(ZelconProfiles, TheAdminPageImportsAndExportsCfgFiles) {
  WriteFile(DataCfg(), {Profile("net9")});
  WriteFile(home.File("import.cfg"), {Profile("party", 0), Profile("net9"), Profile("<Default>")});
  CZelconSheet& sheet = *Start();
  auto* admin = dynamic_cast<CAdminTool*>(zfw::testing::findPage(sheet, 114));
  ASSERT_NE(admin, nullptr);
  ASSERT_TRUE(sheet.setActivePage(admin));

  fake.fileDialog.answers = {home.File("import.cfg")};
  EXPECT_TRUE(zfw::testing::click(*admin, CAdminTool::IDC_IMPORT_PROFILES));
  const Names imported = {"net9", "<Default>", "net10", "party"};
  EXPECT_EQ(InMemory(), imported);
  EXPECT_EQ(OnDisk(DataCfg()), imported);  // a committed change is saved at once

  fake.fileDialog.answers = {home.File("export.cfg")};
  EXPECT_TRUE(zfw::testing::click(*admin, CAdminTool::IDC_EXPORT_PROFILES));
  zelcon::ProfileList exported;
  ASSERT_TRUE(zelcon::ImportProfiles(exported, home.File("export.cfg")));
  EXPECT_EQ(NamesOf(exported), (Names{"net9", "net10", "party"}));

  fake.fileDialog.answers = {std::nullopt};  // cancelled: nothing changes
  EXPECT_TRUE(zfw::testing::click(*admin, CAdminTool::IDC_IMPORT_PROFILES));
  EXPECT_EQ(InMemory(), imported);

  ASSERT_EQ(fake.fileDialog.requests.size(), 3u);
  const zfw::FileDialogSpec& open = fake.fileDialog.requests[0].spec;
  const zfw::FileDialogSpec& save = fake.fileDialog.requests[1].spec;
  EXPECT_FALSE(fake.fileDialog.requests[0].save);
  EXPECT_TRUE(fake.fileDialog.requests[1].save);
  EXPECT_EQ(open.defaultExt, "cfg");
  EXPECT_EQ(open.filter, "cfg Files (*.cfg)|*.cfg||");
  EXPECT_EQ(open.flags, zfw::OFN_FILEMUSTEXIST | zfw::OFN_PATHMUSTEXIST);
  EXPECT_EQ(save.filter, open.filter);
  EXPECT_EQ(save.flags, zfw::OFN_OVERWRITEPROMPT | zfw::OFN_HIDEREADONLY |
                            zfw::OFN_NOREADONLYRETURN | zfw::OFN_PATHMUSTEXIST);
}

void ExitFromTheTray(zfw::testing::FakePlatform& fake) {
  zfw::testing::ModalHooks hooks;
  hooks.chooseMenu(ID_TRAY_EXIT);
  fake.tray.mouse(zfw::WM_RBUTTONUP);
}

TEST_F(ZelconProfiles, AProfileFileThatCouldNotBeReadIsToldAndKeptAtExit) {
  WriteFile(DataCfg(), {Profile("office")});
  const auto original = plat::ReadWholeFile(DataCfg(), 1 << 20);
  ::chmod(DataCfg().c_str(), 0);
  // The fonts are set up from root's files while still root: nobody could not read them.
  (void)QFontDatabase::families();
  {
    plat::TestAsOtherUser user(home.Path());
    ASSERT_NE(Start(), nullptr);
  }
  ASSERT_FALSE(fake.boxes.texts().empty());
  EXPECT_EQ(fake.boxes.texts().front(),
            "The profile file " + DataCfg() +
                " could not be read. Profile changes will not be saved to it.");
  ExitFromTheTray(fake);
  EXPECT_EQ(plat::ReadWholeFile(DataCfg(), 1 << 20), original);
}

TEST_F(ZelconProfiles, ADamagedProfileFileIsBackedUpOnceAndTheUserTold) {
  std::string damaged = zelcon::EncodeProfileFile({Profile("office"), Profile("lab")}, true);
  damaged.resize(damaged.size() - 100);
  ASSERT_TRUE(plat::WriteFileAtomically(DataCfg(), damaged));
  CZelconSheet& sheet = *Start();
  EXPECT_TRUE(fake.boxes.texts().empty());
  EXPECT_TRUE(sheet.SaveProfiles());
  EXPECT_TRUE(sheet.SaveProfiles());
  EXPECT_EQ(plat::ReadWholeFile(zelcon::BackupPathOf(DataCfg()), 1 << 20), damaged);
  EXPECT_EQ(fake.boxes.texts(),
            std::vector<std::string>{"The profile file " + DataCfg() +
                                     " was damaged; the profiles after the damage could not be "
                                     "read. The original file has been kept as " +
                                     DataCfg() + ".bak."});
  EXPECT_EQ(OnDisk(DataCfg()), (Names{"office", "<Default>"}));
}

TEST_F(ZelconProfiles, AFailedSaveAtTheSessionEndEndsWithAFailureStatusAndNoBox) {
  Start();
  {
    plat::TestFileSizeLimit full(64);
    app->onSessionEnd();
  }
  EXPECT_TRUE(fake.boxes.texts().empty());  // nobody is there to click it
  EXPECT_NE(app->ExitInstance(), 0);
  app.reset();
}

// At the session end nobody may be asked to click: what the last save has to tell goes to
// standard error, and the program ends (with a failure status when nothing was saved).
TEST_F(ZelconProfiles, AtTheSessionEndTheSavesNoticeGoesToStandardErrorNotIntoABox) {
  std::string damaged = zelcon::EncodeProfileFile({Profile("office"), Profile("lab")}, true);
  damaged.resize(damaged.size() - 100);
  const std::string missingHome = home.File("missing");
  struct Case {
    const char* name;
    std::string zelconHome;
    std::string told;
    bool saved;
  };
  const Case cases[] = {
      {"a damaged Data.cfg, backed up by this first save", home.Path(),
       "The profile file " + DataCfg() +
           " was damaged; the profiles after the damage could not be read. The original file "
           "has been kept as " + DataCfg() + ".bak.",
       true},
      {"a ZELCON_HOME that does not exist", missingHome,
       "The profiles could not be saved to " + missingHome + "/Data.cfg.", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(plat::WriteFileAtomically(DataCfg(), damaged));
    ::setenv("ZELCON_HOME", c.zelconHome.c_str(), 1);
    ASSERT_NE(Start(), nullptr);
    ::testing::internal::CaptureStderr();
    app->onSessionEnd();
    const std::string stderrText = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(fake.boxes.texts().empty());
    EXPECT_NE(stderrText.find("zelcon: " + c.told + "\n"), std::string::npos) << stderrText;
    EXPECT_EQ(app->ExitInstance() == 0, c.saved);
    app.reset();
  }
}

}  // namespace
}  // namespace zelcon_test
