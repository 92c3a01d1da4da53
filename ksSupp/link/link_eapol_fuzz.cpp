// EAPOL frames from the air into a synchronous link, in each association mode, and into
// the legacy key descriptor's reader. The first byte picks the target: 0 to 3 a link with
// no key management, dynamic WEP, WPA or RSN (personal, 64-digit PSK), each port-up before
// the frames; 4 the legacy descriptor under fixed session keys. The rest is one frame, or
// several separated by a two-byte length prefix each.
#include <ksstk.h>

#include <algorithm>
#include <cstring>

#include "ksSupp/api_context.h"
#include "ksSupp/fake_cert_library.h"
#include "ksSupp/link/legacy_key_descriptor.h"

namespace {

const uint8_t kRsnElement[] = {0x30, 0x14, 0x01, 0x00, 0x00, 0x0F, 0xAC, 0x04, 0x01, 0x00, 0x00,
                               0x0F, 0xAC, 0x04, 0x01, 0x00, 0x00, 0x0F, 0xAC, 0x02, 0x00, 0x00};
const uint8_t kWpaElement[] = {0xDD, 0x16, 0x00, 0x50, 0xF2, 0x01, 0x01, 0x00, 0x00, 0x50, 0xF2, 0x02,
                               0x01, 0x00, 0x00, 0x50, 0xF2, 0x02, 0x01, 0x00, 0x00, 0x50, 0xF2, 0x02};
const char kHexPsk[] = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";

uint32_t KSSTK_CALL Quiet(uintptr_t, KSSTK_CALLBACK_MESSAGE*) { return 0; }

KSSTK_LINK MakeLink(uint32_t associationMode, uint32_t use8021X, const uint8_t* element, uint32_t length) {
  static fake_cert::Utility utility;
  static ApiContext* context = [] {
    utility.AddRef();
    return ApiContext::Create(&utility);
  }();
  KSSTK_LINK link = nullptr;
  KSSTK_CONTEXT_CreateLinkSynchronousA(context, &link);
  KSSTK_LINK_SetCallbackA(link, Quiet, 0);
  KSSTK_LINK_Initialize(link);
  KSSTK_NETWORK_INFO info{};
  info.Length = sizeof info;
  info.NetworkType = KSSTK_NETWORK_INFRASTRUCTURE;
  info.AssociationMode = associationMode;
  info.Use8021X = use8021X;
  info.KeySource = use8021X ? KSSTK_KEY_SOURCE_EAP : KSSTK_KEY_SOURCE_PASSPHRASE;
  info.Cipher = KSSTK_CIPHER_CCMP;
  info.Bssid[5] = 1;
  info.StationAddress[5] = 2;
  info.Passphrase.A = kHexPsk;
  info.Ssid = reinterpret_cast<const uint8_t*>("fuzz");
  info.SsidLength = 4;
  info.SupplicantIe = element;
  info.SupplicantIeLength = length;
  info.AuthenticatorIe = element;
  info.AuthenticatorIeLength = length;
  KSSTK_LINK_SetNetworkInfoA(link, &info);
  return link;
}

KSSTK_LINK LinkFor(uint8_t which) {
  static KSSTK_LINK links[4] = {
      MakeLink(0, 1, nullptr, 0),
      MakeLink(KSSTK_ASSOCIATION_8021X, 1, nullptr, 0),
      MakeLink(KSSTK_ASSOCIATION_WPA, 0, kWpaElement, sizeof kWpaElement),
      MakeLink(KSSTK_ASSOCIATION_RSN, 0, kRsnElement, sizeof kRsnElement),
  };
  return links[which];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t which = data[0] % 5;
  ++data, --size;
  if (which == 4) {
    dcfByteArray encryption, signature;
    const uint8_t key[32] = {1, 2, 3};
    encryption.Assign(key, 32);
    signature.Assign(key, 16);
    LegacyKey out;
    ReadLegacyKeyDescriptor(data, static_cast<uint32_t>(size), encryption, signature, out);
    return 0;
  }
  KSSTK_LINK link = LinkFor(which);
  KSSTK_LINK_PortUp(link);
  // Frames after a 0xFF 0xFF marker are separate: 2-byte length, then the frame.
  if (size >= 2 && data[0] == 0xFF && data[1] == 0xFF) {
    data += 2, size -= 2;
    while (size >= 2) {
      const size_t length = std::min<size_t>(size - 2, static_cast<size_t>(data[0] << 8 | data[1]));
      KSSTK_LINK_ReceiveEapol(link, data + 2, static_cast<uint32_t>(length));
      data += 2 + length, size -= 2 + length;
    }
  } else {
    KSSTK_LINK_ReceiveEapol(link, data, static_cast<uint32_t>(size));
  }
  uint32_t wait = 0;
  KSSTK_LINK_Process(link, &wait);
  return 0;
}
