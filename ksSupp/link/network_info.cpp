#include "ksSupp/link/network_info.h"

#include <algorithm>
#include <cstring>

#include "ksSupp/link_callback_adapter.h"
#include "ksSupp/wide_text.h"

namespace {

void CopyBlock(dcfByteArray& to, const std::uint8_t* bytes, std::uint32_t length) {
  if (bytes != nullptr && length != 0) to.Assign(bytes, length);
}

}  // namespace

NetworkInfo* NetworkInfo::FromRecord(const KSSTK_NETWORK_INFO& given, StringForm form) {
  KSSTK_NETWORK_INFO record{};
  std::memcpy(&record, &given, std::min<std::size_t>(given.Length, sizeof record));

  NetworkInfo* info = new NetworkInfo();
  try {
    info->networkType = record.NetworkType;
    info->associationMode = record.AssociationMode;
    info->use8021X = record.Use8021X;
    info->keySource = record.KeySource;
    info->cipher = record.Cipher;
    std::memcpy(info->stationAddress, record.StationAddress, 6);
    std::memcpy(info->bssid, record.Bssid, 6);
    if (form == StringForm::Narrow) {
      if (const char* text = record.Passphrase.A)
        CopyBlock(info->passphrase, reinterpret_cast<const std::uint8_t*>(text),
                  static_cast<std::uint32_t>(std::strlen(text)));
    } else if (record.Passphrase.W != nullptr) {
      const Utf8FromWide text(record.Passphrase.W);
      CopyBlock(info->passphrase, reinterpret_cast<const std::uint8_t*>(text.Get()), text.Length());
    }
    CopyBlock(info->ssid, record.Ssid, std::min(record.SsidLength, kMaxSsidLength));
    CopyBlock(info->supplicantIe, record.SupplicantIe, record.SupplicantIeLength);
    CopyBlock(info->authenticatorIe, record.AuthenticatorIe, record.AuthenticatorIeLength);
    CopyBlock(info->associationResponseIe, record.AssociationResponseIe,
              record.AssociationResponseIeLength);
  } catch (...) {
    info->Release();
    throw;
  }
  return info;
}
