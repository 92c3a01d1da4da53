#pragma once
// The "Site Survey" page of the main sheet (dialog 103).
// Its controls come with the page's own step.
#include "utility/ui/zelcon_page.h"

class CSiteSurvey : public CPendingPage {
public:
  CSiteSurvey() : CPendingPage(103, "Site Survey") {}
};
