#include "utility/core/profile_connect.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/tick_count.h"
#include "utility/core/scan_records.h"

namespace zelcon {
namespace {

constexpr uint8_t kAllChannels[14] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
constexpr size_t kAnySsidCandidates = 20;
constexpr uint32_t kAnySsidTimeLimitMs = 8000;

enum class Identity { None, Tls, Peap, Leap, Ttls };

Identity IdentityFor(uint32_t authMode) {
  switch (authMode) {
    case kAuthWpaLeap: case kAuthWpa2Leap: case kAuthCcxLeap: return Identity::Leap;
    case kAuthWpaTls: case kAuth8021xTls: case kAuthWpa2Tls: return Identity::Tls;
    case kAuthWpaPeap: case kAuth8021xPeap: case kAuthWpa2Peap: case kAuthCcxPeap:
      return Identity::Peap;
    case kAuthWpaTtls: case kAuth8021xTtls: case kAuthWpa2Ttls: return Identity::Ttls;
    default: return Identity::None;
  }
}

void CreateIdentity(IAdapterControl& lib, const WPA_INFORMATION& wpa, Identity identity) {
  // Bounded copies: the fields need not be terminated.
  std::string login(FieldText(wpa.loginName)), domain(FieldText(wpa.domain));
  std::string password(FieldText(wpa.password)), anonymous(FieldText(wpa.anonymousName));
  switch (identity) {
    case Identity::Tls: lib.WPACreateIdentityTLS(login.c_str(), wpa.certHash); break;
    case Identity::Peap:
      lib.WPACreateIdentityPEAP(login.c_str(), domain.c_str(), password.c_str());
      break;
    case Identity::Leap:
      lib.WPACreateIdentityLEAP(login.c_str(), domain.c_str(), password.c_str());
      break;
    case Identity::Ttls:
      lib.WPACreateIdentityTtls(login.c_str(), domain.c_str(), password.c_str(),
                                anonymous.c_str());
      break;
    case Identity::None: break;
  }
  volatile char* wipe = password.data();
  for (size_t i = 0; i < password.size(); ++i) wipe[i] = 0;
}

void ApplySecurity(ConnectContext& ctx, const PROFILE_ENTRY& p) {
  void* h = ctx.adapter;
  uint32_t auth = p.authMode;
  bool ccx = !IsAdHoc(p) && (auth == kAuthCcxLeap || auth == kAuthCcxPeap);
  ctx.lib.SetAuthMode(h, IsAdHoc(p) ? auth : AdapterAuthMode(p));
  ctx.lib.SetTpxCCXNetworkEap(h, ccx ? 1 : 0);
  if (!IsAdHoc(p)) CreateIdentity(ctx.lib, p.wpa, IdentityFor(auth));

  std::string ssid(FieldText(p.ssid));
  ctx.lib.SetWPAInformation(h, p.networkType, auth, p.encryption,
                            reinterpret_cast<const uint8_t*>(&p.wpa), ssid.c_str());
  switch (p.encryption) {
    case 0: ctx.lib.SetWepStatus(h, 1); break;
    case 2: ctx.lib.SetWepStatus(h, 4); break;
    case 3: ctx.lib.SetWepStatus(h, 6); break;
    case 1: {
      ctx.lib.SetWepStatus(h, 0);
      if (auth != kAuthOpen && auth != kAuthShared && auth != kAuthAuto) break;
      SetWepKeys(ctx.lib, h, p);
      break;
    }
    default: break;
  }
}

void ApplyRadio(ConnectContext& ctx, const PROFILE_ENTRY& p) {
  void* h = ctx.adapter;
  if (IsAdHoc(p)) ctx.lib.SetPowerMode(h, 0);
  if (p.keepAdapterDefaults) return;
  ctx.lib.SetPowerMode(h, p.powerMode);
  ctx.lib.SetPreamble(h, p.preamble);
  ctx.lib.SetDataRate(h, p.dataRate);
  ctx.lib.SetFragThreshold(h, p.fragThreshold);
  ctx.lib.SetRTSThreshold(h, p.rtsThreshold);
}

}  // namespace

void SetWepKeys(IAdapterControl& lib, void* adapter, const PROFILE_ENTRY& p) {
  for (uint32_t i = 1; i <= 4; ++i) {
    const WEP_KEY_ENTRY& k = p.wepKeys[i - 1];
    lib.SetWepKey(adapter, i, k.key, std::min<uint32_t>(k.length, 32), p.txKeyIndex == i);
  }
  if (p.txKeyIndex >= 1 && p.txKeyIndex <= 4) {
    const WEP_KEY_ENTRY& k = p.wepKeys[p.txKeyIndex - 1];
    lib.SetWepKey(adapter, p.txKeyIndex, k.key, std::min<uint32_t>(k.length, 32), 1);
  }
}

uint32_t AdapterAuthMode(const PROFILE_ENTRY& p) {
  bool wep = p.encryption == 1;
  switch (p.authMode) {
    case kAuthShared: return 1;
    case kAuthWpaPsk: return 4;
    case kAuthWpaLeap: case kAuthWpa2Leap:
      return p.encryption == 2 ? 3 : p.encryption == 3 ? 6 : 0;
    case kAuthAuto: return 2;
    case kAuthWpaTls: case kAuth8021xTls: case kAuthWpaPeap: case kAuth8021xPeap:
    case kAuthWpaTtls: case kAuth8021xTtls:
      return wep ? 0 : 3;
    case kAuthWpa2Psk: return 7;
    case kAuthWpa2Tls: case kAuthWpa2Peap: case kAuthWpa2Ttls: return wep ? 0 : 6;
    default: return 0;  // open, CCX, and codes outside 1-17
  }
}

int ApplyProfileSettings(ConnectContext& ctx, const PROFILE_ENTRY& profile, int flags) {
  if (flags & kApplySecurity) ApplySecurity(ctx, profile);
  if (flags & kApplyRadio) ApplyRadio(ctx, profile);
  return 1;
}

int ApplyProfile(ConnectContext& ctx, ProfileId id) {
  PROFILE_ENTRY p;  // a copy: the list may change while the adapter is set up
  {
    auto lock = ctx.LockState();
    const PROFILE_ENTRY* stored = ctx.profiles.Find(id);
    if (!ctx.adapter || !ctx.radio || !stored) return 1;
    p = *stored;
  }
  void* h = ctx.adapter;
  std::string_view ssid = ProfileSsid(p);
  bool any = FieldText(p.ssid) == kAnySsid;

  if (!any) {
    ZELCON_SSID_SCAN scan = MakeSsidScan(ssid, kAllChannels);
    uint32_t mode = 0;
    ctx.lib.QueryNetworkMode(h, mode);
    ctx.lib.SetNetworkMode(h, mode);
    if (ctx.lib.SsidScan(h, &scan) == 1) {
      WipeProfile(p);
      return 1;
    }
  }
  MakeProfileCurrent(ctx, id);
  ApplyProfileSettings(ctx, p, kApplySecurity);
  int result;
  if (any) {
    result = ConnectAnySsid(ctx);
  } else {
    ctx.lib.SetNetworkMode(h, p.networkType);
    if (IsAdHoc(p)) {
      ctx.lib.SetAdHocWlanMode(h, p.adHocWlanMode);
      ctx.lib.SetChannel(h, p.channel);
    } else {
      ctx.lib.SetWlanMode(h, p.wlanMode);
    }
    std::string ssidText(ssid);
    result = ctx.lib.SetSsid(h, ssidText.c_str(), static_cast<uint32_t>(ssidText.size()),
                             p.hiddenSsid);
    if (result == 0) {
      ApplyProfileSettings(ctx, p, kApplyRadio);
    } else {
      const uint32_t connected = static_cast<uint32_t>(ctx.lib.GetConnectStatus(h));
      const TrayState tray = ctx.stateMutex
                                 ? QueryLinkStatus(ctx.lib, h, connected, ctx.link, *ctx.stateMutex)
                                 : QueryLinkStatus(ctx.lib, h, connected, ctx.link);
      if (ctx.onLinkStatus) ctx.onLinkStatus(tray);
      bool up;
      {
        auto lock = ctx.LockState();
        up = ctx.link.connected || ctx.link.adHocUp;
      }
      if (up) ApplyProfileSettings(ctx, p, kApplyRadio);
    }
  }
  WipeProfile(p);
  return result;
}

int ConnectAnySsid(ConnectContext& ctx) {
  uint32_t start = plat::TickCount();
  if (!ctx.adapter || !ctx.radio) return 1;
  void* h = ctx.adapter;
  std::vector<uint8_t> buffer(kZelconScanBufferSize, 0);
  if (ctx.lib.QueryScanList(h, buffer.data(), kZelconScanBufferSize) != 0) return 1;

  std::vector<SCAN_LIST_ENTRY> kept;
  for (const SCAN_LIST_ENTRY& e : ParseScanList(buffer)) {
    if (kept.size() == kAnySsidCandidates) break;
    if (e.InfrastructureMode != 1 || e.Privacy != 0 || !ScanEntrySsid(e)) continue;
    auto at = std::find_if(kept.begin(), kept.end(),
                           [&](const SCAN_LIST_ENTRY& k) { return k.Rssi < e.Rssi; });
    kept.insert(at, e);
  }
  std::stable_partition(kept.begin(), kept.end(),
                        [](const SCAN_LIST_ENTRY& e) { return e.BOnly != 1; });

  ctx.lib.SetAuthMode(h, 0);
  ctx.lib.SetWepStatus(h, 1);
  ctx.lib.SetNetworkMode(h, 1);
  for (const SCAN_LIST_ENTRY& e : kept) {
    if (plat::TickCount() - start > kAnySsidTimeLimitMs) break;
    std::string ssid(*ScanEntrySsid(e));
    if (ssid.empty()) continue;
    return ctx.lib.SetSsid(h, ssid.c_str(), static_cast<uint32_t>(ssid.size()), 0) == 0 ? 0 : 1;
  }
  return 1;
}

void MakeProfileCurrent(ConnectContext& ctx, ProfileId id) {
  std::string name = " ";  // no profile in use
  {
    auto lock = ctx.LockState();
    ctx.profiles.SetCurrent(id);
    if (PROFILE_ENTRY* p = ctx.profiles.Find(id)) {
      p->prefer = 1;
      name = std::string(FieldText(p->name));
      ctx.profiles.MoveToFrontOfGroup(id);
    }
  }
  ctx.lib.SetProfileInUse(ctx.adapter, name.c_str(), static_cast<uint32_t>(name.size()));
}

void PickProfileInUse(ConnectContext& ctx) {
  char name[40] = {};
  if (ctx.lib.QueryProfileInUse(ctx.adapter, name, sizeof name) != 0) return;
  ProfileId id;
  {
    auto lock = ctx.LockState();
    id = ctx.profiles.FindByName(FieldText(name));
  }
  if (id != kNoProfile) MakeProfileCurrent(ctx, id);
}

}  // namespace zelcon
