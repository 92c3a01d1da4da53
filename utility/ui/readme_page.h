#pragma once
// The page shown instead of the configuration pages while Zero Configuration manages the
// adapter: a plain page (dialog 130) that says why they are missing.
#include "platform/gui/property_page.h"

class CReadmePage : public zfw::PropertyPage {
public:
  CReadmePage();

protected:
  void buildControls(zfw::ControlBuilder& builder) override;
};
