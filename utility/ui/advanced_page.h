#pragma once
// The "Advanced" page of the main sheet (dialog 115).
// Its controls come with the page's own step.
#include "utility/ui/zelcon_page.h"

class CAdvancedPage : public CPendingPage {
public:
  CAdvancedPage() : CPendingPage(115, "Advanced") {}
};
