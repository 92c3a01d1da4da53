#include "platform/gui/property_sheet.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "platform/gui/dialog.h"
#include "platform/gui/icons.h"
#include "platform/gui/property_page.h"
#include "platform/gui/testing/fake_platform.h"
#include "platform/gui/testing/gui_kit.h"
#include "platform/gui/testing/modal_hooks.h"

namespace zfw {
namespace {

using testing::FakePlatform;
using testing::ModalHooks;
using Lines = std::vector<std::string>;

// A page that writes each hook into a shared log and refuses what it is told to.
class LoggingPage : public PropertyPage {
 public:
  LoggingPage(std::string name, int templateId, Lines& log) : PropertyPage(templateId), name_(std::move(name)), log_(log) {
    setCaption(name_);
  }
  bool refuseKill = false, refuseSet = false, refuseApply = false, refuseQueryCancel = false, refuseFinish = false;
  int nextAnswer = 0, backAnswer = 0;

  void buildControls(ControlBuilder& b) override { b.edit(1039, 39); }
  bool onInitDialog() override { return note("init"), true; }
  bool onSetActive() override { return note("set"), !refuseSet; }
  bool onKillActive() override { return note("kill"), !refuseKill; }
  bool onApply() override {
    note("apply");
    return !refuseApply && PropertyPage::onApply();
  }
  void onOK() override { note("ok"); }
  void onReset() override {
    note("reset");
    PropertyPage::onReset();
  }
  void onCancel() override { note("cancel"); }
  bool onQueryCancel() override { return note("querycancel"), !refuseQueryCancel; }
  int onWizardNext() override { return note("wiznext"), nextAnswer; }
  int onWizardBack() override { return note("wizback"), backAnswer; }
  bool onWizardFinish() override { return note("wizfinish"), !refuseFinish; }

 private:
  void note(const char* hook) { log_.push_back(name_ + " " + hook); }
  std::string name_;
  Lines& log_;
};

struct ThreePages {
  Lines log;
  LoggingPage a{"A", 101, log}, b{"B", 102, log}, c{"C", 103, log};
  void addTo(PropertySheet& sheet) {
    sheet.addPage(&a);
    sheet.addPage(&b);
    sheet.addPage(&c);
  }
  Lines take() { return std::exchange(log, {}); }
};

// A modeless sheet of the three pages, its window made, page `active` on show, the log clear.
struct OpenSheet {
  FakePlatform fake;
  ThreePages p;
  PropertySheet sheet{"modeless"};
  explicit OpenSheet(int active = 0) {
    p.addTo(sheet);
    EXPECT_TRUE(sheet.create());
    EXPECT_TRUE(sheet.setActivePage(active));
    p.take();
  }
};

TEST(PropertySheet, OkAppliesEveryCreatedPageAfterTheActivePageAgreesToGo) {
  FakePlatform fake;
  ModalHooks hooks;
  ThreePages p;
  PropertySheet sheet(61420);
  p.addTo(sheet);
  Lines opening, change, ok;
  hooks.expect(61420, [&](Wnd&) {
    opening = p.take();
    EXPECT_TRUE(sheet.tabControl().clickTab(1));
    change = p.take();
    EXPECT_FALSE(p.c.isCreated());  // pages are made when first shown
    EXPECT_TRUE(testing::click(sheet, IDOK));
    ok = p.take();
  });
  EXPECT_EQ(sheet.doModal(), IDOK);
  EXPECT_EQ(opening, (Lines{"A init", "A set"}));
  EXPECT_EQ(change, (Lines{"A kill", "B init", "B set"}));
  EXPECT_EQ(ok, (Lines{"B kill", "A apply", "A ok", "B apply", "B ok"}));
  EXPECT_FALSE(p.a.isCreated());
}

TEST(PropertySheet, CancelAsksTheActivePageThenResetsEveryCreatedPage) {
  FakePlatform fake;
  ModalHooks hooks;
  ThreePages p;
  PropertySheet sheet(61420);
  p.addTo(sheet);
  sheet.setActivePage(1);  // before the window exists: the start page
  hooks.expect(61420, [&](Wnd&) {
    p.take();
    testing::pressEscape(sheet);
  });
  EXPECT_EQ(sheet.doModal(), IDCANCEL);
  EXPECT_EQ(p.take(), (Lines{"B querycancel", "B reset", "B cancel"}));
}

struct Refusal {
  const char* name;
  void (*setUp)(ThreePages&);
  int button;
  Lines expected;
};

// Each refusal stops the button at its hook and keeps the sheet open on the same page.
TEST(PropertySheet, RefusalsStopTheButtonAndKeepTheSheet) {
  const Refusal cases[] = {
      {"leaving refused on OK", [](ThreePages& p) { p.b.refuseKill = true; }, PSBTN_OK, {"B kill"}},
      {"apply refused", [](ThreePages& p) { p.a.refuseApply = true; }, PSBTN_OK, {"B kill", "A apply"}},
      {"apply now", [](ThreePages&) {}, PSBTN_APPLYNOW, {"B kill", "A apply", "A ok", "B apply", "B ok"}},
      {"cancel refused", [](ThreePages& p) { p.b.refuseQueryCancel = true; }, PSBTN_CANCEL, {"B querycancel"}},
  };
  for (const Refusal& c : cases) {
    OpenSheet open(1);
    ThreePages& p = open.p;
    PropertySheet& sheet = open.sheet;
    c.setUp(p);
    const bool passed = sheet.pressButton(c.button);
    EXPECT_EQ(passed, c.button == PSBTN_APPLYNOW) << c.name;
    EXPECT_EQ(p.take(), c.expected) << c.name;
    EXPECT_EQ(sheet.activeIndex(), 1) << c.name;
    EXPECT_TRUE(sheet.isCreated()) << c.name;
  }
}

TEST(PropertySheet, APageRefusingToGoKeepsItsTab) {
  OpenSheet open;
  auto& [fake, p, sheet] = open;
  p.a.refuseKill = true;
  EXPECT_FALSE(sheet.tabControl().clickTab(2));
  EXPECT_FALSE(sheet.setActivePage(2));
  EXPECT_EQ(sheet.activeIndex(), 0);
  EXPECT_EQ(sheet.tabControl().curSel(), 0);
  EXPECT_EQ(p.take(), (Lines{"A kill", "A kill"}));
  EXPECT_FALSE(p.c.isCreated());
}

TEST(PropertySheet, ReselectingTheActivePageRunsBothHooksAgain) {
  OpenSheet open;
  auto& [fake, p, sheet] = open;
  EXPECT_TRUE(sheet.setActivePage(sheet.activeIndex()));
  EXPECT_EQ(p.take(), (Lines{"A kill", "A set"}));
}

TEST(PropertySheet, WizardStepsRunTheWizardHooksThenLeaveThenShow) {
  FakePlatform fake;
  ModalHooks hooks;
  ThreePages p;
  PropertySheet wizard(61309);
  p.addTo(wizard);
  wizard.setWizardMode();
  std::vector<Lines> steps;
  hooks.expect(61309, [&](Wnd&) {
    p.take();
    auto step = [&](int button) {
      wizard.pressButton(button);
      steps.push_back(p.take());
    };
    step(PSBTN_NEXT);           // 0 -> 1
    step(PSBTN_BACK);           // 1 -> 0
    p.a.nextAnswer = -1;
    step(PSBTN_NEXT);           // stays
    p.a.nextAnswer = 103;       // straight to the page of template 103
    step(PSBTN_NEXT);
    p.c.refuseFinish = true;
    step(PSBTN_FINISH);         // stays
    p.c.refuseFinish = false;
    step(PSBTN_FINISH);
  });
  EXPECT_EQ(wizard.doModal(), ID_WIZFINISH);
  EXPECT_EQ(steps, (std::vector<Lines>{{"A wiznext", "A kill", "B init", "B set"},
                                       {"B wizback", "B kill", "A set"},
                                       {"A wiznext"},
                                       {"A wiznext", "A kill", "C init", "C set"},
                                       {"C wizfinish"},
                                       {"C wizfinish"}}));
}

TEST(PropertySheet, AWizardSkipsAPageThatRefusesToBeShown) {
  FakePlatform fake;
  ModalHooks hooks;
  ThreePages p;
  PropertySheet wizard(61309);
  p.addTo(wizard);
  wizard.setWizardMode();
  p.b.refuseSet = true;
  hooks.expect(61309, [&](Wnd&) {
    p.take();
    EXPECT_TRUE(wizard.pressButton(PSBTN_NEXT));
    EXPECT_EQ(wizard.activePage(), &p.c);
    EXPECT_EQ(p.take(), (Lines{"A wiznext", "A kill", "B init", "B set", "C init", "C set"}));
    testing::click(wizard, IDCANCEL);
  });
  EXPECT_EQ(wizard.doModal(), IDCANCEL);
}

TEST(PropertySheet, WizardButtonsFollowTheFlags) {
  FakePlatform fake;
  ModalHooks hooks;
  ThreePages p;
  PropertySheet wizard(61309);
  p.addTo(wizard);
  wizard.setWizardMode();
  hooks.expect(61309, [&](Wnd&) {
    p.a.setWizardButtons(0);  // a page without a name yet: no way on
    EXPECT_FALSE(wizard.isItemEnabled(ID_WIZNEXT));
    EXPECT_FALSE(testing::click(wizard, ID_WIZNEXT));
    wizard.setWizardButtons(PSWIZB_NEXT);
    EXPECT_FALSE(wizard.isItemEnabled(ID_WIZBACK));
    EXPECT_TRUE(testing::click(wizard, ID_WIZNEXT));
    wizard.setWizardButtons(PSWIZB_BACK | PSWIZB_FINISH);  // Finish takes Next's place
    EXPECT_FALSE(wizard.isItemVisible(ID_WIZNEXT));
    EXPECT_TRUE(wizard.isItemVisible(ID_WIZFINISH));
    EXPECT_TRUE(testing::click(wizard, ID_WIZFINISH));
  });
  EXPECT_EQ(wizard.doModal(), ID_WIZFINISH);
}

TEST(PropertySheet, AWizard97ShowsItsHeaderBitmapOverInteriorPagesAndItsWatermarkBesideExteriorOnes) {
  FakePlatform fake;
  ModalHooks hooks;
  ThreePages p;
  registerDrawnImage(9131, 20, 12, [](QPainter& q) { q.fillRect(0, 0, 20, 12, Qt::red); });
  registerDrawnImage(9132, 30, 90, [](QPainter& q) { q.fillRect(0, 0, 30, 90, Qt::blue); });
  PropertySheet wizard(61309);
  p.addTo(wizard);
  p.c.setHideHeader();  // the last page is an exterior one
  wizard.setWizardMode();
  wizard.setWizard97(9131, 9132);
  // The bitmap on show in `place`, checked against the window's own picture.
  auto shows = [&](PropertySheet::WizardBitmap place, QColor colour) {
    testing::processEvents();
    Rect where;
    const int id = wizard.wizardBitmapShown(place, &where);
    if (id == 0) return 0;
    const QImage picture = wizard.widget()->grab().toImage();
    for (QPoint at : {QPoint(where.left, where.top), QPoint(where.right - 1, where.bottom - 1)}) {
      if (picture.pixelColor(at) != colour) return -1;
    }
    return id;
  };
  hooks.expect(61309, [&](Wnd&) {
    using Place = PropertySheet::WizardBitmap;
    EXPECT_EQ(shows(Place::Header, Qt::red), 9131);
    EXPECT_EQ(shows(Place::Watermark, Qt::blue), 0);
    Rect header;
    wizard.wizardBitmapShown(Place::Header, &header);
    EXPECT_EQ(header.width(), 20);
    EXPECT_EQ(header.height(), 12);
    EXPECT_GT(header.left, wizard.clientRect().width() / 2);  // at the header's right
    ASSERT_TRUE(wizard.pressButton(PSBTN_NEXT));
    EXPECT_EQ(shows(Place::Header, Qt::red), 9131);
    ASSERT_TRUE(wizard.pressButton(PSBTN_NEXT));
    EXPECT_EQ(shows(Place::Header, Qt::red), 0);
    EXPECT_EQ(shows(Place::Watermark, Qt::blue), 9132);
    Rect watermark;
    wizard.wizardBitmapShown(Place::Watermark, &watermark);
    EXPECT_LT(watermark.left, 20);  // down the left edge
    EXPECT_EQ(watermark.height(), 90);
    EXPECT_NE(testing::saveScreenshot(wizard, "zfw_wizard97_exterior_page"), "");
    ASSERT_TRUE(wizard.pressButton(PSBTN_BACK));
    EXPECT_EQ(shows(Place::Header, Qt::red), 9131);
    EXPECT_EQ(shows(Place::Watermark, Qt::blue), 0);
    testing::click(wizard, IDCANCEL);
  });
  EXPECT_EQ(wizard.doModal(), IDCANCEL);
}

TEST(PropertySheet, ApplyButtonFollowsModifiedPagesAndCanBeHidden) {
  FakePlatform fake;
  ModalHooks hooks;
  ThreePages p;
  PropertySheet sheet("Configure");
  p.addTo(sheet);
  hooks.expect(0, [&](Wnd&) {
    EXPECT_FALSE(sheet.isItemEnabled(ID_APPLY_NOW));
    p.a.setModified();
    EXPECT_TRUE(sheet.isItemEnabled(ID_APPLY_NOW));
    EXPECT_TRUE(testing::click(sheet, ID_APPLY_NOW));
    EXPECT_FALSE(sheet.isItemEnabled(ID_APPLY_NOW));
    testing::click(sheet, IDCANCEL);
  });
  sheet.doModal();
  PropertySheet noApply("Configure");
  LoggingPage only("S", 111, p.log);
  noApply.addPage(&only);
  noApply.showApplyButton(false);
  hooks.expect(0, [&](Wnd&) {
    EXPECT_FALSE(noApply.isItemVisible(ID_APPLY_NOW));
    testing::click(noApply, IDOK);
  });
  EXPECT_EQ(noApply.doModal(), IDOK);
}

TEST(PropertySheet, RemovingTheActivePageShowsItsNeighbour) {
  OpenSheet open(1);
  auto& [fake, p, sheet] = open;
  sheet.removePage(&p.b);
  EXPECT_FALSE(p.b.isCreated());
  EXPECT_EQ(p.b.sheet(), nullptr);
  EXPECT_EQ(sheet.activePage(), &p.c);
  EXPECT_EQ(sheet.tabControl().itemCount(), 2);
  EXPECT_EQ(sheet.tabControl().curSel(), 1);
  EXPECT_EQ(p.take(), (Lines{"C init", "C set"}));
  // Rebuilding the page set: the pages' windows are made afresh.
  sheet.removePage(0);
  sheet.removePage(0);
  EXPECT_EQ(sheet.activePage(), nullptr);
  sheet.addPage(&p.b);
  EXPECT_EQ(sheet.activePage(), &p.b);
  EXPECT_EQ(p.take(), (Lines{"B init", "B set"}));
}

TEST(PropertySheet, DeletingAPageObjectShowsNoOtherPage) {
  OpenSheet open(1);
  auto& [fake, p, sheet] = open;
  auto extra = std::make_unique<LoggingPage>("D", 104, p.log);
  sheet.addPage(extra.get());
  sheet.setActivePage(3);
  p.take();
  extra.reset();  // as a sheet deletes its pages on the way out
  EXPECT_EQ(sheet.pageCount(), 3);
  EXPECT_EQ(sheet.activePage(), nullptr);
  EXPECT_TRUE(p.take().empty());
}

TEST(PropertySheet, DisablingTheCurrentTabMovesThePageWithIt) {
  OpenSheet open(1);
  auto& [fake, p, sheet] = open;
  ASSERT_TRUE(sheet.tabControl().enableTab(1, false));
  EXPECT_EQ(sheet.activePage(), &p.c);
  EXPECT_FALSE(sheet.tabControl().clickTab(1));
  EXPECT_EQ(sheet.activePage(), &p.c);
  // A one-step move onto the disabled tab lands on the next enabled one, page and tab alike.
  ASSERT_TRUE(sheet.setActivePage(0));
  ASSERT_TRUE(sheet.setActivePage(1));
  EXPECT_EQ(sheet.activeIndex(), 2);
  EXPECT_EQ(sheet.tabControl().curSel(), 2);
}

class MainSheet : public PropertySheet {
 public:
  MainSheet() : PropertySheet("Main") {}
  bool onInitDialog() override {
    setFooterHeight(40);
    addFooterButton(IDOK, "&OK", Edge::Right, 220, 35, 90, 25);
    addFooterButton(IDCANCEL, "&Cancel", Edge::Right, 110, 35, 90, 25, true);
    addFooterCheck(1252, "Radio Off  ( Alt+F2 )", Edge::Left, 20, 35, 180, 15);
    return true;
  }
  bool onCommand(int id, int code) override {
    commands.push_back(id);
    return id == 1252 || PropertySheet::onCommand(id, code);
  }
  void onClose() override { hide(); }
  void onMinimize() override { ++minimized; }
  std::vector<int> commands;
  int minimized = 0;
};

TEST(PropertySheet, AModelessSheetPlacesItsFooterControlsByTheEdges) {
  FakePlatform fake;
  ThreePages p;
  MainSheet sheet;
  p.addTo(sheet);
  ASSERT_TRUE(sheet.create());
  sheet.show();
  sheet.widget()->resize(480, 400);
  testing::processEvents();
  const Rect client = sheet.clientRect();
  const Rect ok = sheet.itemRect(IDOK), cancel = sheet.itemRect(IDCANCEL), radio = sheet.itemRect(1252);
  EXPECT_EQ(ok.left, client.right - 220);
  EXPECT_EQ(cancel.left, client.right - 110);
  EXPECT_EQ(radio.left, 20);
  EXPECT_EQ(ok.top, client.bottom - 35);
  EXPECT_EQ(ok.width(), 90);
  EXPECT_EQ(radio.height(), 15);
  p.take();
  ASSERT_TRUE(testing::click(sheet, 1252));
  ASSERT_TRUE(testing::click(sheet, IDOK));  // the default: OK of the pages, the sheet stays
  EXPECT_EQ(sheet.commands, (std::vector<int>{1252, IDOK}));
  EXPECT_EQ(p.take(), (Lines{"A kill", "A apply", "A ok"}));
  EXPECT_TRUE(sheet.isVisible());
  EXPECT_NE(testing::saveScreenshot(sheet, "zfw_modeless_sheet"), "");
  testing::clickCloseBox(sheet);
  EXPECT_FALSE(sheet.isVisible());
  EXPECT_TRUE(sheet.isCreated());
  sheet.show();
  testing::minimizeWindow(sheet);
  EXPECT_EQ(sheet.minimized, 1);
}

// A sheet inside a dialog, as a page embeds a profile wizard.
class Host : public Dialog {
 public:
  explicit Host(PropertySheet& inner) : Dialog(102), inner_(inner) {}
  void buildControls(ControlBuilder& b) override { b.beginGroup(1036, "Profile Setting").placeholder(0, 300, 200).endGroup(); }
  bool onInitDialog() override {
    inner_.create(this);
    const Rect group = itemRect(1036);
    inner_.moveWindow(Rect{group.left + 2, group.top + 20, group.right - 2, group.bottom});
    return true;
  }

 private:
  PropertySheet& inner_;
};

TEST(PropertySheet, AnEmbeddedSheetLivesInsideItsParent) {
  FakePlatform fake;
  ThreePages p;
  PropertySheet embedded;
  p.addTo(embedded);
  Host host(embedded);
  ASSERT_TRUE(host.create());
  EXPECT_EQ(embedded.mode(), PropertySheet::Mode::Child);
  EXPECT_EQ(embedded.widget()->parentWidget(), host.widget());
  EXPECT_TRUE(p.a.isCreated());
  EXPECT_EQ(host.item(1039), nullptr);  // the pages' controls are not the host's
  p.take();
  EXPECT_TRUE(embedded.pressButton(PSBTN_OK));
  EXPECT_EQ(p.take(), (Lines{"A kill", "A apply", "A ok"}));
  host.destroyWindow();
  EXPECT_FALSE(embedded.isCreated());
  EXPECT_FALSE(p.a.isCreated());
}

}  // namespace
}  // namespace zfw
