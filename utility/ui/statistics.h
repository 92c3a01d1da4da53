#pragma once
// The "Statistics" page of the main sheet (dialog 104).
// Its controls come with the page's own step.
#include "utility/ui/zelcon_page.h"

class CStatistics : public CPendingPage {
public:
  CStatistics() : CPendingPage(104, "Statistics") {}
};
