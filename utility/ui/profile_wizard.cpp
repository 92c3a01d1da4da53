#include "utility/ui/profile_wizard.h"

#include "utility/ui/adv_settg_page.h"
#include "utility/ui/basic_settg_page.h"
#include "utility/ui/complete_wiz.h"
#include "utility/ui/password_credential_dlg.h"
#include "utility/ui/security_settg_page.h"
#include "utility/ui/zelcon_images.h"
#include "utility/ui/zelcon_sheet.h"

namespace {

int FormOf(int captionId) {
  return captionId == IDS_CREATE_NEW_PROFILE || captionId == IDS_CONFIGURE_NETWORK ? captionId : 0;
}

}  // namespace

CProfileWizard::CProfileWizard(int captionId, CZelconSheet* mainSheet, std::string settingsPath, zfw::Wnd* parent)
    : zfw::PropertySheet(FormOf(captionId) ? captionId : 0, parent),
      m_wizardForm(FormOf(captionId)),
      m_mainSheet(mainSheet) {
  m_context.settingsPath = std::move(settingsPath);
  m_context.changed = [this] { OnPageChanged(); };
  m_context.nameTaken = [this](const std::string& name) { return NameTaken(name); };
  m_context.credentialDialog = RunCredentialDialog;
  RegisterZelconImages();
  SetupPages();
}

CProfileWizard::~CProfileWizard() {
  // The pages go after the sheet's window, which still refers to them.
  destroyWindow();
}

void CProfileWizard::SetupPages() {
  m_context.wirelessMode = 255;
  m_context.createNewProfile = m_wizardForm == IDS_CREATE_NEW_PROFILE;
  m_context.configureNetwork = m_wizardForm == IDS_CONFIGURE_NETWORK;
  if (m_wizardForm == IDS_CONFIGURE_NETWORK) {
    showApplyButton(false);
    m_security = std::make_unique<CSecuritySettgPage>(111, m_context);
    addPage(m_security.get());
  } else {
    const bool create = m_wizardForm == IDS_CREATE_NEW_PROFILE;
    m_network = std::make_unique<CBasicSettgPage>(create ? 117 : 107, m_context);
    m_security = std::make_unique<CSecuritySettgPage>(create ? 119 : 111, m_context);
    m_protocol = std::make_unique<CAdvSettgPage>(create ? 116 : 110, m_context);
    addPage(m_network.get());
    addPage(m_security.get());
    addPage(m_protocol.get());
    if (create) {
      m_complete = std::make_unique<CCompleteWiz>(*m_network, *m_security, *m_protocol,
                                                  [this] { return CreateProfileRecord() != 0; });
      addPage(m_complete.get());
      setWizardMode();
      setWizard97(IDB_WIZARD_HEADER, IDB_WIZARD_WATERMARK);
    }
  }
  m_newProfile.reset();
}

bool CProfileWizard::NameTaken(const std::string& name) const {
  if (!m_mainSheet) return false;
  auto lock = m_mainSheet->LockState();
  const zelcon::ProfileList& list = m_mainSheet->Profiles();
  for (size_t i = 0; i < list.Size(); ++i) {
    if (list.IdAt(i) != m_edited && zelcon::FieldText(list.At(i).name) == name) return true;
  }
  return false;
}

bool CProfileWizard::EditedIsConnectedCurrent() const {
  if (!m_mainSheet || m_edited == zelcon::kNoProfile) return false;
  auto lock = m_mainSheet->LockState();
  const zelcon::LINK_STATUS& link = m_mainSheet->Link();
  return link.connected && m_mainSheet->CurrentProfile() == m_edited;
}

void CProfileWizard::ScatterProfile(const PROFILE_ENTRY& p, zelcon::ProfileId edited) {
  m_edited = edited;
  m_context.adHocFlag = p.networkType == 0;
  m_context.wirelessMode = p.networkType == 0 ? p.adHocWlanMode : p.wlanMode;
  if (m_mainSheet) {
    auto lock = m_mainSheet->LockState();
    const zelcon::LINK_STATUS& link = m_mainSheet->Link();
    if (link.firstChannel >= 1 && link.lastChannel >= link.firstChannel && link.lastChannel <= 14) {
      m_context.firstChannel = int(link.firstChannel);
      m_context.lastChannel = int(link.lastChannel);
    }
  }
  m_context.channelLocked = EditedIsConnectedCurrent();
  if (m_network) m_network->LoadBasicFromProfile(p);
  if (m_security) m_security->LoadSecurityFromProfile(p);
  if (m_protocol) m_protocol->LoadAdvFromProfile(p);
}

int CProfileWizard::ValidatePages(bool withName) {
  if (withName && m_network && !m_network->ValidateProfileName()) return 0;
  if (m_security && !m_security->ValidateSecurity()) return 0;
  if (m_protocol && !m_protocol->ValidateThresholds()) return 0;
  return 1;
}

int CProfileWizard::GatherProfile(PROFILE_ENTRY& p) {
  if (!ValidatePages()) return 0;
  if (m_network) m_network->SaveBasicToProfile(p);
  if (m_security) m_security->SaveSecurityToProfile(p);
  if (m_protocol) m_protocol->SaveAdvToProfile(p);
  return 1;
}

void CProfileWizard::EnablePages(bool enable) {
  if (m_network) m_network->EnableBasicPage(enable);
  if (m_security) m_security->EnableSecurityPage(enable);
  if (m_protocol) m_protocol->EnableAdvPage(enable);
}

int CProfileWizard::CreateProfileRecord() {
  PROFILE_ENTRY record{};
  if (!GatherProfile(record)) {
    zelcon::WipeProfile(record);
    return 0;
  }
  record.prefer = 1;
  m_newProfile = record;
  zelcon::WipeProfile(record);
  return 1;
}

void CProfileWizard::OnPageChanged() {
  if (m_wizardForm == 0 && m_onChanged) m_onChanged();
}

bool CProfileWizard::onCommand(int id, int code) {
  if (id == zfw::IDOK && m_wizardForm == IDS_CONFIGURE_NETWORK) {
    if (!ValidatePages(false) || !m_configureTarget) return true;
    m_security->SaveSecurityToProfile(*m_configureTarget);
  }
  return zfw::PropertySheet::onCommand(id, code);
}
