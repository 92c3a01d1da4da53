#pragma once
// The "Network Info" page of the profile wizard: profile name, SSID, network type, wireless
// mode and the ad hoc channel.
#include <cstdint>
#include <string>

#include "platform/gui/property_page.h"
#include "utility/ui/edit_bytes.h"
#include "utility/core/profile_entry.h"
#include "utility/ui/profile_wizard_context.h"

enum : int {
  IDC_NET_TYPE = 1035,
  IDC_NET_NAME = 1039,
  IDC_NET_SSID = 1040,
  IDC_NET_WLAN_MODE = 1041,
  IDC_NET_CHANNEL = 1042,
  IDC_NET_CHANNEL_LABEL = 1111,
  IDC_NET_ADHOC_GROUP = 1127,
  IDC_NET_WLAN_MODE_LABEL = 1128,
  IDC_NET_ADHOC_MODE_LABEL = 1129,
  IDC_NET_ADHOC_MODE = 1130,
};

class CBasicSettgPage : public zfw::PropertyPage {
public:
  // `templateId` 117 in the "Create New Profile" wizard, 107 in the embedded one.
  CBasicSettgPage(int templateId, ProfileWizardContext& wizard);

  int LoadBasicFromProfile(const PROFILE_ENTRY& p);
  int SaveBasicToProfile(PROFILE_ENTRY& p);
  // 1 when the name may be saved; otherwise says why and shows this page.
  int ValidateProfileName();
  void EnableBasicPage(bool enable);

protected:
  void buildControls(zfw::ControlBuilder& b) override;
  bool onInitDialog() override;
  bool onSetActive() override;

private:
  void ShowState();
  void BuildChannelList();
  void Layout(bool enable);
  void UpdateNextButton();
  void OnTypeChange();
  void OnModeChange(int listId);
  void OnTextChange();
  bool IsAdHocSelected() const;

  ProfileWizardContext& m_wizard;
  std::string m_name, m_ssid;
  EditBytes m_nameEdit{39}, m_ssidEdit{32};  // the name and SSID fields' bytes
  uint32_t m_networkType = 1, m_wlanMode = 255, m_adHocWlanMode = 0, m_channel = 0;
  bool m_enabled = true;
  bool m_showing = false;
};
