#pragma once
// What the profile wizard's pages share: the wizard's own state (network type and wireless
// mode chosen on the network page, which the security and protocol pages follow), its form,
// and what the wizard's owner answers for them.
#include <cstdint>
#include <functional>
#include <string>

class CSecuritySettgPage;

struct ProfileWizardContext {
  bool adHocFlag = false;
  uint32_t wirelessMode = 255;
  bool configureNetwork = false;  // the "Configure Network" form
  bool createNewProfile = false;  // the "Create New Profile" form
  std::function<void()> changed;  // a user change on a page (enables the manager's Save)
  std::string settingsPath;       // Zelcon.ini (the WEP key format)
  // Opens the credential dialog of the page's eapMethod; true when the user accepted it.
  std::function<bool(CSecuritySettgPage&)> credentialDialog;
  // Whether a profile other than the edited one has this name (empty: nothing to compare).
  std::function<bool(const std::string&)> nameTaken;
  // The adapter's channels; the channel of a running ad hoc network cannot change.
  int firstChannel = 1;
  int lastChannel = 11;
  bool channelLocked = false;

  void Changed() const {
    if (changed) changed();
  }
};
