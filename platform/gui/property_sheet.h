#pragma once
// A property sheet: pages behind tabs (or, as a wizard, one after another), in four modes:
//   modeless top-level  create()            the main window; its own buttons go in the footer
//   embedded child      create(parent)      inside another window, no buttons
//   modal               doModal()           OK, Cancel and (unless hidden) Apply
//   wizard              setWizardMode(), doModal()   Back, Next or Finish, Cancel
// A wizard may have the Wizard97 look (setWizard97): a white header with the page's caption
// and header title and a bitmap at its right over interior pages, and a watermark bitmap down
// the left of exterior pages (those that hide the header), which show their caption as a title.
//
// Page hooks run in the Windows order:
//   change of page   old page onKillActive (false refuses), new page onSetActive
//   OK / Apply       active page onKillActive, then onApply of every page whose window
//                    exists, in page order (the first false stops); OK then closes
//   Cancel           active page onQueryCancel (false keeps the sheet), then onReset of
//                    every page whose window exists, in page order; the sheet closes
//   Next / Back      active page onWizardNext / onWizardBack, then onKillActive, then the
//                    new page's onSetActive (a page refusing it is skipped)
//   Finish           active page onWizardFinish (false stays); the sheet closes
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gui/base/thread.h"
#include "platform/gui/tab_control.h"
#include "platform/gui/wnd.h"

class QVBoxLayout;

namespace zfw {

class PropertyPage;

enum : int { PSBTN_BACK = 0, PSBTN_NEXT = 1, PSBTN_FINISH = 2, PSBTN_OK = 3, PSBTN_APPLYNOW = 4, PSBTN_CANCEL = 5 };
enum : unsigned { PSWIZB_BACK = 0x1, PSWIZB_NEXT = 0x2, PSWIZB_FINISH = 0x4, PSWIZB_DISABLEDFINISH = 0x8 };
// Ids of the sheet's own buttons; a finished wizard's doModal() returns ID_WIZFINISH.
enum : int { ID_APPLY_NOW = 0x3021, ID_WIZBACK = 0x3023, ID_WIZNEXT = 0x3024, ID_WIZFINISH = 0x3025 };

class PropertySheet : public Wnd {
 public:
  enum class Mode { None, Modeless, Child, Modal, Wizard };
  enum class Edge { Left, Right };

  explicit PropertySheet(std::string_view caption = {}, Wnd* parent = nullptr, int startPage = 0);
  // Caption from string `captionId`; modal hooks know the sheet by that id.
  explicit PropertySheet(int captionId, Wnd* parent = nullptr, int startPage = 0);
  ~PropertySheet() override;

  // --- pages (the sheet does not own them) ---
  void addPage(PropertyPage* page);
  void removePage(int index);
  void removePage(PropertyPage* page);
  int pageCount() const;
  PropertyPage* page(int index) const;
  int pageIndex(const PropertyPage* page) const;  // -1 when not a page of this sheet
  PropertyPage* activePage() const;
  int activeIndex() const;
  // Leaves the active page (it may refuse) and shows `index`; showing the active page
  // again runs both hooks too.
  bool setActivePage(int index);
  bool setActivePage(PropertyPage* page);

  // --- running ---
  void setWizardMode();
  bool isWizardMode() const { return wizard_; }
  // PSH_WIZARD97 with PSH_HEADER and PSH_WATERMARK: bitmap resources (see icons.h) for the
  // header and the watermark. Before the window is made.
  void setWizard97(int headerBitmapId, int watermarkBitmapId);
  enum class WizardBitmap { Header, Watermark };
  // The bitmap a Wizard97 wizard shows in that place with the page on show: its id (0 when
  // none shows there) and, in `where`, its rectangle in this window's coordinates.
  int wizardBitmapShown(WizardBitmap which, Rect* where = nullptr) const;
  void showApplyButton(bool show) { applyShown_ = show; }
  Mode mode() const { return mode_; }
  int captionId() const { return captionId_; }
  const std::string& caption() const { return caption_; }
  // Modeless: no parent (or a parent without a window); embedded: inside `parent`.
  bool create(Wnd* parent = nullptr);
  // Modal or wizard run; returns IDOK, IDCANCEL or ID_WIZFINISH (-1 when already open).
  int doModal();
  void endDialog(int result);
  bool isEnded() const { return ended_; }

  // --- buttons ---
  // Presses a sheet button as the user would; true when the hooks let it go through.
  bool pressButton(int button);
  void setWizardButtons(unsigned flags);
  unsigned wizardButtons() const { return wizardButtons_; }
  TabControl& tabControl() { return *tabs_; }

  // --- footer (controls of a modeless sheet below its pages) ---
  void setFooterHeight(int pixels);
  // A control `offset` pixels in from `edge` (its near side), its top `fromBottom`
  // pixels above the window's bottom edge.
  void addFooterButton(int id, std::string_view text, Edge edge, int offset, int fromBottom, int width,
                       int height, bool isDefault = false);
  void addFooterCheck(int id, std::string_view text, Edge edge, int offset, int fromBottom, int width, int height);

  // Waits up to `ms` for `worker` to end while still running the calls it sends to the
  // GUI thread; true when it ended (and was joined).
  bool waitForWorker(Thread& worker, uint32_t ms);

  bool onCommand(int id, int code) override;
  void onClose() override;

 protected:
  // The sheet's window exists (pages are not created yet, except the first shown).
  virtual bool onInitDialog() { return true; }
  void onDestroy() override;

 private:
  friend class PropertyPage;
  struct Impl;
  // A page object is being deleted: it leaves without any other page being shown.
  void forgetPage(PropertyPage* page);
  void pageCaptionChanged(PropertyPage* page);
  void pageModified();
  void buildWindow(QWidget* root);
  QVBoxLayout* buildWizardFrame(QWidget* body, QVBoxLayout* column);
  bool showPage(int index, int direction);
  bool activateForced(int index);
  bool applyAll();
  bool wizardStep(int direction);
  void updateButtons();
  void showWizardLook(const PropertyPage& page);

  std::string caption_;
  int captionId_ = 0;
  Wnd* parent_;
  int startPage_;
  bool wizard_ = false;
  int headerBitmap_ = 0;
  int watermarkBitmap_ = 0;
  bool applyShown_ = true;
  Mode mode_ = Mode::None;
  unsigned wizardButtons_ = PSWIZB_BACK | PSWIZB_NEXT;
  bool ended_ = false;
  int result_ = IDCANCEL;
  int active_ = -1;
  std::vector<PropertyPage*> pages_;
  std::unique_ptr<TabControl> tabs_;
  std::unique_ptr<Impl> d_;
};

}  // namespace zfw
