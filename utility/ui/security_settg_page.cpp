#include "utility/ui/security_settg_page.h"

#include <algorithm>
#include <cstring>

#include "platform/gui/base/string_table.h"
#include "platform/gui/message_box.h"
#include "utility/ui/wipe_string.h"
#include "platform/gui/property_sheet.h"
#include "utility/ui/combo_codes.h"

namespace {

enum : int {
  IDS_SECURITY = 61306,
  IDS_SECURITY_HEADER = 61312,
  IDS_CCX_CONFIGURATION = 61352,
  IDS_WPA_RADIUS = 61353,
  IDS_WEP_KEY_SETTING = 61380,
  IDS_KEY1_NOT_SET = 61381,     // 61381-61384
  IDS_KEY1_SELECTABLE = 61385,  // 61385-61388
  IDS_SELECT_TX_KEY = 62017,
  IDS_PASSPHRASE_LENGTH = 62022,
  IDS_PASSPHRASE_MISMATCH = 62023,
  IDS_WPA_TLS_MISSING = 63002,
  IDS_WPA_PEAP_MISSING = 63003,
  IDS_CCX_MISSING = 63004,
  IDS_WPA_LEAP_MISSING = 63006,
};

struct Item {
  const char* text;
  uint32_t code;
};

constexpr Item kAuthItems[] = {
    {"Open System", zelcon::kAuthOpen}, {"Shared Key", zelcon::kAuthShared}, {"Auto Switch", zelcon::kAuthAuto},
    {"802.1x", kFamily8021x},           {"WPA-PSK", zelcon::kAuthWpaPsk},    {"WPA2-PSK", zelcon::kAuthWpa2Psk},
    {"WPA", kFamilyWpa},                {"WPA2", kFamilyWpa2},               {"CCX", kFamilyCcx},
};
constexpr int kAdHocAuthItems = 3;

constexpr const char* kTls = "EAP/TLS (Use Certificate)";
constexpr const char* kPeap = "Protected EAP (PEAP) ";
constexpr const char* kLeap = "Light EAP (LEAP)";

bool IsWepAuth(uint32_t code) { return code == 0 || code == 1 || code == 4; }
bool IsFamily(uint32_t code) { return code >= kFamilyWpa && code <= kFamily8021x; }

uint32_t FamilyOf(uint32_t authMode) {
  switch (authMode) {
    case 3: case 5: case 6: case 7: return kFamilyWpa;
    case 10: case 11: case 12: case 14: return kFamilyWpa2;
    case 8: case 13: return kFamilyCcx;
    case 15: case 16: case 17: return kFamily8021x;
    default: return authMode;
  }
}


}  // namespace

CSecuritySettgPage::CSecuritySettgPage(int templateId, ProfileWizardContext& wizard)
    : zfw::PropertyPage(templateId, IDS_SECURITY), m_wizard(wizard) {
  // "Configure Network" opens on WEP until a profile is loaded.
  if (m_wizard.configureNetwork) m_encryption = 1;
  setHeaderTitle(zfw::loadString(IDS_SECURITY_HEADER));
  on(zfw::CBN_SELCHANGE, IDC_SEC_AUTH, &CSecuritySettgPage::OnAuthChange);
  on(zfw::CBN_SELCHANGE, IDC_SEC_ENCRYPTION, &CSecuritySettgPage::OnEncryptionChange);
  on(zfw::CBN_SELCHANGE, IDC_SEC_EAP_METHOD, &CSecuritySettgPage::OnMethodChange);
  on(zfw::EN_CHANGE, IDC_SEC_PASSPHRASE, &CSecuritySettgPage::OnPassphraseChange);
  on(zfw::BN_CLICKED, IDC_SEC_CONFIGURE_WEP, &CSecuritySettgPage::OnConfigureWepKeys);
  on(zfw::BN_CLICKED, IDC_SEC_CREDENTIALS, &CSecuritySettgPage::OnCredentials);
  for (int id : {IDC_SEC_PASSPHRASE, IDC_SEC_CONFIRM}) {
    bindCommand(zfw::EN_SETFOCUS, id, [this, id](const zfw::NotifyInfo&) { setItemText(id, ""); });
  }
  for (int k = 0; k < 4; ++k) {
    bindCommand(zfw::BN_CLICKED, IDC_SEC_TX_KEY1 + k, [this](const zfw::NotifyInfo&) { Changed(); });
  }
}

CSecuritySettgPage::~CSecuritySettgPage() {
  for (std::string* s : {&m_passphraseText, &m_loginName, &m_password, &m_domain, &m_certName, &m_anonymousName}) {
    WipeString(*s);
  }
  volatile uint8_t* keys = reinterpret_cast<uint8_t*>(&m_keyBlock);
  for (size_t i = 0; i < sizeof m_keyBlock; ++i) keys[i] = 0;
}

void CSecuritySettgPage::Replace(std::string& field, std::string value) {
  WipeString(field);
  field = std::move(value);
  WipeString(value);
}

void CSecuritySettgPage::buildControls(zfw::ControlBuilder& b) {
  b.text(0, "Authentication:").combo(IDC_SEC_AUTH).text(0, "Encryption:").combo(IDC_SEC_ENCRYPTION).row();
  b.beginGroup(IDC_SEC_WEP_GROUP, zfw::loadString(IDS_WEP_KEY_SETTING));
  b.button(IDC_SEC_CONFIGURE_WEP, "Configure WEP Keys").row();
  for (int k = 0; k < 4; ++k) b.radio(IDC_SEC_TX_KEY1 + k, zfw::loadString(IDS_KEY1_NOT_SET + k), 1).row();
  b.endGroup().row();
  b.text(IDC_SEC_PASSPHRASE_LABEL, "Passphrase").edit(IDC_SEC_PASSPHRASE, 0, zfw::ES_PASSWORD).row();
  b.text(IDC_SEC_CONFIRM_LABEL, "Confirm:").edit(IDC_SEC_CONFIRM, 0, zfw::ES_PASSWORD).row();
  b.text(IDC_SEC_EAP_LABEL, "802.1x Authentication Protocol:").combo(IDC_SEC_EAP_METHOD).row();
  b.button(IDC_SEC_CREDENTIALS, zfw::loadString(IDS_WPA_RADIUS)).row().stretch();
}

bool CSecuritySettgPage::onInitDialog() {
  m_showing = true;
  zfw::ComboBox auth = comboBox(IDC_SEC_AUTH);
  int items = m_wizard.adHocFlag ? kAdHocAuthItems : int(std::size(kAuthItems));
  for (int i = 0; i < items; ++i) auth.setItemData(auth.addString(kAuthItems[i].text), kAuthItems[i].code);
  zfw::ComboBox enc = comboBox(IDC_SEC_ENCRYPTION);
  enc.setItemData(enc.addString("Security Off"), 0);
  enc.setItemData(enc.addString("WEP"), 1);
  auth.setCurSel(0);
  enc.setCurSel(m_wizard.configureNetwork ? 1 : 0);
  enableItem(IDC_SEC_PASSPHRASE, false);
  enableItem(IDC_SEC_CONFIRM, false);
  if (m_wizard.configureNetwork) setItemFocus(IDC_SEC_CONFIGURE_WEP);
  m_showing = false;
  ShowState();
  return true;
}

void CSecuritySettgPage::onDestroy() {
  // The edits' text is taken into the page before the window goes.
  TakeControlValues();
}

bool CSecuritySettgPage::onSetActive() {
  setWizardButtons(zfw::PSWIZB_BACK | zfw::PSWIZB_NEXT);
  if (!m_enabled) EnableSecurityPage(false);
  RebuildAuthList();
  return zfw::PropertyPage::onSetActive();
}

void CSecuritySettgPage::Changed() {
  if (!m_showing) m_wizard.Changed();
}

void CSecuritySettgPage::ShowState() {
  if (!isCreated()) return;
  m_showing = true;
  RebuildAuthList();
  ::SelectCode(comboBox(IDC_SEC_AUTH), m_authChoice);
  RebuildEncryption();
  if (IsFamily(m_authChoice)) {
    ::SelectCode(comboBox(IDC_SEC_EAP_METHOD), m_eapMethod);
    RebuildEncryption();  // the method restricts the cipher
  }
  ::SelectCode(comboBox(IDC_SEC_ENCRYPTION), m_encryption);
  UpdateWepControls();
  m_passphraseEdit.Show(*this, IDC_SEC_PASSPHRASE, m_passphraseText);
  m_confirmEdit.Show(*this, IDC_SEC_CONFIRM, m_passphraseText);
  m_showing = false;
}

void CSecuritySettgPage::RebuildAuthList() {
  if (!isCreated()) return;
  zfw::ComboBox auth = comboBox(IDC_SEC_AUTH);
  int items = m_wizard.adHocFlag ? kAdHocAuthItems : int(std::size(kAuthItems));
  if (auth.count() == items) return;
  int sel = auth.curSel();
  auth.resetContent();
  for (int i = 0; i < items; ++i) auth.setItemData(auth.addString(kAuthItems[i].text), kAuthItems[i].code);
  if (sel >= 0 && sel < items) {
    auth.setCurSel(sel);
  } else {
    auth.setCurSel(0);
    RebuildEncryption();
  }
}

void CSecuritySettgPage::FillEapMethods(uint32_t family) {
  zfw::ComboBox methods = comboBox(IDC_SEC_EAP_METHOD);
  int sel = methods.curSel();
  methods.resetContent();
  auto add = [&](const char* text, uint32_t code) { methods.setItemData(methods.addString(text), code); };
  switch (family) {
    case kFamilyWpa: add(kTls, 5); add(kPeap, 6); add(kLeap, 3); break;
    case kFamilyWpa2: add(kTls, 10); add(kPeap, 11); add(kLeap, 14); break;
    case kFamilyCcx: add(kLeap, 8); break;
    case kFamily8021x: add(kTls, 15); add(kPeap, 16); break;
    default: break;
  }
  methods.setCurSel(sel >= 0 && sel < methods.count() ? sel : 0);
}

void CSecuritySettgPage::ShowPassphrase(bool show) {
  for (int id : {IDC_SEC_PASSPHRASE, IDC_SEC_CONFIRM, IDC_SEC_PASSPHRASE_LABEL, IDC_SEC_CONFIRM_LABEL}) showItem(id, show);
}

void CSecuritySettgPage::ShowEap(bool show) {
  for (int id : {IDC_SEC_EAP_METHOD, IDC_SEC_EAP_LABEL, IDC_SEC_CREDENTIALS}) {
    showItem(id, show);
    enableItem(id, show);
  }
}

void CSecuritySettgPage::RebuildEncryption() {
  const uint32_t code = ::SelectedCode(comboBox(IDC_SEC_AUTH));
  bool hadSelection = false;
  const uint32_t remembered = ::SelectedCode(comboBox(IDC_SEC_ENCRYPTION), &hadSelection);
  if (IsFamily(code)) FillEapMethods(code);
  bool anyMethod = false;
  const uint32_t method = ::SelectedCode(comboBox(IDC_SEC_EAP_METHOD), &anyMethod);

  zfw::ComboBox enc = comboBox(IDC_SEC_ENCRYPTION);
  enc.resetContent();
  auto add = [&](const char* text, uint32_t c) { enc.setItemData(enc.addString(text), c); };
  if (code == 0 || code == 4 || code == kFamilyCcx) {
    add("Security Off", 0);
    add("WEP", 1);
  } else if (code == 1 || code == kFamily8021x) {
    add("WEP", 1);
  } else if (code == 2 || code == 9) {
    add("TKIP", 2);
    add("AES", 3);
  } else if (code == kFamilyWpa || code == kFamilyWpa2) {
    if (!anyMethod || method != 14) add("TKIP", 2);
    if (!anyMethod || method != 3) add("AES", 3);
  }
  int index = hadSelection ? enc.findItemData(remembered) : -1;
  enc.setCurSel(index >= 0 ? index : (code == kFamilyCcx ? 1 : 0));

  const bool wep = IsWepAuth(code);
  setItemText(IDC_SEC_WEP_GROUP, wep ? zfw::loadString(IDS_WEP_KEY_SETTING) : "");
  for (int k = 0; k < 4; ++k) showItem(IDC_SEC_TX_KEY1 + k, wep);
  showItem(IDC_SEC_CONFIGURE_WEP, wep);
  if (wep) {
    ShowPassphrase(false);
    enableItem(IDC_SEC_PASSPHRASE, false);
    enableItem(IDC_SEC_CONFIRM, false);
    ShowEap(false);
    UpdateWepControls();
  } else if (code == 2 || code == 9) {
    ShowPassphrase(true);
    enableItem(IDC_SEC_PASSPHRASE, m_enabled);
    enableItem(IDC_SEC_CONFIRM, m_enabled && !itemText(IDC_SEC_PASSPHRASE).empty());
    ShowEap(false);
  } else {
    ShowPassphrase(false);
    ShowEap(true);
    setItemText(IDC_SEC_CREDENTIALS, zfw::loadString(code == kFamilyCcx ? IDS_CCX_CONFIGURATION : IDS_WPA_RADIUS));
  }
}

void CSecuritySettgPage::UpdateWepControls() {
  const uint32_t code = ::SelectedCode(comboBox(IDC_SEC_AUTH));
  if (!IsWepAuth(code)) return;
  if (m_enabled && (::SelectedCode(comboBox(IDC_SEC_ENCRYPTION)) == 1 || code == 1)) {
    enableItem(IDC_SEC_CONFIGURE_WEP, true);
    RefreshRadios();
  } else {
    enableItem(IDC_SEC_CONFIGURE_WEP, false);
    for (int k = 0; k < 4; ++k) enableItem(IDC_SEC_TX_KEY1 + k, false);
  }
}

void CSecuritySettgPage::RefreshRadios() {
  for (int k = 0; k < 4; ++k) {
    const bool set = m_keyBlock.wepKeys[k].length != 0;
    enableItem(IDC_SEC_TX_KEY1 + k, set);
    setItemText(IDC_SEC_TX_KEY1 + k, zfw::loadString((set ? IDS_KEY1_SELECTABLE : IDS_KEY1_NOT_SET) + k));
  }
  const uint32_t tx = m_keyBlock.txKeyIndex;
  checkRadioButton(IDC_SEC_TX_KEY1, IDC_SEC_TX_KEY1 + 3, tx >= 1 && tx <= 4 ? IDC_SEC_TX_KEY1 + int(tx) - 1 : 0);
}

void CSecuritySettgPage::ClearCredentials() {
  for (std::string* s : {&m_passphraseText, &m_loginName, &m_password, &m_domain, &m_certName, &m_anonymousName}) {
    WipeString(*s);
  }
  std::memset(m_certHash, 0, sizeof m_certHash);
}

void CSecuritySettgPage::OnAuthChange() {
  const uint32_t code = ::SelectedCode(comboBox(IDC_SEC_AUTH));
  if (!IsWepAuth(code)) {
    FillEapMethods(code);
    comboBox(IDC_SEC_EAP_METHOD).setCurSel(0);
    bool any = false;
    uint32_t method = ::SelectedCode(comboBox(IDC_SEC_EAP_METHOD), &any);
    if (any) m_eapMethod = method;
    ClearCredentials();
  }
  RebuildEncryption();
  Changed();
}

void CSecuritySettgPage::OnEncryptionChange() {
  const uint32_t code = ::SelectedCode(comboBox(IDC_SEC_AUTH));
  if (code == 2 || code == 9) {
    setItemText(IDC_SEC_PASSPHRASE, "");
    setItemText(IDC_SEC_CONFIRM, "");
  } else {
    UpdateWepControls();
  }
  Changed();
}

void CSecuritySettgPage::OnMethodChange() {
  m_eapMethod = ::SelectedCode(comboBox(IDC_SEC_EAP_METHOD));
  RebuildEncryption();
  Changed();
}

void CSecuritySettgPage::OnPassphraseChange() {
  if (itemText(IDC_SEC_PASSPHRASE).empty()) {
    enableItem(IDC_SEC_CONFIRM, false);
    setItemText(IDC_SEC_CONFIRM, "");
  } else {
    enableItem(IDC_SEC_CONFIRM, m_enabled);
  }
  Changed();
}

void CSecuritySettgPage::OnConfigureWepKeys() {
  CWepKeyDlg dlg(m_keyBlock, plat::IniFile(m_wizard.settingsPath), this);
  if (dlg.doModal() != zfw::IDOK) return;
  RefreshRadios();
  Changed();
}

void CSecuritySettgPage::OnCredentials() {
  bool any = false;
  uint32_t method = ::SelectedCode(comboBox(IDC_SEC_EAP_METHOD), &any);
  if (!any) return;
  m_eapMethod = method;
  if (m_wizard.credentialDialog && m_wizard.credentialDialog(*this)) Changed();
}

void CSecuritySettgPage::EnableSecurityPage(bool enable) {
  m_enabled = enable;
  if (!isCreated()) return;
  if (!enable) {
    for (int id : {IDC_SEC_AUTH, IDC_SEC_ENCRYPTION, IDC_SEC_CONFIGURE_WEP, IDC_SEC_PASSPHRASE, IDC_SEC_CONFIRM}) {
      enableItem(id, false);
    }
    for (int k = 0; k < 4; ++k) enableItem(IDC_SEC_TX_KEY1 + k, false);
  } else {
    enableItem(IDC_SEC_AUTH, true);
    enableItem(IDC_SEC_ENCRYPTION, true);
    UpdateWepControls();
  }
}

int CSecuritySettgPage::LoadSecurityFromProfile(const PROFILE_ENTRY& p) {
  m_encryption = p.encryption;
  m_authChoice = FamilyOf(p.authMode);
  if (IsFamily(m_authChoice)) m_eapMethod = p.authMode;
  static_assert(sizeof(WepKeyBlock) == sizeof p.txKeyIndex + sizeof p.wepKeys);
  std::memcpy(&m_keyBlock, &p.txKeyIndex, sizeof m_keyBlock);
  const auto* phrase = reinterpret_cast<const char*>(p.wpa.passphrase);
  Replace(m_passphraseText, std::string(phrase, strnlen(phrase, sizeof p.wpa.passphrase)));
  Replace(m_loginName, std::string(zelcon::FieldText(p.wpa.loginName)));
  Replace(m_password, std::string(zelcon::FieldText(p.wpa.password)));
  Replace(m_domain, std::string(zelcon::FieldText(p.wpa.domain)));
  Replace(m_certName, std::string(zelcon::FieldText(p.wpa.certName)));
  Replace(m_anonymousName, std::string(zelcon::FieldText(p.wpa.anonymousName)));
  std::memcpy(m_certHash, p.wpa.certHash, sizeof m_certHash);
  ShowState();
  return 1;
}

void CSecuritySettgPage::TakeControlValues() {
  if (!isCreated()) return;
  Replace(m_passphraseText, m_passphraseEdit.Take(*this, IDC_SEC_PASSPHRASE));
  const int checked = checkedRadioButton(IDC_SEC_TX_KEY1, IDC_SEC_TX_KEY1 + 3);
  m_keyBlock.txKeyIndex = checked ? uint32_t(checked - IDC_SEC_TX_KEY1 + 1) : 0;
  bool any = false;
  uint32_t enc = ::SelectedCode(comboBox(IDC_SEC_ENCRYPTION), &any);
  if (any) m_encryption = enc;
  uint32_t auth = ::SelectedCode(comboBox(IDC_SEC_AUTH), &any);
  if (any) m_authChoice = auth;
}

int CSecuritySettgPage::SaveSecurityToProfile(PROFILE_ENTRY& p) {
  if (!isCreated()) return 1;
  TakeControlValues();
  p.encryption = m_encryption;
  p.authMode = m_authChoice;
  if (IsFamily(m_authChoice)) {
    bool any = false;
    uint32_t method = ::SelectedCode(comboBox(IDC_SEC_EAP_METHOD), &any);
    if (any) p.authMode = method;
  }
  std::memcpy(&p.txKeyIndex, &m_keyBlock, sizeof m_keyBlock);
  std::memset(p.wpa.passphrase, 0, sizeof p.wpa.passphrase);
  const size_t length = std::min(m_passphraseText.size(), sizeof p.wpa.passphrase);
  std::memcpy(p.wpa.passphrase, m_passphraseText.data(), length);
  p.wpa.passphraseLength = uint32_t(length);
  zelcon::SetFieldText(p.wpa.loginName, m_loginName);
  zelcon::SetFieldText(p.wpa.password, m_password);
  zelcon::SetFieldText(p.wpa.domain, m_domain);
  zelcon::SetFieldText(p.wpa.certName, m_certName);
  zelcon::SetFieldText(p.wpa.anonymousName, m_anonymousName);
  std::memcpy(p.wpa.certHash, m_certHash, sizeof m_certHash);
  return 1;
}

bool CSecuritySettgPage::CheckPassphrase() {
  std::string phrase = m_passphraseEdit.Take(*this, IDC_SEC_PASSPHRASE);
  std::string confirm = m_confirmEdit.Take(*this, IDC_SEC_CONFIRM);
  int message = 0;
  if (phrase.size() < 8 || phrase.size() > 63) {
    message = IDS_PASSPHRASE_LENGTH;
  } else if (phrase != confirm) {
    message = IDS_PASSPHRASE_MISMATCH;
  }
  WipeString(phrase);
  WipeString(confirm);
  if (message == 0) return true;
  zfw::messageBox(this, zfw::loadString(message), {}, zfw::MB_ICONEXCLAMATION);
  setItemText(IDC_SEC_PASSPHRASE, "");
  setItemText(IDC_SEC_CONFIRM, "");
  return false;
}

int CSecuritySettgPage::ValidateSecurity() {
  if (!isCreated()) return 1;
  const uint32_t auth = ::SelectedCode(comboBox(IDC_SEC_AUTH));
  auto refuse = [this](int message) {
    zfw::messageBox(this, zfw::loadString(message), {}, zfw::MB_ICONEXCLAMATION);
    return 0;
  };
  if ((IsWepAuth(auth) && ::SelectedCode(comboBox(IDC_SEC_ENCRYPTION)) == 1) || auth == 1) {
    if (checkedRadioButton(IDC_SEC_TX_KEY1, IDC_SEC_TX_KEY1 + 3) == 0) return refuse(IDS_SELECT_TX_KEY);
  }
  if (auth == 2 || auth == 9) return CheckPassphrase() ? 1 : 0;
  if (IsFamily(auth)) {
    const bool login = !m_loginName.empty();
    switch (::SelectedCode(comboBox(IDC_SEC_EAP_METHOD))) {
      case 3: case 14:
        if (!login || m_password.empty()) return refuse(IDS_WPA_LEAP_MISSING);
        break;
      case 5: case 10: case 15:
        if (!login || m_certName.empty()) return refuse(IDS_WPA_TLS_MISSING);
        break;
      case 6: case 11: case 16:
        if (!login || m_password.empty()) return refuse(IDS_WPA_PEAP_MISSING);
        break;
      case 8:
        if (!login || m_password.empty()) return refuse(IDS_CCX_MISSING);
        break;
      default: break;
    }
  }
  return 1;
}
