#pragma once
// The "Statistics" page of the main sheet (dialog 124).
// Its controls come with the page's own step.
#include "utility/ui/zelcon_page.h"

class CDebugStatsPage : public CPendingPage {
public:
  CDebugStatsPage() : CPendingPage(124, "Statistics") {}
};
