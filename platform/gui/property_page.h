#pragma once
// A page of a property sheet. Its window is made when the page is first shown; the hooks
// run in the order of the Windows property sheet (see property_sheet.h).
#include <string>
#include <string_view>

#include "platform/gui/dialog.h"

namespace zfw {

class PropertySheet;

class PropertyPage : public DialogBase {
 public:
  // The caption (the tab text, or the wizard header) is string `captionId` when given.
  explicit PropertyPage(int templateId, int captionId = 0);
  ~PropertyPage() override;

  // The sheet the page belongs to (nullptr while it belongs to none).
  PropertySheet* sheet() const { return sheet_; }
  void setCaption(std::string_view caption);
  const std::string& caption() const { return caption_; }
  // The title a wizard shows above the page.
  void setHeaderTitle(std::string_view title);
  const std::string& headerTitle() const { return headerTitle_; }
  // PSP_HIDEHEADER: an exterior page of a Wizard97 wizard (no header; the watermark beside it).
  void setHideHeader(bool hide = true) { hideHeader_ = hide; }
  bool hidesHeader() const { return hideHeader_; }
  // Marks the page changed: the sheet's Apply button becomes available.
  void setModified(bool changed = true);
  bool isModified() const { return modified_; }
  // Shortcut to the sheet's wizard buttons.
  void setWizardButtons(unsigned flags);

  // --- hooks ---
  virtual bool onSetActive();    // the page is being shown; false: do not show it
  virtual bool onKillActive();   // the page is being left; false refuses
  virtual void onOK();           // the changes are accepted (called by the default onApply)
  virtual bool onApply();        // OK or Apply; false stops the sheet from closing
  virtual void onCancel();       // the changes are dropped (called by the default onReset)
  virtual void onReset();        // Cancel
  virtual bool onQueryCancel();  // Cancel pressed on the active page; false keeps the sheet
  // Wizard: 0 moves to the next (previous) page, -1 stays, another value is the template
  // id of the page to go to.
  virtual int onWizardBack();
  virtual int onWizardNext();
  virtual bool onWizardFinish();  // false: stay

 private:
  friend class PropertySheet;
  PropertySheet* sheet_ = nullptr;
  std::string caption_;
  std::string headerTitle_;
  bool modified_ = false;
  bool hideHeader_ = false;
};

}  // namespace zfw
