#include "utility/ui/profile_manager.h"

#include <strings.h>

#include <QVBoxLayout>
#include <QWidget>

#include "platform/gui/base/string_table.h"
#include "platform/gui/base/clock.h"
#include "platform/gui/menu.h"
#include "platform/gui/tool_tip.h"
#include "platform/gui/wait_cursor.h"
#include "utility/ui/profile_wizard.h"
#include "utility/ui/zelcon_app.h"
#include "utility/ui/zelcon_images.h"
#include "utility/ui/zelcon_sheet.h"

namespace {

enum : int { kIconNotInUse = IDI_PROFILE_NOT_IN_USE, kIconInUse = IDI_PROFILE_IN_USE };
// The frame the embedded wizard is placed in (the page's own, not a template id).
constexpr int kWizardFrame = 0x7F01;
// The check box of a row is its first 16 pixels.
constexpr int kCheckStripWidth = 16;
// The tip's tool: the check-box strip all down the list, however tall it grows.
constexpr zfw::Rect kCheckStrip{0, 0, kCheckStripWidth, 0x7FFF};
constexpr int kPreferTipTool = 1000;
constexpr uint32_t kPreferTipDelayMs = 200;

}  // namespace

CProfileManager::CProfileManager() : CZelconPage(IDD_PROFILE_MANAGER, "Profile Manager") {
  on(zfw::BN_CLICKED, IDC_PM_SAVE, &CProfileManager::OnSaveProfileClicked);
  on(zfw::BN_CLICKED, IDC_PM_DELETE, &CProfileManager::OnDeleteProfile);
  on(zfw::BN_CLICKED, IDC_PM_CREATE, &CProfileManager::OnCreateProfile);
  on(zfw::BN_CLICKED, IDC_PM_APPLY, &CProfileManager::OnApplyProfile);
  on(zfw::BN_CLICKED, IDC_PM_MOVE_UP, &CProfileManager::OnMoveProfileUp);
  on(zfw::BN_CLICKED, IDC_PM_MOVE_DOWN, &CProfileManager::OnMoveProfileDown);
  on(zfw::LVN_ITEMCHANGED, IDC_PM_LIST, &CProfileManager::OnProfileSelected);
  on(zfw::NM_CLICK, IDC_PM_LIST, &CProfileManager::OnListClick);
  on(zfw::NM_DBLCLK, IDC_PM_LIST, &CProfileManager::OnApplyProfile);
  on(zfw::NM_RCLICK, IDC_PM_LIST, &CProfileManager::OnListRightClick);
  on(zfw::BN_CLICKED, ID_PM_SWITCH, &CProfileManager::OnApplyProfile);
  bindCommand(zfw::BN_CLICKED, ID_PM_ADD_PREFER, [this](const zfw::NotifyInfo&) {
    SetPrefer(listView(IDC_PM_LIST).selectedRow(), true);
  });
  bindCommand(zfw::BN_CLICKED, ID_PM_REMOVE_PREFER, [this](const zfw::NotifyInfo&) {
    SetPrefer(listView(IDC_PM_LIST).selectedRow(), false);
  });
  bindCommand(zfw::BN_CLICKED, ID_PM_ADD_ALL_PREFER, [this](const zfw::NotifyInfo&) { SetAllPrefer(true); });
  bindCommand(zfw::BN_CLICKED, ID_PM_EMPTY_PREFER, [this](const zfw::NotifyInfo&) { SetAllPrefer(false); });
}

CProfileManager::~CProfileManager() = default;

void CProfileManager::buildControls(zfw::ControlBuilder& b) {
  b.list(IDC_PM_LIST, zfw::LVS_EX_CHECKBOXES).row();
  b.button(IDC_PM_CREATE, "&Create...").button(IDC_PM_DELETE, "D&elete").button(IDC_PM_MOVE_UP, "Move &Up")
      .button(IDC_PM_MOVE_DOWN, "Move &Down").button(IDC_PM_APPLY, "&Apply Profile").row();
  b.beginGroup(IDC_PM_GROUP, "Profile Setting").placeholder(kWizardFrame, kZelconPageWidth - 20, 230).endGroup().row();
  b.stretch().button(IDC_PM_SAVE, "&Save");
}

bool CProfileManager::onInitDialog() {
  CZelconPage::onInitDialog();
  CreatePreferListTip();
  zfw::ListView list = listView(IDC_PM_LIST);
  list.setImageList({kIconNotInUse, kIconInUse});
  list.setHeaderVisible(false);
  list.insertColumn(0, "", kZelconPageWidth * 9 / 10);
  list.setExtendedStyle(list.extendedStyle() | zfw::LVS_EX_CHECKBOXES);
  m_wizard = std::make_unique<CProfileWizard>(0, m_sheet, m_app ? m_app->m_iniPath : std::string(), this);
  m_wizard->SetChangeHandler([this] { enableItem(IDC_PM_SAVE, true); });
  m_wizard->create(this);
  PlaceWizard();
  enableItem(IDC_PM_SAVE, false);
  return true;
}

void CProfileManager::onDestroy() {
  if (m_wizard) m_wizard->destroyWindow();
  m_wizard.reset();
  m_toolTip.reset();
}

void CProfileManager::CreatePreferListTip() {
  m_toolTip = std::make_unique<zfw::ToolTip>();
  m_toolTip->create(*this, zfw::TTS_ALWAYSTIP | zfw::TTS_BALLOON);
  m_toolTip->addTool(IDC_PM_LIST, kCheckStrip, zfw::loadString(IDS_PM_PREFER_TIP), kPreferTipTool);
  m_toolTip->setDelayTime(kPreferTipDelayMs);
  // Below the last row the strip holds no check box: nothing to explain there.
  m_toolTip->relayMouseMessages(IDC_PM_LIST, [](const zfw::NotifyInfo& at) { return at.row >= 0; });
}

void CProfileManager::PlaceWizard() {
  // The wizard fills the frame inside the "Profile Setting" group and follows its size.
  QWidget* frame = item(kWizardFrame);
  if (!m_wizard || !m_wizard->widget() || !frame || frame->layout()) return;
  auto* layout = new QVBoxLayout(frame);
  layout->setContentsMargins(2, 0, 2, 0);
  layout->addWidget(m_wizard->widget());
}

bool CProfileManager::onSetActive() {
  RefillProfileList();
  return CZelconPage::onSetActive();
}

intptr_t CProfileManager::onAppMessage(uint32_t code, const zfw::AppParam&) {
  OnProfileManagerNotify(code);
  return 0;
}

zelcon::ProfileId CProfileManager::RowProfile(int row) const {
  return row < 0 ? zelcon::kNoProfile : zelcon::ProfileId(listView(IDC_PM_LIST).itemData(row));
}

int CProfileManager::RowOf(zelcon::ProfileId id) const {
  zfw::ListView list = listView(IDC_PM_LIST);
  for (int row = 0; row < list.itemCount(); ++row) {
    if (RowProfile(row) == id) return row;
  }
  return -1;
}

bool CProfileManager::IsCurrent(zelcon::ProfileId id) const {
  if (!m_sheet || id == zelcon::kNoProfile) return false;
  auto lock = m_sheet->LockState();
  const zelcon::LINK_STATUS& link = m_sheet->Link();
  return (link.connected || link.adHocUp) && m_sheet->CurrentProfile() == id;
}

bool CProfileManager::ShowsAsInUse(zelcon::ProfileId id) const {
  if (!IsCurrent(id)) return false;
  auto lock = m_sheet->LockState();
  const PROFILE_ENTRY* p = m_sheet->Profiles().Find(id);
  if (!p) return false;
  const std::string ssid(zelcon::FieldText(p->ssid));
  const zelcon::LINK_STATUS& link = m_sheet->Link();
  return ssid == zelcon::kAnySsid || strcasecmp(ssid.c_str(), "any") == 0 ||
         (ssid == zelcon::FieldText(link.ssid) && p->networkType == link.networkMode);
}

void CProfileManager::FillRows() {
  zfw::ListView list = listView(IDC_PM_LIST);
  m_filling = true;
  list.deleteAllItems();
  std::vector<std::pair<zelcon::ProfileId, PROFILE_ENTRY>> rows;
  {
    auto lock = m_sheet->LockState();
    const zelcon::ProfileList& profiles = m_sheet->Profiles();
    for (size_t i = 0; i < profiles.Size(); ++i) rows.emplace_back(profiles.IdAt(i), profiles.At(i));
  }
  for (auto& [id, p] : rows) {
    int row = list.insertItem(list.itemCount(), zelcon::FieldText(p.name), ShowsAsInUse(id) ? 1 : 0);
    list.setItemData(row, uintptr_t(id));
    list.setCheck(row, p.prefer == 1);
    zelcon::WipeProfile(p);
  }
  m_filling = false;
}

void CProfileManager::RefillProfileList() {
  if (!isCreated() || !m_sheet) return;
  FillRows();
  zfw::ListView list = listView(IDC_PM_LIST);
  int inUse = -1;
  for (int row = 0; row < list.itemCount(); ++row) {
    if (list.itemImage(row) == 1) inUse = row;
  }
  if (list.itemCount() == 0) {
    UpdateProfileButtons(false, -1);
  } else {
    list.selectRow(inUse >= 0 ? inUse : 0);
    OnProfileSelected();
  }
  enableItem(IDC_PM_SAVE, false);
  setItemFocus(IDC_PM_LIST);
}

void CProfileManager::UpdateProfileButtons(bool enable, int row) {
  for (int id : {IDC_PM_DELETE, IDC_PM_APPLY, IDC_PM_MOVE_UP, IDC_PM_MOVE_DOWN}) enableItem(id, enable);
  if (m_wizard) m_wizard->EnablePages(enable);
  if (row < 0 || !m_sheet) return;
  std::vector<uint32_t> types;
  bool isDefault = false;
  {
    auto lock = m_sheet->LockState();
    const zelcon::ProfileList& profiles = m_sheet->Profiles();
    for (int r = std::max(0, row - 1); r <= row + 1; ++r) {
      const PROFILE_ENTRY* p = profiles.Find(RowProfile(r < listView(IDC_PM_LIST).itemCount() ? r : -1));
      types.push_back(p ? p->networkType : 2);
      if (r == row && p) isDefault = zelcon::FieldText(p->name) == zelcon::kDefaultProfileName;
    }
  }
  const uint32_t above = row > 0 ? types[0] : 2, self = types[row > 0 ? 1 : 0], below = types.back();
  if (isDefault) {
    enableItem(IDC_PM_DELETE, false);
    if (m_wizard) m_wizard->EnablePages(false);
  }
  if (IsCurrent(RowProfile(row))) enableItem(IDC_PM_DELETE, false);
  if (enable) {
    const int last = listView(IDC_PM_LIST).itemCount() - 1;
    if (row == 0 || (above == 1 && self == 0)) enableItem(IDC_PM_MOVE_UP, false);
    if (row == last || (below == 0 && self == 1)) enableItem(IDC_PM_MOVE_DOWN, false);
  }
}

void CProfileManager::OnProfileSelected() {
  if (m_filling || !m_sheet) return;
  zfw::ListView list = listView(IDC_PM_LIST);
  const int row = list.selectedRow();
  if (row < 0) return;
  UpdateProfileButtons(true, row);
  const zelcon::ProfileId id = RowProfile(row);
  std::optional<PROFILE_ENTRY> record;
  bool isDefault = false;
  {
    auto lock = m_sheet->LockState();
    if (const PROFILE_ENTRY* p = m_sheet->Profiles().Find(id)) {
      record = *p;
      isDefault = zelcon::FieldText(p->name) == zelcon::kDefaultProfileName;
    }
  }
  if (record && m_wizard) {
    m_wizard->ScatterProfile(*record, id);
    zelcon::WipeProfile(*record);
    if (isDefault) m_wizard->EnablePages(false);
  }
  if (m_sheet->Adapter()) {
    for (int r = 0; r < list.itemCount(); ++r) list.setItemImage(r, ShowsAsInUse(RowProfile(r)) ? 1 : 0);
  }
  enableItem(IDC_PM_SAVE, false);
}

bool CProfileManager::GatherSelected() {
  const int row = listView(IDC_PM_LIST).selectedRow();
  const zelcon::ProfileId id = RowProfile(row);
  PROFILE_ENTRY record{};
  {
    auto lock = m_sheet->LockState();
    const PROFILE_ENTRY* p = m_sheet->Profiles().Find(id);
    if (!p) return false;
    record = *p;
  }
  const bool gathered = m_wizard->GatherProfile(record) != 0;
  if (gathered) {
    auto lock = m_sheet->LockState();
    if (PROFILE_ENTRY* p = m_sheet->Profiles().Find(id)) *p = record;
  }
  zelcon::WipeProfile(record);
  return gathered;
}

int CProfileManager::OnSaveProfile() {
  if (!isCreated() || !m_wizard) return 1;
  const int row = listView(IDC_PM_LIST).selectedRow();
  if (row < 0) return 1;
  zfw::WaitCursor wait;
  const zelcon::ProfileId id = RowProfile(row);
  const bool gathered = GatherSelected();
  if (gathered) {
    const int newRow = RegroupProfiles(id);
    m_sheet->SaveProfiles();
    listView(IDC_PM_LIST).selectRow(newRow);
    UpdateProfileButtons(true, newRow);
  }
  enableItem(IDC_PM_SAVE, false);
  return gathered ? 1 : 0;
}

void CProfileManager::OnSaveProfileClicked() { OnSaveProfile(); }

int CProfileManager::RegroupProfiles(zelcon::ProfileId id) {
  {
    auto lock = m_sheet->LockState();
    m_sheet->Profiles().Regroup();
  }
  FillRows();
  return RowOf(id);
}

void CProfileManager::RefreshWizardPage() {
  if (m_wizard && m_wizard->isCreated() && m_wizard->activeIndex() >= 0) m_wizard->setActivePage(m_wizard->activeIndex());
}

void CProfileManager::OnCreateProfile() {
  if (!m_sheet) return;
  CProfileWizard wizard(IDS_CREATE_NEW_PROFILE, m_sheet, m_app ? m_app->m_iniPath : std::string(), this);
  if (wizard.doModal() == zfw::IDCANCEL || !wizard.NewProfile()) return;
  zelcon::ProfileId id;
  {
    auto lock = m_sheet->LockState();
    id = m_sheet->Profiles().Append(*wizard.NewProfile());
  }
  zelcon::WipeProfile(*wizard.NewProfile());
  const int row = RegroupProfiles(id);
  m_sheet->SaveProfiles();
  listView(IDC_PM_LIST).selectRow(row);
  OnProfileSelected();
  if (m_wizard) m_wizard->setActivePage(0);
}

void CProfileManager::OnDeleteProfile() {
  zfw::ListView list = listView(IDC_PM_LIST);
  const int row = list.selectedRow();
  const zelcon::ProfileId id = RowProfile(row);
  if (row < 0 || IsCurrent(id)) return;
  {
    auto lock = m_sheet->LockState();
    const PROFILE_ENTRY* p = m_sheet->Profiles().Find(id);
    if (!p || zelcon::FieldText(p->name) == zelcon::kDefaultProfileName) return;
    m_sheet->Profiles().Remove(id);
  }
  if (m_wizard && m_wizard->EditedProfile() == id) m_wizard->ForgetEditedProfile();
  m_sheet->SaveProfiles();
  FillRows();
  if (list.itemCount() == 0) {
    UpdateProfileButtons(false, -1);
    return;
  }
  list.selectRow(std::min(row, list.itemCount() - 1));
  OnProfileSelected();
}

void CProfileManager::OnMoveProfileUp() { MoveProfile(-1); }

void CProfileManager::OnMoveProfileDown() { MoveProfile(+1); }

void CProfileManager::MoveProfile(int delta) {
  zfw::ListView list = listView(IDC_PM_LIST);
  const int row = list.selectedRow();
  const int target = row + delta;
  if (row < 0 || target < 0 || target >= list.itemCount()) return;
  const zelcon::ProfileId id = RowProfile(row);
  {
    auto lock = m_sheet->LockState();
    const PROFILE_ENTRY* self = m_sheet->Profiles().Find(id);
    const PROFILE_ENTRY* other = m_sheet->Profiles().Find(RowProfile(target));
    // The groups stay whole: infrastructure ahead of ad hoc.
    if (!self || !other || self->networkType != other->networkType) return;
    m_sheet->Profiles().Move(id, size_t(target));
  }
  m_sheet->SaveProfiles();
  FillRows();
  list.selectRow(target);
  OnProfileSelected();
}

void CProfileManager::SetPrefer(int row, bool prefer, bool setBox) {
  const zelcon::ProfileId id = RowProfile(row);
  {
    auto lock = m_sheet->LockState();
    PROFILE_ENTRY* p = m_sheet->Profiles().Find(id);
    if (!p) return;
    p->prefer = prefer ? 1 : 0;
  }
  if (setBox) listView(IDC_PM_LIST).setCheck(row, prefer);
  m_sheet->SaveProfiles();
}

void CProfileManager::SetAllPrefer(bool prefer) {
  {
    auto lock = m_sheet->LockState();
    zelcon::ProfileList& profiles = m_sheet->Profiles();
    for (size_t i = 0; i < profiles.Size(); ++i) profiles.At(i).prefer = prefer ? 1 : 0;
  }
  zfw::ListView list = listView(IDC_PM_LIST);
  for (int row = 0; row < list.itemCount(); ++row) list.setCheck(row, prefer);
  m_sheet->SaveProfiles();
}

void CProfileManager::OnListClick(const zfw::NotifyInfo& info) {
  if (info.row < 0 || info.x >= kCheckStripWidth) return;
  // The list toggles the box after this notification: the new state is the opposite of the old.
  SetPrefer(info.row, !listView(IDC_PM_LIST).check(info.row), false);
}

void CProfileManager::OnListRightClick(const zfw::NotifyInfo&) {
  if (listView(IDC_PM_LIST).selectedRow() < 0) return;
  zfw::Menu menu;
  menu.appendItem(ID_PM_SWITCH, "Switch to this Profile");
  menu.appendItem(ID_PM_ADD_PREFER, "Add to Prefer List");
  menu.appendItem(ID_PM_REMOVE_PREFER, "Remove from Prefer List");
  menu.appendItem(ID_PM_ADD_ALL_PREFER, "Add all profiles to Prefer List");
  menu.appendItem(ID_PM_EMPTY_PREFER, "Empty Prefer List");
  menu.trackPopup(*this);
}

void CProfileManager::OnApplyProfile() {
  if (!m_sheet || !m_sheet->Adapter()) return;
  const int row = listView(IDC_PM_LIST).selectedRow();
  if (row < 0 || !GatherSelected()) return;
  const zelcon::ProfileId id = RowProfile(row);
  m_sheet->SaveProfiles();
  BeginApply();
  m_sheet->ApplyProfile(id);
  RefillProfileList();
  EndApply();
}

void CProfileManager::BeginApply() {
  // Nothing on the page may change while the adapter is being set up.
  m_sheet->m_busy = 1;
  zfw::beginWaitCursor();
  if (m_wizard) m_wizard->setActivePage(0);
  zfw::sleep(100);  // a short pause on the first page before everything greys out
  enableAllItems(false);  // the list and every button: Delete, Apply, Move Up and Down, Save, Create
  if (m_wizard) m_wizard->EnablePages(false);
  redraw();
}

void CProfileManager::EndApply() {
  enableAllItems(true);
  UpdateProfileButtons(true, listView(IDC_PM_LIST).selectedRow());
  enableItem(IDC_PM_CREATE, true);
  m_sheet->m_busy = 0;
  redraw();
  enableItem(IDC_PM_SAVE, false);
  zfw::endWaitCursor();
}

void CProfileManager::MarkCurrentProfile() {
  zfw::ListView list = listView(IDC_PM_LIST);
  int current = -1;
  for (int row = 0; row < list.itemCount(); ++row) {
    const bool inUse = ShowsAsInUse(RowProfile(row));
    list.setItemImage(row, inUse ? 1 : 0);
    if (inUse) current = row;
  }
  if (list.itemCount() > 0) list.selectRow(current >= 0 ? current : 0);
}

void CProfileManager::OnProfileManagerNotify(uint32_t code) {
  if (!isCreated() || !m_sheet || code > 5 || code == 2) return;
  if (code == 5) {
    {
      auto lock = m_sheet->LockState();
      if (m_sheet->m_busy || m_sheet->Link().connected || m_sheet->Link().adHocUp) return;
    }
    zfw::ListView list = listView(IDC_PM_LIST);
    for (int row = 0; row < list.itemCount(); ++row) list.setItemImage(row, 0);
    return;
  }
  MarkCurrentProfile();
}
