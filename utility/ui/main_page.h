#pragma once
// The "Network Status" page of the main sheet (dialog 101).
// Its controls come with the page's own step.
#include "utility/ui/zelcon_page.h"

class CMainPage : public CPendingPage {
public:
  CMainPage() : CPendingPage(101, "Network Status") {}
  // Shows the link as the sheet holds it (the page fills it in).
  void RefreshStatus() {}
};
