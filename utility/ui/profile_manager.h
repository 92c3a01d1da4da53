#pragma once
// The "Profile Manager" page of the main sheet (dialog 102): the profile list with a check
// box per row for the Auto Configuration prefer list, the selected profile in an embedded
// profile wizard, and Create, Save, Delete, Move Up, Move Down and Apply Profile. Rows carry
// the list's profile ids, so a deleted or replaced profile leaves no dangling row.
#include <memory>

#include "utility/core/profile_list.h"
#include "utility/ui/zelcon_page.h"

class CProfileWizard;
namespace zfw {
class ToolTip;
}

enum : int {
  IDD_PROFILE_MANAGER = 102,
  IDC_PM_LIST = 1000,
  IDC_PM_APPLY = 1011,
  IDC_PM_CREATE = 1014,
  IDC_PM_MOVE_UP = 1028,
  IDC_PM_MOVE_DOWN = 1029,
  IDC_PM_GROUP = 1036,
  IDC_PM_SAVE = 1037,
  IDC_PM_DELETE = 1038,
  ID_PM_SWITCH = 32773,
  ID_PM_ADD_PREFER = 32774,
  ID_PM_REMOVE_PREFER = 32775,
  ID_PM_EMPTY_PREFER = 32776,
  ID_PM_ADD_ALL_PREFER = 32779,
  IDS_PM_PREFER_TIP = 63001,
};

class CProfileManager : public CZelconPage {
public:
  CProfileManager();
  ~CProfileManager() override;

  void RefillProfileList();
  // Saves the edit in progress; 0 when the user must correct it first (no row: 1).
  int OnSaveProfile();
  // Shows the embedded wizard's page again.
  void RefreshWizardPage();
  void OnApplyProfile();
  void OnProfileManagerNotify(uint32_t code);
  // The two ends of an apply: everything on the page disabled and the sheet busy, then
  // usable again.
  void BeginApply();
  void EndApply();
  CProfileWizard* Wizard() { return m_wizard.get(); }
  // The balloon over the rows' check boxes.
  zfw::ToolTip* PreferListTip() { return m_toolTip.get(); }

protected:
  void buildControls(zfw::ControlBuilder& b) override;
  bool onInitDialog() override;
  bool onSetActive() override;
  void onDestroy() override;
  intptr_t onAppMessage(uint32_t code, const zfw::AppParam& param) override;

private:
  zelcon::ProfileId RowProfile(int row) const;
  int RowOf(zelcon::ProfileId id) const;
  bool IsCurrent(zelcon::ProfileId id) const;
  bool ShowsAsInUse(zelcon::ProfileId id) const;
  void FillRows();
  void UpdateProfileButtons(bool enable, int row);
  void OnProfileSelected();
  void OnCreateProfile();
  void OnSaveProfileClicked();
  void OnDeleteProfile();
  void OnMoveProfileUp();
  void OnMoveProfileDown();
  void MoveProfile(int delta);
  // Puts the sheet's list back into its groups (infrastructure ahead of ad hoc), rebuilds the
  // rows and returns the row of `id`.
  int RegroupProfiles(zelcon::ProfileId id);
  void OnListClick(const zfw::NotifyInfo& info);
  void OnListRightClick(const zfw::NotifyInfo& info);
  void SetPrefer(int row, bool prefer, bool setBox = true);
  void SetAllPrefer(bool prefer);
  void MarkCurrentProfile();
  // Gathers the wizard into the selected profile; false when a page refused.
  bool GatherSelected();
  void PlaceWizard();
  void CreatePreferListTip();

  std::unique_ptr<CProfileWizard> m_wizard;
  std::unique_ptr<zfw::ToolTip> m_toolTip;
  bool m_filling = false;
};
