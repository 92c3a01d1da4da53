#include "platform/gui/property_page.h"

#include "platform/gui/base/string_table.h"
#include "platform/gui/property_sheet.h"

namespace zfw {

PropertyPage::PropertyPage(int templateId, int captionId)
    : DialogBase(templateId), caption_(captionId ? loadString(static_cast<uint32_t>(captionId)) : std::string()) {}

PropertyPage::~PropertyPage() {
  if (sheet_) sheet_->forgetPage(this);
}

void PropertyPage::setCaption(std::string_view caption) {
  caption_ = caption;
  if (sheet_) sheet_->pageCaptionChanged(this);
}

void PropertyPage::setHeaderTitle(std::string_view title) {
  headerTitle_ = title;
  if (sheet_) sheet_->pageCaptionChanged(this);
}

void PropertyPage::setModified(bool changed) {
  modified_ = changed;
  if (sheet_) sheet_->pageModified();
}

void PropertyPage::setWizardButtons(unsigned flags) {
  if (sheet_) sheet_->setWizardButtons(flags);
}

bool PropertyPage::onSetActive() { return true; }
bool PropertyPage::onKillActive() { return true; }
void PropertyPage::onOK() {}

bool PropertyPage::onApply() {
  onOK();
  return true;
}

void PropertyPage::onCancel() {}
void PropertyPage::onReset() { onCancel(); }
bool PropertyPage::onQueryCancel() { return true; }
int PropertyPage::onWizardBack() { return 0; }
int PropertyPage::onWizardNext() { return 0; }
bool PropertyPage::onWizardFinish() { return true; }

}  // namespace zfw
