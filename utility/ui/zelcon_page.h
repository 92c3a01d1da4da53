#pragma once
// The base of every page of the main sheet: it knows the application object and the sheet
// once its dialog is initialised, and hears when the radio is switched.
#include <string_view>

#include "platform/gui/property_page.h"

class CZelconApp;
class CZelconSheet;

class CZelconPage : public zfw::PropertyPage {
public:
  CZelconPage(int dialogId, std::string_view caption);

  int dialogId() const { return templateId(); }
  // The radio was switched on (1) or off (0), or the pages were enabled or disabled.
  virtual void OnRadioStateChanged(int radioOn);

protected:
  bool onInitDialog() override;

  CZelconApp* m_app = nullptr;
  CZelconSheet* m_sheet = nullptr;
};

// A page whose controls come with a later step: an empty page of the sheet's page size.
class CPendingPage : public CZelconPage {
public:
  using CZelconPage::CZelconPage;

protected:
  void buildControls(zfw::ControlBuilder& builder) override;
};

// The size every page of the main sheet is given.
inline constexpr int kZelconPageWidth = 470;
inline constexpr int kZelconPageHeight = 330;
