#pragma once
// The "Protocol" page of the profile wizard: power save, preamble, transmit rate and the
// fragmentation and RTS/CTS thresholds, or keep the adapter's own settings.
#include <cstdint>

#include "platform/gui/property_page.h"
#include "utility/core/profile_entry.h"
#include "utility/ui/profile_wizard_context.h"

enum : int {
  IDC_PROT_RESET = 1001,
  IDC_PROT_RATE = 1003,
  IDC_PROT_FRAG_SPIN = 1006,
  IDC_PROT_RTS_SPIN = 1008,
  IDC_PROT_KEEP = 1009,
  IDC_PROT_POWER = 1010,
  IDC_PROT_PREAMBLE = 1011,
  IDC_PROT_FRAG = 1012,
  IDC_PROT_RTS = 1013,
};

class CAdvSettgPage : public zfw::PropertyPage {
public:
  // `templateId` 116 in the "Create New Profile" wizard, 110 in the embedded one.
  CAdvSettgPage(int templateId, ProfileWizardContext& wizard);

  int LoadAdvFromProfile(const PROFILE_ENTRY& p);
  int SaveAdvToProfile(PROFILE_ENTRY& p);
  int ValidateThresholds();
  void EnableAdvPage(bool enable);

protected:
  void buildControls(zfw::ControlBuilder& b) override;
  bool onInitDialog() override;
  bool onSetActive() override;

private:
  void ShowState();
  void Layout();
  void BuildRateList();
  void OnKeepClicked();
  void OnReset();

  ProfileWizardContext& m_wizard;
  uint32_t m_keep = 1, m_power = 0, m_preamble = 0, m_rate = 0, m_frag = 2346, m_rts = 2347;
  bool m_enabled = true;
  bool m_showing = false;
};
