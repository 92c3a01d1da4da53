#pragma once
// The "About" page of the main sheet (dialog 105).
// Its controls come with the page's own step.
#include "utility/ui/zelcon_page.h"

class CAboutPage : public CPendingPage {
public:
  CAboutPage() : CPendingPage(105, "About") {}
};
