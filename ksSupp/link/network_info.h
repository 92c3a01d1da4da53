#pragma once
// NetworkInfo: the link's own copy of the host's network record (KSSTK_NETWORK_INFO), held
// by the link and its engine. Element blocks and the SSID are copied; the pass phrase is
// kept in UTF-8 and wiped when the copy goes.
#include <cstdint>

#include <collections/dcfByteArray.h>
#include <dcf/RefCounted.h>
#include <ksstk.h>

enum class StringForm;

class NetworkInfo final : public RefCounted {
 public:
  static constexpr std::uint32_t kMaxSsidLength = 32;

  // An all-zero network (one reference).
  static NetworkInfo* Empty() { return new NetworkInfo(); }
  // A copy of the first min(Length, sizeof) bytes of record, missing fields as 0 (one
  // reference). Length must not be 0 (the caller refuses that). The pass phrase is read in
  // the form given.
  static NetworkInfo* FromRecord(const KSSTK_NETWORK_INFO& record, StringForm form);

  std::uint32_t networkType = 0;
  std::uint32_t associationMode = 0;
  std::uint32_t use8021X = 0;
  std::uint32_t keySource = 0;
  std::uint32_t cipher = 0;
  std::uint8_t stationAddress[6] = {};
  std::uint8_t bssid[6] = {};
  SecureByteArray passphrase;  // UTF-8, no NUL; empty: none
  dcfByteArray ssid;           // at most 32 bytes
  dcfByteArray supplicantIe;
  dcfByteArray authenticatorIe;
  dcfByteArray associationResponseIe;

  bool AdHoc() const { return networkType == KSSTK_NETWORK_AD_HOC; }
  bool WpaOrRsn() const {
    return associationMode == KSSTK_ASSOCIATION_WPA || associationMode == KSSTK_ASSOCIATION_RSN;
  }
  bool Runs8021X() const { return use8021X == 1; }

 private:
  NetworkInfo() = default;
  ~NetworkInfo() override = default;
};
