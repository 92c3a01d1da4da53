#pragma once
// Connecting with a profile: every connection the utility makes goes through ApplyProfile.
// The order of the adapter calls is part of the behaviour. The caller hands in the state the
// steps read and change: the adapter, the radio switch, the profile list with the profile in
// use, and the link status.
//
// When the list and the link status are shared between threads, the caller hands in their
// lock too: it is taken only to read and write them, never across an adapter call (a connect
// takes seconds, and the adapter's notifications may wait for the thread that holds it).
#include <cstdint>
#include <functional>
#include <mutex>

#include "hosts/adapterctl/adapter_control.h"
#include "utility/core/link_status.h"
#include "utility/core/profile_list.h"

namespace zelcon {

struct ConnectContext {
  IAdapterControl& lib;
  void* adapter;    // null while no adapter is open
  uint32_t radio;   // non-zero: the radio is on
  ProfileList& profiles;
  LINK_STATUS& link;
  // Told the tray state after the link status was refreshed (optional).
  std::function<void(TrayState)> onLinkStatus;
  // Guards `profiles` and `link` (optional: none when one thread owns them).
  std::recursive_mutex* stateMutex = nullptr;

  std::unique_lock<std::recursive_mutex> LockState() const {
    return stateMutex ? std::unique_lock(*stateMutex) : std::unique_lock<std::recursive_mutex>();
  }
};

enum ApplyFlags : int { kApplySecurity = 1, kApplyRadio = 4 };

// 0: the SSID was accepted (joining); 1: nothing done or the attempt failed; any other value
// is ZelconSetSsid's own result (4: already on this network).
int ApplyProfile(ConnectContext& ctx, ProfileId profile);
// Security (kApplySecurity) and/or radio parameters (kApplyRadio); returns 1.
int ApplyProfileSettings(ConnectContext& ctx, const PROFILE_ENTRY& profile, int flags);
// Joins the strongest open access point; 0 when an SSID was accepted, else 1.
int ConnectAnySsid(ConnectContext& ctx);
// Marks the profile in use (kNoProfile: none), adds it to the prefer list and moves it to the
// head of its group.
void MakeProfileCurrent(ConnectContext& ctx, ProfileId profile);
// At opening, when the adapter is associated: the profile the adapter reports in use
// becomes current (the first of exactly that name); no match changes nothing.
void PickProfileInUse(ConnectContext& ctx);

// The four static keys in order, each marked when it is the transmit key, then the transmit
// key once more as such.
void SetWepKeys(IAdapterControl& lib, void* adapter, const PROFILE_ENTRY& profile);

// The adapter's authentication code for a profile's code, as ApplyProfileSettings sets it.
uint32_t AdapterAuthMode(const PROFILE_ENTRY& profile);

}  // namespace zelcon
