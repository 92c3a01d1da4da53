#pragma once
// "Auto Link" (dialog 129): the one-touch secure setup with an access point that offers it.
// The user picks the access point and types a PIN. An access point not yet configured
// (class 0) is joined openly and the driver runs the SwiftBond exchange with it; one already
// configured (class 1) is joined at once with the final WPA-PSK profile, whose passphrase is
// the PIN. The sheet finds the access points first, runs the dialog only when there are
// some, and afterwards takes the profile it made.
//
// While the dialog lives the library's notifications come to it; the wait between steps is
// the countdown box, and every timer runs through the framework's timer seam.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/gui/dialog.h"
#include "utility/core/auto_link.h"
#include "utility/core/profile_entry.h"

class CZelconSheet;

class CAutoLinkDlg : public zfw::Dialog {
public:
  enum : int {
    IDD = 129,
    IDC_ACCESS_POINTS = 1001,
    IDC_PIN = 1002,
    IDC_CONFIRM = 1003,
    IDC_CONFIRM_LABEL = 1124,
    IDC_STATUS = 1126,
    IDC_DO_NOT_ASK = 1015,
  };
  static constexpr int kAssociationTimer = 0x7000;
  static constexpr uint32_t kAssociationMs = 10000;

  CAutoLinkDlg(CZelconSheet& sheet, zfw::Wnd* parent);
  ~CAutoLinkDlg() override;

  // Fills the list from the adapter's scan list; the number of access points offered.
  int FindAccessPoints();
  const std::vector<zelcon::AutoLinkAccessPoint>& AccessPoints() const { return m_accessPoints; }
  // After the run: whether the exchange produced the final profile, and the profile.
  bool ProfileReady() const { return m_profileReady; }
  const PROFILE_ENTRY& Profile() const { return m_profile; }
  // The adapter was removed: end as Exit does.
  void OnAdapterRemoved() { Exit(); }

  void onOK() override;      // "&Apply"
  void onCancel() override;  // "E&xit"

protected:
  void buildControls(zfw::ControlBuilder& builder) override;
  bool onInitDialog() override;
  void onTimer(int id) override;
  intptr_t onAppMessage(uint32_t code, const zfw::AppParam& param) override;
  // Waits `seconds` with `message` in the countdown box.
  virtual void Countdown(const std::string& message, int seconds);

private:
  void Choose();
  bool ValidatePin(const std::string& pin);
  // Sets the adapter up for the profile and joins its network. Already there: the adapter
  // is on that network, so no association notice will come for it.
  enum class Join { kRefused, kJoining, kAlreadyThere };
  Join PushProfile(const PROFILE_ENTRY& profile);
  void StartExchange();
  zelcon::AdapterAddress ReadAdapterAddress();
  void Finish(bool success);
  void Abort();
  void FailAssociation();
  void Status(const std::string& text) { setItemText(IDC_STATUS, text); }
  void StoreAskAgain();
  void CleanUp();
  void Exit();

  CZelconSheet& m_sheet;
  std::vector<zelcon::AutoLinkAccessPoint> m_accessPoints;
  std::string m_ssid;
  std::string m_pin;
  uint8_t m_flags = 0;
  int m_class = 0;
  bool m_exchangePending = false;
  bool m_profileReady = false;
  bool m_timerRunning = false;
  zelcon::AdapterAddress m_address;
  PROFILE_ENTRY m_profile{};
};
