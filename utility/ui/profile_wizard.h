#pragma once
// The sheet through which every profile is edited, in three forms chosen by its caption:
//   embedded (caption 0)        network info, security, protocol; a child of the Profile Manager
//   "Create New Profile" 61309  the same and "Complete.", as a modal wizard with the Wizard97
//                               header bitmap (131) and, beside "Complete.", its watermark (132)
//   "Configure Network" 61420   the security page only, modal, without Apply
// Scatter shows a record on the pages; gather writes the pages into a record once every page
// has accepted its values.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "platform/gui/property_sheet.h"
#include "utility/core/profile_entry.h"
#include "utility/core/profile_list.h"
#include "utility/ui/profile_wizard_context.h"

class CAdvSettgPage;
class CBasicSettgPage;
class CCompleteWiz;
class CSecuritySettgPage;
class CZelconSheet;

enum : int { IDS_CREATE_NEW_PROFILE = 61309, IDS_CONFIGURE_NETWORK = 61420 };

class CProfileWizard : public zfw::PropertySheet {
public:
  // `captionId` 61309 or 61420 for those forms, anything else for the embedded one.
  // `mainSheet` (may be null) answers for the profile list, the profile in use and the link.
  CProfileWizard(int captionId, CZelconSheet* mainSheet, std::string settingsPath, zfw::Wnd* parent = nullptr);
  ~CProfileWizard() override;

  int WizardForm() const { return m_wizardForm; }
  ProfileWizardContext& Context() { return m_context; }

  // `edited`: the list's id of the record (none for a record outside the list); its own
  // name does not count as taken.
  void ScatterProfile(const PROFILE_ENTRY& p, zelcon::ProfileId edited = zelcon::kNoProfile);
  // 0 when a page refused its values (the record is then unchanged).
  int GatherProfile(PROFILE_ENTRY& p);
  int ValidatePages(bool withName = true);
  void EnablePages(bool enable);
  // Finish of "Create New Profile": the new record (in the prefer list), or 0.
  int CreateProfileRecord();
  std::optional<PROFILE_ENTRY>& NewProfile() { return m_newProfile; }
  // "Configure Network" gathers into `record` on OK; the record must outlive the run.
  void SetConfigureTarget(PROFILE_ENTRY* record) { m_configureTarget = record; }
  // The embedded form tells its owner of every user change (the Profile Manager's Save).
  void SetChangeHandler(std::function<void()> handler) { m_onChanged = std::move(handler); }
  zelcon::ProfileId EditedProfile() const { return m_edited; }
  void ForgetEditedProfile() { m_edited = zelcon::kNoProfile; }

  CBasicSettgPage* NetworkPage() { return m_network.get(); }
  CSecuritySettgPage* SecurityPage() { return m_security.get(); }
  CAdvSettgPage* ProtocolPage() { return m_protocol.get(); }
  CCompleteWiz* CompletePage() { return m_complete.get(); }

  bool onCommand(int id, int code) override;

private:
  void SetupPages();
  void OnPageChanged();
  bool NameTaken(const std::string& name) const;
  bool EditedIsConnectedCurrent() const;

  int m_wizardForm;
  CZelconSheet* m_mainSheet;
  ProfileWizardContext m_context;
  std::unique_ptr<CBasicSettgPage> m_network;
  std::unique_ptr<CSecuritySettgPage> m_security;
  std::unique_ptr<CAdvSettgPage> m_protocol;
  std::unique_ptr<CCompleteWiz> m_complete;
  zelcon::ProfileId m_edited = zelcon::kNoProfile;
  std::optional<PROFILE_ENTRY> m_newProfile;
  PROFILE_ENTRY* m_configureTarget = nullptr;
  std::function<void()> m_onChanged;
};
