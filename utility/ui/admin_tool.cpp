#include "utility/ui/admin_tool.h"

#include "platform/gui/control_builder.h"
#include "platform/gui/desktop/file_dialog.h"
#include "platform/gui/platform.h"
#include "utility/ui/zelcon_sheet.h"

namespace {

zfw::FileDialogSpec ProfileFileSpec(unsigned flags) {
  return zfw::FileDialogSpec{"cfg", "cfg Files (*.cfg)|*.cfg||", flags, {}};
}

}  // namespace

CAdminTool::CAdminTool() : CZelconPage(114, "Admin") {
  on(zfw::BN_CLICKED, IDC_IMPORT_PROFILES, &CAdminTool::OnImportProfiles);
  on(zfw::BN_CLICKED, IDC_EXPORT_PROFILES, &CAdminTool::OnExportProfiles);
}

void CAdminTool::buildControls(zfw::ControlBuilder& b) {
  b.beginGroup(0, "Import")
      .text(0,
            "Click <Import Profiles> button and select the file from which you want to import "
            "the profile.")
      .row()
      .stretch()
      .button(IDC_IMPORT_PROFILES, "&Import Profiles")
      .endGroup()
      .row();
  b.beginGroup(0, "Export")
      .text(0,
            "Click <Export Profiles> button and select the file where you want to save the "
            "profiles.")
      .row()
      .text(0,
            "All profiles shown in <Profile Manager> page will be saved to the selected source.")
      .row()
      .stretch()
      .button(IDC_EXPORT_PROFILES, "&Export Profiles")
      .endGroup()
      .row()
      .stretch();
}

void CAdminTool::OnImportProfiles() {
  std::optional<std::string> path = zfw::platform().fileDialog->openFile(
      this, ProfileFileSpec(zfw::OFN_FILEMUSTEXIST | zfw::OFN_PATHMUSTEXIST));
  if (path && m_sheet) m_sheet->ImportProfiles(*path);
}

void CAdminTool::OnExportProfiles() {
  std::optional<std::string> path = zfw::platform().fileDialog->saveFile(
      this, ProfileFileSpec(zfw::OFN_OVERWRITEPROMPT | zfw::OFN_HIDEREADONLY |
                            zfw::OFN_NOREADONLYRETURN | zfw::OFN_PATHMUSTEXIST));
  if (path && m_sheet) m_sheet->ExportProfiles(*path);
}
