#include "utility/ui/zelcon_page.h"

#include "platform/gui/control_builder.h"
#include "utility/ui/zelcon_app.h"
#include "utility/ui/zelcon_images.h"
#include "utility/ui/zelcon_sheet.h"

CZelconPage::CZelconPage(int dialogId, std::string_view caption)
    : zfw::PropertyPage(dialogId) {
  setCaption(caption);
  RegisterZelconImages();  // the link and profile icons some pages show
}

void CZelconPage::OnRadioStateChanged(int) {}

bool CZelconPage::onInitDialog() {
  m_app = &theApp();
  m_sheet = dynamic_cast<CZelconSheet*>(sheet());
  return zfw::PropertyPage::onInitDialog();
}

void CPendingPage::buildControls(zfw::ControlBuilder& builder) {
  builder.placeholder(0, kZelconPageWidth, kZelconPageHeight);
}
