#pragma once
// The "Advanced" page of the main sheet (dialog 115): the adapter's radio settings, read when
// the page is shown and written back only for the settings the user changed, and three
// utility options kept in Zelcon.ini.
#include <cstdint>

#include "utility/ui/zelcon_page.h"

class CAdvancedPage : public CZelconPage {
public:
  CAdvancedPage();

  // The changed-settings mask: one bit per setting.
  enum Changed : int {
    kPowerSave = 0x1,
    kPreamble = 0x2,
    kTxAntenna = 0x4,
    kRxAntenna = 0x8,
    kRate = 0x10,
    kFragmentation = 0x20,
    kRts = 0x40,
    kBoost = 0x100,
    kTxPower = 0x200,
    kDefaults = 0x27F,  // every setting but boost mode
  };
  int ChangedMask() const { return m_changed; }

  intptr_t onAppMessage(uint32_t code, const zfw::AppParam& param) override;

protected:
  void buildControls(zfw::ControlBuilder& builder) override;
  bool onInitDialog() override;
  bool onSetActive() override;
  bool onKillActive() override;
  bool onApply() override;

private:
  void Refresh();
  void RebuildRateList();
  void Apply();
  void OnDefault();
  void OnBoostMode();
  void OnTcpIp();
  void OnAutoConnect();
  void OnAutoLink();
  void ShowThresholds();
  // Selects the item of combo `id` whose data is `value` (no change when none has it).
  void SelectData(int id, uint32_t value);
  uint32_t SelectedData(int id) const;
  void MarkChanged(int bits);

  int m_changed = 0;
  int m_fragThreshold = 2346;
  int m_rtsThreshold = 2347;
  bool m_filling = false;  // the page itself is writing the controls
};
