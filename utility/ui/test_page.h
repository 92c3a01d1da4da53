#pragma once
// The "Test" page of the main sheet (dialog 123), present when Zelcon.ini enables it: gets and
// sets the adapter's channel range, roaming signal threshold and transmit-fail threshold, and
// triggers a simulated radar detection.
#include <cstdint>

#include "hosts/adapterctl/adapter_control.h"
#include "utility/ui/zelcon_page.h"

class CTestPage : public CZelconPage {
public:
  CTestPage();

protected:
  void buildControls(zfw::ControlBuilder& builder) override;
  bool onSetActive() override;

private:
  void OnGetChannelRange();
  void OnSetChannelRange();
  void OnGetSignalThreshold();
  void OnSetSignalThreshold();
  void OnGetTxFailThreshold();
  void OnSetTxFailThreshold();
  void OnRadarDetect();
  // The number in edit `id`; an empty edit is 0 and shows 0.
  uint32_t EditValue(int id);
  // Sends `value` with `set` when it is within low..high, else says so and clears the edit.
  void SetThreshold(int id, uint32_t low, uint32_t high, const char* outOfRange,
                    int (IAdapterControl::*set)(void*, uint32_t));
  void* Adapter() const;
};
