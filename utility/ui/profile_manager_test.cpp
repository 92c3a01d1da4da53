// The Profile Manager page: rows, groups, prefer list, delete refusals, save and apply.
#include "utility/ui/profile_manager.h"

#include <gtest/gtest.h>

#include <QIcon>
#include <QImage>
#include <QLineEdit>
#include <QPixmap>
#include <QTest>
#include <QWidget>
#include <cstring>

#include "platform/gui/icons.h"
#include "platform/gui/testing/modal_hooks.h"
#include "platform/gui/tool_tip.h"
#include "platform/gui/wait_cursor.h"
#include "utility/core/profile_store.h"
#include "utility/ui/basic_settg_page.h"
#include "utility/ui/profile_wizard.h"
#include "utility/ui/testing/zelcon_fixture.h"
#include "utility/ui/zelcon_images.h"

namespace zelcon_test {
namespace {

using zfw::testing::click;
using Names = std::vector<std::string>;

struct ProfileManagerTest : ZelconFixture {
  CProfileManager* page = nullptr;

  CProfileManager& Open(const std::vector<PROFILE_ENTRY>& records) {
    zelcon::ProfileList list;
    for (const auto& r : records) list.Append(r);
    EXPECT_TRUE(zelcon::SaveProfiles(list, DataCfg()));
    CZelconSheet& sheet = *Start();
    page = sheet.ProfileManager();
    EXPECT_TRUE(sheet.setActivePage(page));
    zfw::testing::processEvents();
    return *page;
  }
  zfw::ListView List() { return page->listView(IDC_PM_LIST); }
  Names Rows() {
    Names names;
    for (int r = 0; r < List().itemCount(); ++r) names.push_back(List().itemText(r, 0));
    return names;
  }
  std::vector<bool> Checks() {
    std::vector<bool> c;
    for (int r = 0; r < List().itemCount(); ++r) c.push_back(List().check(r));
    return c;
  }
  Names OnDisk() {
    zelcon::ProfileList list;
    zelcon::LoadProfiles(list, DataCfg());
    Names names;
    for (size_t i = 0; i < list.Size(); ++i) names.emplace_back(zelcon::FieldText(list.At(i).name));
    return names;
  }
  void Select(int row) { ASSERT_TRUE(zfw::testing::clickListRow(*page, IDC_PM_LIST, row)); }
};

TEST_F(ProfileManagerTest, MovesStayInsideTheirGroupAndAreSaved) {
  CProfileManager& pm = Open({Profile("home"), Profile("work"), Profile("party", 0), Profile("games", 0)});
  EXPECT_EQ(Rows(), (Names{"home", "work", "<Default>", "party", "games"}));
  EXPECT_TRUE(pm.Wizard()->isVisible());
  EXPECT_GT(pm.Wizard()->windowRect().width(), pm.itemRect(IDC_PM_GROUP).width() / 2);
  zfw::testing::saveScreenshot(Sheet(), "profile_manager_page");
  const struct {
    int row;
    bool up, down;
  } cases[] = {{0, false, true}, {1, true, true}, {2, true, false}, {3, false, true}, {4, true, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.row);
    Select(c.row);
    EXPECT_EQ(pm.isItemEnabled(IDC_PM_MOVE_UP), c.up);
    EXPECT_EQ(pm.isItemEnabled(IDC_PM_MOVE_DOWN), c.down);
  }
  Select(1);
  ASSERT_TRUE(click(pm, IDC_PM_MOVE_UP));
  EXPECT_EQ(Rows(), (Names{"work", "home", "<Default>", "party", "games"}));
  EXPECT_EQ(List().selectedRow(), 0);
  Select(4);
  ASSERT_TRUE(click(pm, IDC_PM_MOVE_UP));
  EXPECT_EQ(OnDisk(), (Names{"work", "home", "<Default>", "games", "party"}));
}

TEST_F(ProfileManagerTest, DefaultAndTheConnectedProfileCannotBeDeleted) {
  Associated("work");
  lib.SetDword("QueryNetworkMode", 1);
  lib.SetText("QueryProfileInUse", "work");
  CProfileManager& pm = Open({Profile("home"), Profile("work"), Profile("old")});
  EXPECT_EQ(Rows(), (Names{"work", "home", "old", "<Default>"}));
  EXPECT_EQ(List().selectedRow(), 0);  // the profile in use
  EXPECT_EQ(List().itemImage(0), 1);
  EXPECT_EQ(List().itemImage(1), 0);
  EXPECT_FALSE(pm.isItemEnabled(IDC_PM_DELETE));
  pm.dispatchCommand(IDC_PM_DELETE, zfw::BN_CLICKED);
  Select(3);
  EXPECT_FALSE(pm.isItemEnabled(IDC_PM_DELETE));
  EXPECT_FALSE(pm.Wizard()->NetworkPage()->isItemEnabled(IDC_NET_NAME));  // "<Default>" is not edited
  pm.dispatchCommand(IDC_PM_DELETE, zfw::BN_CLICKED);
  EXPECT_EQ(Rows(), (Names{"work", "home", "old", "<Default>"}));

  Select(2);
  ASSERT_TRUE(click(pm, IDC_PM_DELETE));  // no confirmation
  EXPECT_TRUE(fake.boxes.boxes().empty());
  EXPECT_EQ(Rows(), (Names{"work", "home", "<Default>"}));
  EXPECT_EQ(OnDisk(), (Names{"work", "home", "<Default>"}));
  EXPECT_EQ(List().selectedRow(), 2);
}

TEST_F(ProfileManagerTest, DeletingTheLastRowSelectsTheNewLast) {
  CProfileManager& pm = Open({Profile("a"), Profile("b"), Profile("z", 0)});
  EXPECT_EQ(Rows(), (Names{"a", "b", "<Default>", "z"}));
  Select(3);
  ASSERT_TRUE(click(pm, IDC_PM_DELETE));
  EXPECT_EQ(List().selectedRow(), 2);
  EXPECT_EQ(pm.Wizard()->NetworkPage()->itemText(IDC_NET_NAME), "<Default>");
}

TEST_F(ProfileManagerTest, PreferListEdits) {
  PROFILE_ENTRY home = Profile("home");
  home.prefer = 1;
  CProfileManager& pm = Open({home, Profile("work")});
  EXPECT_EQ(Checks(), (std::vector<bool>{true, false, true}));  // "<Default>" is preferred
  ASSERT_TRUE(zfw::testing::clickListRow(pm, IDC_PM_LIST, 1, 5));  // the check box
  EXPECT_EQ(Checks(), (std::vector<bool>{true, true, true}));
  {
    zelcon::ProfileList list;
    zelcon::LoadProfiles(list, DataCfg());
    EXPECT_EQ(list.At(1).prefer, 1u);
  }
  {
    zfw::testing::ModalHooks hooks;
    hooks.chooseMenu(ID_PM_EMPTY_PREFER);
    ASSERT_TRUE(zfw::testing::rightClickListRow(pm, IDC_PM_LIST, 1));
  }
  EXPECT_EQ(Checks(), (std::vector<bool>{false, false, false}));
  {
    zfw::testing::ModalHooks hooks;
    hooks.chooseMenu(ID_PM_ADD_PREFER);
    ASSERT_TRUE(zfw::testing::rightClickListRow(pm, IDC_PM_LIST, 2));
  }
  EXPECT_EQ(Checks(), (std::vector<bool>{false, false, true}));
  zelcon::ProfileList list;
  zelcon::LoadProfiles(list, DataCfg());
  EXPECT_EQ(list.At(2).prefer, 1u);
  EXPECT_EQ(list.At(0).prefer, 0u);
  {
    zfw::testing::ModalHooks hooks;
    hooks.chooseMenu(ID_PM_ADD_ALL_PREFER);
    ASSERT_TRUE(zfw::testing::rightClickListRow(pm, IDC_PM_LIST, 0));
  }
  EXPECT_EQ(Checks(), (std::vector<bool>{true, true, true}));
}

TEST_F(ProfileManagerTest, SaveEnablesOnAChangeAndWritesTheProfile) {
  CProfileManager& pm = Open({Profile("home"), Profile("work")});
  Select(1);
  EXPECT_FALSE(pm.isItemEnabled(IDC_PM_SAVE));
  CBasicSettgPage& net = *pm.Wizard()->NetworkPage();
  ASSERT_TRUE(zfw::testing::typeText(net, IDC_NET_NAME, "2"));
  EXPECT_TRUE(pm.isItemEnabled(IDC_PM_SAVE));
  ASSERT_TRUE(click(pm, IDC_PM_SAVE));
  EXPECT_FALSE(pm.isItemEnabled(IDC_PM_SAVE));
  EXPECT_EQ(Rows(), (Names{"home", "work2", "<Default>"}));
  EXPECT_EQ(OnDisk(), (Names{"home", "work2", "<Default>"}));

  net.setItemText(IDC_NET_NAME, "home");  // taken by another profile
  EXPECT_EQ(pm.OnSaveProfile(), 0);
  EXPECT_EQ(fake.boxes.texts(), Names{"Profile name already exists! Please enter a new one!"});
  EXPECT_EQ(OnDisk(), (Names{"home", "work2", "<Default>"}));
}

TEST_F(ProfileManagerTest, SavingAnotherNetworkTypeMovesTheProfileIntoItsGroup) {
  CProfileManager& pm = Open({Profile("home"), Profile("work"), Profile("party", 0)});
  Select(0);
  ASSERT_TRUE(zfw::testing::chooseComboItem(*pm.Wizard()->NetworkPage(), IDC_NET_TYPE, 1));  // ad hoc
  ASSERT_TRUE(click(pm, IDC_PM_SAVE));
  // Among the ad hoc profiles it keeps its place: ahead of the one that stood after it.
  EXPECT_EQ(Rows(), (Names{"work", "<Default>", "home", "party"}));
  EXPECT_EQ(List().selectedRow(), 2);
  EXPECT_EQ(OnDisk(), (Names{"work", "<Default>", "home", "party"}));
}

TEST_F(ProfileManagerTest, ABalloonOverTheCheckBoxesExplainsThePreferList) {
  CProfileManager& pm = Open({Profile("home"), Profile("work")});
  zfw::ToolTip* tip = pm.PreferListTip();
  ASSERT_NE(tip, nullptr);
  EXPECT_TRUE(tip->isBalloon());
  ASSERT_TRUE(zfw::testing::moveMouseOverListRow(pm, IDC_PM_LIST, 1, 8));
  fake.timers.advance(199);
  EXPECT_EQ(tip->shownTool(), 0);
  fake.timers.advance(1);
  EXPECT_EQ(tip->shownTool(), 1000);
  EXPECT_EQ(tip->shownText(), "Add/Remove Profile from Auto Configuration Prefer List.");
  ASSERT_NE(tip->widget(), nullptr);
  EXPECT_TRUE(tip->widget()->isVisible());
  EXPECT_FALSE(zfw::testing::saveScreenshot(Sheet(), "profile_manager_prefer_list_tip").empty());
  // Over the name, past the check box: no tip.
  ASSERT_TRUE(zfw::testing::moveMouseOverListRow(pm, IDC_PM_LIST, 1, 60));
  EXPECT_EQ(tip->shownTool(), 0);
  EXPECT_FALSE(tip->widget()->isVisible());
  // Leaving the page takes the tip with it.
  ASSERT_TRUE(zfw::testing::moveMouseOverListRow(pm, IDC_PM_LIST, 0, 8));
  fake.timers.advance(200);
  ASSERT_EQ(tip->shownTool(), 1000);
  ASSERT_TRUE(Sheet().setActivePage(0));
  EXPECT_EQ(tip->shownTool(), 0);
  EXPECT_FALSE(tip->widget()->isVisible());
  // The row images are the page's own drawings: the profile in use and the others.
  EXPECT_NE(zfw::iconFor(IDI_PROFILE_IN_USE).pixmap(16, 16).toImage(),
            zfw::iconFor(IDI_PROFILE_NOT_IN_USE).pixmap(16, 16).toImage());
  EXPECT_TRUE(zfw::hasDrawnImage(IDI_PROFILE_IN_USE));
  EXPECT_TRUE(zfw::hasDrawnImage(IDI_PROFILE_NOT_IN_USE));
}

TEST_F(ProfileManagerTest, AnApplyHoldsThePageStillUntilItEnds) {
  CProfileManager& pm = Open({Profile("home"), Profile("work")});
  Select(1);
  pm.Wizard()->setActivePage(2);
  pm.BeginApply();
  EXPECT_EQ(Sheet().m_busy.load(), 1);
  EXPECT_GT(zfw::waitCursorDepth(), 0);
  EXPECT_EQ(pm.Wizard()->activeIndex(), 0);
  for (int id : {IDC_PM_LIST, IDC_PM_DELETE, IDC_PM_APPLY, IDC_PM_MOVE_UP, IDC_PM_MOVE_DOWN, IDC_PM_SAVE,
                 IDC_PM_CREATE}) {
    EXPECT_FALSE(pm.isItemEnabled(id)) << id;
  }
  EXPECT_FALSE(pm.Wizard()->NetworkPage()->isItemEnabled(IDC_NET_NAME));
  pm.EndApply();
  EXPECT_EQ(Sheet().m_busy.load(), 0);
  EXPECT_EQ(zfw::waitCursorDepth(), 0);
  for (int id : {IDC_PM_LIST, IDC_PM_DELETE, IDC_PM_APPLY, IDC_PM_MOVE_UP, IDC_PM_MOVE_DOWN, IDC_PM_CREATE}) {
    EXPECT_TRUE(pm.isItemEnabled(id)) << id;
  }
  EXPECT_FALSE(pm.isItemEnabled(IDC_PM_SAVE));
  EXPECT_TRUE(pm.Wizard()->NetworkPage()->isItemEnabled(IDC_NET_NAME));
}

// SSIDs and pass phrases are bytes, and not all of them UTF-8: a rename and Save keeps the
// bytes of every field the user did not edit. An SSID the user edits is stored as UTF-8 in
// whole characters within its 32 bytes.
TEST_F(ProfileManagerTest, ARenameKeepsTheBytesOfTheFieldsTheUserDidNotEdit) {
  const std::string latin1 = "Caf\xE9", allOnes(32, '\xFF'), phrase = "m\xF6tley-crew";
  std::vector<PROFILE_ENTRY> records;
  for (const auto& [name, ssid] : {std::pair{"cafe", latin1}, std::pair{"ones", allOnes}}) {
    PROFILE_ENTRY p = Profile(name);
    std::memcpy(p.ssid, ssid.data(), ssid.size());
    p.authMode = zelcon::kAuthWpa2Psk;
    p.encryption = 3;
    std::memcpy(p.wpa.passphrase, phrase.data(), phrase.size());
    p.wpa.passphraseLength = static_cast<uint32_t>(phrase.size());
    records.push_back(p);
  }
  CProfileManager& pm = Open(records);
  CBasicSettgPage& net = *pm.Wizard()->NetworkPage();
  for (int row : {0, 1}) {
    Select(row);
    ASSERT_TRUE(zfw::testing::typeText(net, IDC_NET_NAME, "2"));
    ASSERT_TRUE(click(pm, IDC_PM_SAVE));
  }
  const auto saved = [&](const std::string& name) {
    zelcon::ProfileList list;
    zelcon::LoadProfiles(list, DataCfg());
    const PROFILE_ENTRY* p = list.Find(list.FindByName(name));
    return p ? *p : PROFILE_ENTRY{};
  };
  EXPECT_EQ(OnDisk(), (Names{"cafe2", "ones2", "<Default>"}));
  for (const auto& [name, ssid] : {std::pair{"cafe2", latin1}, std::pair{"ones2", allOnes}}) {
    SCOPED_TRACE(name);
    const PROFILE_ENTRY p = saved(name);
    EXPECT_EQ(std::string(zelcon::ProfileSsid(p)), ssid);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(p.wpa.passphrase), p.wpa.passphraseLength), phrase);
  }

  // Edited: what is typed, and a shortened row of 0xFF bytes, each shown as the character
  // y-diaeresis, stored in the two bytes of its UTF-8 and cut before the one that would not fit.
  const struct {
    int row;
    int backspaces;
    const char* typed;
  } edits[] = {{0, 4, "Z\xC3\xBCrich"}, {1, 1, ""}};
  for (const auto& e : edits) {
    Select(e.row);
    auto* ssidEdit = qobject_cast<QLineEdit*>(net.item(IDC_NET_SSID));
    ssidEdit->end(false);
    for (int i = 0; i < e.backspaces; ++i) QTest::keyClick(ssidEdit, Qt::Key_Backspace);
    ASSERT_TRUE(zfw::testing::typeText(net, IDC_NET_SSID, e.typed));
    ASSERT_TRUE(click(pm, IDC_PM_SAVE));
  }
  EXPECT_EQ(std::string(zelcon::ProfileSsid(saved("cafe2"))), "Z\xC3\xBCrich");
  std::string diaereses;
  for (int i = 0; i < 16; ++i) diaereses += "\xC3\xBF";
  EXPECT_EQ(std::string(zelcon::ProfileSsid(saved("ones2"))), diaereses);
}

TEST_F(ProfileManagerTest, ApplyGoesThroughTheSheetAndLeavesThePageUsable) {
  CProfileManager& pm = Open({Profile("home"), Profile("work")});
  Select(1);
  lib.ClearCalls();
  ASSERT_TRUE(click(pm, IDC_PM_APPLY));
  EXPECT_TRUE(Called("SetSsid(\"work\", 4, 0)"));
  EXPECT_EQ(Sheet().m_busy.load(), 0);
  EXPECT_TRUE(pm.isItemEnabled(IDC_PM_CREATE));
  EXPECT_TRUE(pm.isItemEnabled(IDC_PM_APPLY));
  EXPECT_FALSE(pm.isItemEnabled(IDC_PM_SAVE));
}

TEST_F(ProfileManagerTest, CreatedAdHocProfileGoesAfterTheInfrastructureOnes) {
  CProfileManager& pm = Open({Profile("home"), Profile("party", 0)});
  zfw::testing::ModalHooks hooks;
  hooks.expect<CProfileWizard>(IDS_CREATE_NEW_PROFILE, [](CProfileWizard& w) {
    zfw::testing::typeText(*w.NetworkPage(), IDC_NET_NAME, "lan");
    zfw::testing::chooseComboItem(*w.NetworkPage(), IDC_NET_TYPE, 1);
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(w.pressButton(zfw::PSBTN_NEXT));
    ASSERT_TRUE(w.pressButton(zfw::PSBTN_FINISH));
  });
  ASSERT_TRUE(click(pm, IDC_PM_CREATE));
  EXPECT_EQ(Rows(), (Names{"home", "<Default>", "party", "lan"}));
  EXPECT_EQ(List().selectedRow(), 3);
  EXPECT_TRUE(List().check(3));
  EXPECT_EQ(OnDisk(), (Names{"home", "<Default>", "party", "lan"}));
}

}  // namespace
}  // namespace zelcon_test
