#pragma once
// The "Test" page of the main sheet (dialog 123).
// Its controls come with the page's own step.
#include "utility/ui/zelcon_page.h"

class CTestPage : public CPendingPage {
public:
  CTestPage() : CPendingPage(123, "Test") {}
};
