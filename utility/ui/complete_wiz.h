#pragma once
// "Complete.": the last page of the "Create New Profile" wizard, a summary of what the
// other pages hold before Finish; an exterior page, beside the wizard's watermark.
#include <functional>
#include <string>

#include "platform/gui/property_page.h"

enum : int { IDD_COMPLETE_WIZ = 112, IDC_COMPLETE_SUMMARY = 1049 };

class CCompleteWiz : public zfw::PropertyPage {
public:
  // `createRecord` makes the profile from the pages (false: a page refused its values).
  CCompleteWiz(zfw::Wnd& network, zfw::Wnd& security, zfw::Wnd& protocol, std::function<bool()> createRecord);

  std::string BuildProfileSummary() const;

protected:
  void buildControls(zfw::ControlBuilder& b) override;
  bool onSetActive() override;
  bool onWizardFinish() override;

private:
  zfw::Wnd& m_network;
  zfw::Wnd& m_security;
  zfw::Wnd& m_protocol;
  std::function<bool()> m_createRecord;
};
