#pragma once
// The "About" page of the main sheet (dialog 105): the versions of the utility and of the
// adapter-control library, and the open adapter's hardware, firmware, driver, MAC address
// and region. Filled in each time the page is shown.
#include <cstdint>
#include <string>

#include "utility/ui/zelcon_page.h"

class CAboutPage : public CZelconPage {
public:
  CAboutPage() : CZelconPage(105, "About") {}

  // The region's name as the page shows it.
  static std::string RegionName(uint32_t regionCode);

protected:
  void buildControls(zfw::ControlBuilder& builder) override;
  bool onSetActive() override;
};
