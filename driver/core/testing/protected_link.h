#pragma once
// A started driver associated to kApAddress under one cipher, its keys set through
// OID_802_11_ADD_KEY and OID_802_11_ADD_WEP as the supplicant's host sets them, and the send
// path as far as the transmit ring: encapsulated, then encrypted in a ring buffer as the chip
// layer does it. The loopback tests and the data-path benchmark both drive the core so.
#include <algorithm>
#include <cstring>
#include <vector>

#include "driver/core/core_adapter.h"
#include "driver/core/core_timer.h"
#include "driver/core/key_installs.h"
#include "driver/core/management_frames.h"
#include "driver/core/station_seams.h"
#include "driver/core/testing/test_frames.h"
#include "driver/entry/testing/driver_harness.h"
#include "driver/hal/chip_frames.h"
#include "platform/ndis/ntddndis.h"

namespace zelnic::core::testing {

enum class Cipher { kWep, kTkip, kCcmp, kNone };

inline constexpr Address kStation = {0x02, 0x00, 0x00, 0x00, 0x00, 0x11};

// NDIS_802_11_KEY: Length, KeyIndex, KeyLength, BSSID, 2 pad bytes, KeyRSC, key material.
inline std::vector<std::uint8_t> KeyRecord(std::uint32_t keyIndex, const std::vector<std::uint8_t>& material,
                                           std::uint64_t rsc = 0, const Address& bssid = kApAddress) {
  std::vector<std::uint8_t> r(32 + material.size());
  const std::uint32_t words[3] = {static_cast<std::uint32_t>(r.size()), keyIndex,
                                  static_cast<std::uint32_t>(material.size())};
  std::memcpy(r.data(), words, sizeof words);
  std::copy(bssid.begin(), bssid.end(), r.begin() + 12);
  std::memcpy(r.data() + 24, &rsc, 8);
  std::copy(material.begin(), material.end(), r.begin() + 32);
  return r;
}

// A TKIP key whose two Michael keys are equal, so a looped-back frame verifies.
inline std::vector<std::uint8_t> TkipKey() {
  std::vector<std::uint8_t> k(32);
  for (int i = 0; i < 16; ++i) k[i] = static_cast<std::uint8_t>(0xA0 + i);
  for (int i = 16; i < 24; ++i) k[i] = k[i + 8] = static_cast<std::uint8_t>(0x30 + i);
  return k;
}

// An infrastructure association to kApAddress as kStation under `cipher` (WEP-104 for kWep);
// false when the core refused a key.
inline bool AssociateUnder(zelnic::testing::DriverHarness& h, CoreAdapter* core, Cipher cipher) {
  h.run([&] {
    core->Config.networkMode = 1;
    core->MlmeState = kMlmeAssociated;
    core->MediaDisconnected = 0;
    std::copy(kApAddress.begin(), kApAddress.end(), core->Bssid.begin());
    std::copy(kStation.begin(), kStation.end(), core->StationAddress.begin());
    ResetKeyState(core);    // what a disconnect leaves
    CancelAllTimers(core);  // no link monitor: the association is the caller's own, without beacons
  });
  bool accepted = true;
  auto set = [&](NDIS_OID oid, const std::vector<std::uint8_t>& data) {
    accepted = accepted && h.host->set(oid, data).status == NDIS_STATUS_SUCCESS;
  };
  switch (cipher) {
    case Cipher::kNone:
      core->Config.authMode = 0;
      core->Config.wepStatus = 1;
      break;
    case Cipher::kWep: {
      core->Config.authMode = 0;
      core->Config.wepStatus = 0;
      std::vector<std::uint8_t> wep = {28, 0, 0, 0, 0, 0, 0, 0x80, 13, 0, 0, 0};
      for (int i = 0; i < 13; ++i) wep.push_back(static_cast<std::uint8_t>(0x41 + i));
      wep.resize(28);
      set(OID_802_11_ADD_WEP, wep);
      break;
    }
    case Cipher::kTkip:
      core->Config.authMode = 4;
      core->Config.wepStatus = 4;
      set(OID_802_11_ADD_KEY, KeyRecord(0xC0000000, TkipKey()));
      set(OID_802_11_ADD_KEY, KeyRecord(0x20000001, TkipKey(), 0));
      break;
    case Cipher::kCcmp: {
      core->Config.authMode = 7;
      core->Config.wepStatus = 6;
      std::vector<std::uint8_t> tk(16);
      for (int i = 0; i < 16; ++i) tk[i] = static_cast<std::uint8_t>(0xC0 + i);
      set(OID_802_11_ADD_KEY, KeyRecord(0xC0000000, tk));
      break;
    }
  }
  (void)h.host->takeStatus();
  return accepted;
}

// On the adapter's executor: encapsulates the 802.3 frame `packet` and encrypts it in `ring`
// (hal::kRingBufferBytes) as the chip layer does; the ring bytes its chip-layout frames take,
// or 0 when the core refused the frame.
inline ULONG EncapsulateIntoRing(CoreAdapter* core, std::uint8_t* packet, ULONG length, std::uint8_t* ring) {
  FragmentNode node{{nullptr}, packet, length};
  SendDescriptor record{};
  record.Fragments = &node;
  record.FragmentCount = 1;
  record.TotalLength = length;
  if (DataFrameEncapsulate(core, &record) != 0) return 0;
  auto* built = static_cast<ManagementFrameBuffer*>(record.Frame);
  const ULONG used = built->Length;
  std::memcpy(ring, built->Buffer, used);
  ReturnFrameBuffer(core, built);
  // Only a protected frame goes through the cipher.
  if ((ring[3] & 0x40) != 0 && CoreOps(core).Encrypt(core, &record, ring, used) != 0) return 0;
  return used;
}

}  // namespace zelnic::core::testing
