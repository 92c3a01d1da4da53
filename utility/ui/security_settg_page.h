#pragma once
// The "Security" page of the profile wizard: how a profile authenticates and encrypts (open,
// shared-key or automatic WEP with four static keys, WPA-PSK or WPA2-PSK with a pass phrase,
// or one of the 802.1X families WPA, WPA2, CCX and plain 802.1x with an EAP method and its
// credentials). Its state outlives its window: a profile may be loaded before the page is
// shown, and saving or validating a page never shown does nothing.
#include <cstdint>
#include <string>

#include "platform/gui/property_page.h"
#include "utility/core/profile_entry.h"
#include "utility/ui/edit_bytes.h"
#include "utility/ui/profile_wizard_context.h"
#include "utility/ui/wep_key_dlg.h"

enum : int {
  IDC_SEC_PASSPHRASE = 1002,
  IDC_SEC_CONFIRM = 1003,
  IDC_SEC_ENCRYPTION = 1043,
  IDC_SEC_AUTH = 1044,
  IDC_SEC_TX_KEY1 = 1064,  // radios 1064-1067
  IDC_SEC_WEP_GROUP = 1068,
  IDC_SEC_CONFIGURE_WEP = 1070,
  IDC_SEC_CREDENTIALS = 1071,
  IDC_SEC_PASSPHRASE_LABEL = 1107,
  IDC_SEC_CONFIRM_LABEL = 1108,
  IDC_SEC_EAP_METHOD = 1124,
  IDC_SEC_EAP_LABEL = 1131,
};

// The 802.1X families of the authentication list (never stored: a profile holds the method).
enum SecurityFamily : uint32_t { kFamilyWpa = 100, kFamilyWpa2 = 101, kFamilyCcx = 102, kFamily8021x = 103 };

class CSecuritySettgPage : public zfw::PropertyPage {
public:
  // `templateId` 119 in the "Create New Profile" wizard, 111 otherwise.
  CSecuritySettgPage(int templateId, ProfileWizardContext& wizard);
  ~CSecuritySettgPage() override;

  int LoadSecurityFromProfile(const PROFILE_ENTRY& p);
  int SaveSecurityToProfile(PROFILE_ENTRY& p);
  int ValidateSecurity();
  void EnableSecurityPage(bool enable);

  // Credentials, for the 802.1X dialogs.
  const std::string& LoginName() const { return m_loginName; }
  const std::string& Password() const { return m_password; }
  const std::string& Domain() const { return m_domain; }
  const std::string& CertName() const { return m_certName; }
  void SetLoginName(std::string s) { Replace(m_loginName, std::move(s)); }
  void SetPassword(std::string s) { Replace(m_password, std::move(s)); }
  void SetDomain(std::string s) { Replace(m_domain, std::move(s)); }
  void SetCertName(std::string s) { Replace(m_certName, std::move(s)); }
  uint8_t m_certHash[20] = {};
  uint32_t m_eapMethod = 0;

  uint32_t AuthChoice() const { return m_authChoice; }
  const WepKeyBlock& KeyBlock() const { return m_keyBlock; }

protected:
  void buildControls(zfw::ControlBuilder& b) override;
  bool onInitDialog() override;
  bool onSetActive() override;
  void onDestroy() override;

private:
  static void Replace(std::string& field, std::string value);
  void ClearCredentials();
  void ShowState();
  void RebuildAuthList();
  void RebuildEncryption();
  void FillEapMethods(uint32_t family);
  void UpdateWepControls();
  void RefreshRadios();
  void ShowPassphrase(bool show);
  void ShowEap(bool show);
  void Changed();
  bool CheckPassphrase();
  void TakeControlValues();

  void OnAuthChange();
  void OnEncryptionChange();
  void OnMethodChange();
  void OnPassphraseChange();
  void OnConfigureWepKeys();
  void OnCredentials();

  ProfileWizardContext& m_wizard;
  uint32_t m_authChoice = 0;
  uint32_t m_encryption = 0;
  WepKeyBlock m_keyBlock{};
  std::string m_passphraseText, m_loginName, m_password, m_domain, m_certName, m_anonymousName;
  EditBytes m_passphraseEdit{sizeof(WPA_INFORMATION::passphrase)}, m_confirmEdit{sizeof(WPA_INFORMATION::passphrase)};
  bool m_enabled = true;
  bool m_showing = false;  // the page fills its controls: not the user's change
};
