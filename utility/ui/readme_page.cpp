#include "utility/ui/readme_page.h"

#include "platform/gui/control_builder.h"

CReadmePage::CReadmePage() : zfw::PropertyPage(130) { setCaption("Readme"); }

void CReadmePage::buildControls(zfw::ControlBuilder& builder) {
  builder
      .text(0,
            "Brevik Wireless Client Utility can not provide fully support because Windows XP "
            "Zero Configuration is enabled!")
      .row()
      .stretch();
}
