#pragma once
// The "Debug" page of the main sheet (dialog 113).
// Its controls come with the page's own step.
#include "utility/ui/zelcon_page.h"

class CDebugWin : public CPendingPage {
public:
  CDebugWin() : CPendingPage(113, "Debug") {}
};
