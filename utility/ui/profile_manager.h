#pragma once
// The "Profile Manager" page of the main sheet (dialog 102).
// Its controls come with the page's own step.
#include "utility/ui/zelcon_page.h"

class CProfileManager : public CPendingPage {
public:
  CProfileManager() : CPendingPage(102, "Profile Manager") {}
  // Saves the edit in progress; 0 when the user must correct it first (no edit yet: 1).
  int OnSaveProfile() { return 1; }
  // Shows the embedded wizard's page again.
  void RefreshWizardPage() {}
};
