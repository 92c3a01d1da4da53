#pragma once
// Test support: a host of one synchronous link, reached only through the KSSTK_* functions.
// It records every message the link sends (the bytes as they were when the callback
// returned, and the EAPOL frames and keys they carried), answers through an optional hook,
// and carries the link's frames to a peer.
#include <gtest/gtest.h>
#include <ksstk.h>

#include <array>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "ksSupp/api_context.h"
#include "ksSupp/fake_cert_library.h"

namespace link_test {

using Bytes = std::vector<std::uint8_t>;

struct Seen {
  std::uint32_t code;
  Bytes bytes;  // the message record
  Bytes frame;  // code 8 / 25: the EAPOL frame
  template <class Record>
  const Record& As() const {
    return *reinterpret_cast<const Record*>(bytes.data());
  }
};

struct InstalledKey {
  std::uint32_t code;  // 5 WEP, 6 WPA
  std::uint32_t suite;
  std::uint32_t index;
  Bytes key;
};

class LinkHost {
 public:
  // A context over a fake certificate library (or, with realCertificates, the current
  // user's stores) and a synchronous link of the given form, with this host as its
  // callback; the link is initialized unless asked not to.
  explicit LinkHost(bool wide = false, bool initialize = true, bool realCertificates = false) {
    if (realCertificates) {
      KSSTK_CONTEXT context = nullptr;
      EXPECT_EQ(KSSTK_CreateContext(&context), 0);
      context_ = static_cast<ApiContext*>(static_cast<RefCounted*>(context));
    } else {
      utility_.AddRef();
      context_ = ApiContext::Create(&utility_);
    }
    EXPECT_EQ(wide ? KSSTK_CONTEXT_CreateLinkSynchronousW(context_, &link)
                   : KSSTK_CONTEXT_CreateLinkSynchronousA(context_, &link),
              0);
    EXPECT_EQ(KSSTK_LINK_SetCallbackA(link, &LinkHost::Callback, reinterpret_cast<uintptr_t>(this)), 0);
    if (initialize) {
      EXPECT_EQ(KSSTK_LINK_Initialize(link), 0);
    }
  }
  ~LinkHost() {
    if (link != nullptr) KSSTK_Release(link);
    context_->Release();
  }
  LinkHost(const LinkHost&) = delete;
  LinkHost& operator=(const LinkHost&) = delete;

  static uint32_t KSSTK_CALL Callback(uintptr_t user, KSSTK_CALLBACK_MESSAGE* message) {
    auto* host = reinterpret_cast<LinkHost*>(user);
    if (host->answer) host->answer(message);
    const auto* raw = reinterpret_cast<const std::uint8_t*>(message);
    Seen seen{message->Code, Bytes(raw, raw + message->Size), {}};
    if (message->Code == KSSTK_MSG_SEND_EAPOL || message->Code == KSSTK_MSG_SEND_PREAUTH_EAPOL) {
      const auto& send = *reinterpret_cast<const KSSTK_SEND_EAPOL_MESSAGE*>(message);
      seen.frame.assign(send.Frame, send.Frame + send.FrameLength);
      host->frames.push_back(seen.frame);
    } else if (message->Code == KSSTK_MSG_ADD_KEY) {
      const auto& add = *reinterpret_cast<const KSSTK_ADD_KEY_MESSAGE*>(message);
      host->keys.push_back({message->Code, add.CipherSuite, add.Key.KeyIndex,
                            Bytes(add.KeyMaterial, add.KeyMaterial + add.Key.KeyLength)});
    } else if (message->Code == KSSTK_MSG_SET_WEP_KEY) {
      const auto& wep = *reinterpret_cast<const KSSTK_SET_WEP_KEY_MESSAGE*>(message);
      host->keys.push_back({message->Code, 0, wep.Wep.KeyIndex,
                            Bytes(wep.KeyMaterial, wep.KeyMaterial + wep.Wep.KeyLength)});
    }
    host->seen.push_back(std::move(seen));
    return 0;
  }

  // The codes seen since the last Clear.
  std::vector<std::uint32_t> Codes() const {
    std::vector<std::uint32_t> codes;
    for (const Seen& s : seen) codes.push_back(s.code);
    return codes;
  }
  // Each message as "code" or "code:value" for status (1), reports (2: PAE state) and
  // failures (16: reason, 9: reason).
  std::vector<std::string> Trail() const {
    std::vector<std::string> trail;
    for (const Seen& s : seen) {
      std::string entry = std::to_string(s.code);
      if (s.code == KSSTK_MSG_LINK_STATUS)
        entry += ":" + std::to_string(s.As<KSSTK_LINK_STATUS_MESSAGE>().Status);
      else if (s.code == KSSTK_MSG_AUTH_REPORT)
        entry += ":" + std::to_string(s.As<KSSTK_AUTH_REPORT_MESSAGE>().PaeState);
      else if (s.code == KSSTK_MSG_LINK_FAILURE)
        entry += ":" + std::to_string(s.As<KSSTK_LINK_FAILURE_MESSAGE>().Reason);
      else if (s.code == KSSTK_MSG_AUTH_FAILED_NAS)
        entry += ":" + std::to_string(s.As<KSSTK_AUTH_FAILED_NAS_MESSAGE>().Reason);
      trail.push_back(entry);
    }
    return trail;
  }
  void Clear() {
    seen.clear();
    frames.clear();
    keys.clear();
  }
  std::uint32_t LastStatus() const {
    for (auto it = seen.rbegin(); it != seen.rend(); ++it)
      if (it->code == KSSTK_MSG_LINK_STATUS) return it->As<KSSTK_LINK_STATUS_MESSAGE>().Status;
    return 0;
  }
  void Deliver(const Bytes& frame) {
    EXPECT_EQ(KSSTK_LINK_ReceiveEapol(link, frame.data(), static_cast<uint32_t>(frame.size())), 0);
  }
  std::uint32_t Process() {
    std::uint32_t wait = 0;
    EXPECT_EQ(KSSTK_LINK_Process(link, &wait), 0);
    return wait;
  }

  KSSTK_CONTEXT context() const { return context_; }

  KSSTK_LINK link = nullptr;
  std::vector<Seen> seen;
  std::vector<Bytes> frames;
  std::vector<InstalledKey> keys;
  std::function<void(KSSTK_CALLBACK_MESSAGE*)> answer;

 private:
  fake_cert::Utility utility_;
  ApiContext* context_ = nullptr;
};

// A network record whose pointers stay valid as long as this object.
struct Network {
  std::uint32_t networkType = KSSTK_NETWORK_INFRASTRUCTURE;
  std::uint32_t associationMode = KSSTK_ASSOCIATION_RSN;
  std::uint32_t use8021X = 0;
  std::uint32_t keySource = KSSTK_KEY_SOURCE_PASSPHRASE;
  std::uint32_t cipher = KSSTK_CIPHER_CCMP;
  std::array<std::uint8_t, 6> station{};
  std::array<std::uint8_t, 6> bssid{};
  std::string passphrase;
  bool noPassphrase = false;
  std::string ssid;
  Bytes supplicantIe, authenticatorIe, associationResponseIe;

  KSSTK_NETWORK_INFO Record() const {
    KSSTK_NETWORK_INFO r{};
    r.Length = sizeof r;
    r.NetworkType = networkType;
    r.AssociationMode = associationMode;
    r.Use8021X = use8021X;
    r.KeySource = keySource;
    r.Cipher = cipher;
    std::memcpy(r.StationAddress, station.data(), 6);
    std::memcpy(r.Bssid, bssid.data(), 6);
    r.Passphrase.A = noPassphrase ? nullptr : passphrase.c_str();
    r.Ssid = reinterpret_cast<const std::uint8_t*>(ssid.data());
    r.SsidLength = static_cast<std::uint32_t>(ssid.size());
    r.SupplicantIe = supplicantIe.data();
    r.SupplicantIeLength = static_cast<std::uint32_t>(supplicantIe.size());
    r.AuthenticatorIe = authenticatorIe.data();
    r.AuthenticatorIeLength = static_cast<std::uint32_t>(authenticatorIe.size());
    r.AssociationResponseIe = associationResponseIe.data();
    r.AssociationResponseIeLength = static_cast<std::uint32_t>(associationResponseIe.size());
    return r;
  }
  void SetOn(KSSTK_LINK link) const {
    const KSSTK_NETWORK_INFO r = Record();
    EXPECT_EQ(KSSTK_LINK_SetNetworkInfoA(link, &r), 0);
  }
};

}  // namespace link_test
