#pragma once
// The "Admin" page (dialog 114): imports profiles from a *.cfg file into the sheet's list and
// exports the list to one.
#include "utility/ui/zelcon_page.h"

class CAdminTool : public CZelconPage {
public:
  enum : int { IDC_IMPORT_PROFILES = 1081, IDC_EXPORT_PROFILES = 1082 };

  CAdminTool();
  void OnImportProfiles();
  void OnExportProfiles();

protected:
  void buildControls(zfw::ControlBuilder& builder) override;
};
