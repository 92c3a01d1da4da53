#pragma once
// The access point's side of the WPA/WPA2-PSK 4-way and group-key handshakes (IEEE 802.11i),
// for one station. It speaks EAPOL-Key frames (from the 802.1X header on) and keeps no time:
// whoever drives it decides when a message is retransmitted. On request it breaks the
// protocol in one of several ways, so tests can play an attacker against a supplicant.
#include "sim/air/authenticator_crypto.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace air {

using MacAddress = std::array<uint8_t, 6>;

// Suite types, the last byte of a cipher suite selector.
enum class Cipher : uint8_t { Wep40 = 1, Tkip = 2, Ccmp = 4, Wep104 = 5 };

enum class KeyProtocol { Wpa, Rsn };

// Each misbehaviour applies to the next frame it concerns and is then forgotten.
enum class Misbehaviour {
  None,
  DropMessage4,            // the next message 4 is ignored as if it was lost
  ChangeANonce,            // message 3 carries another ANonce than message 1
  BadMic,                  // the next frame with a MIC has one MIC bit flipped
  ModifiedElement,         // message 3 carries an element other than the beacon's
  OversizedKeyDataLength,  // Key Data Length claims more bytes than the frame holds
  ZeroLengthGtk,           // the GTK KDE carries no key bytes (WPA: Key Length 0, no key)
  UnencryptedGtk,          // the GTK travels in the clear (RSN: Encrypted Key Data clear)
  StaleReplayCounter,      // the next frame reuses the previous replay counter
};

struct AuthenticatorConfig {
  KeyProtocol protocol = KeyProtocol::Rsn;
  MacAddress authenticatorAddress{};
  MacAddress supplicantAddress{};
  Bytes pmk;  // 32 bytes, e.g. PskFromPassphrase
  Cipher pairwise = Cipher::Ccmp;
  Cipher group = Cipher::Ccmp;
  // The element of the beacon; BuildElement(protocol, pairwise, group) when empty.
  Bytes authenticatorElement;
  // The element of the station's association request; message 2 must carry it (when set).
  Bytes supplicantElement;
  uint8_t eapolVersion = 2;
  uint8_t groupKeyIndex = 1;
  bool groupKeyTransmit = false;  // the transmit bit of the GTK KDE (RSN), Install (WPA)
  std::array<uint8_t, 8> groupRsc{};
  std::array<uint8_t, 8> pairwiseRsc{};  // Key RSC of a WPA message 3
  bool pmkidInMessage1 = false;  // RSN: message 1 names the PMKSA in a PMKID KDE
  // CCKM: the PTK of the first handshake comes from a base key (message 2 is signed with
  // its KRK), and later reassociations bring fresh keys in CCKM elements.
  bool cckm = false;
  uint64_t firstReplayCounter = 1;
};

// AKM suite types, the last byte of an AKM suite selector.
enum class Akm : uint8_t { Ieee8021X = 1, Psk = 2, Cckm = 0 };  // CCKM: 00-40-96-00

// The element a station and an access point of that configuration announce.
Bytes BuildElement(KeyProtocol protocol, Cipher pairwise, Cipher group, Akm akm = Akm::Psk);

// Key lengths of the ciphers (TK for pairwise use, GTK for group use).
size_t KeyLengthOf(Cipher cipher);

class PskAuthenticator {
 public:
  explicit PskAuthenticator(AuthenticatorConfig config);
  ~PskAuthenticator();
  PskAuthenticator(const PskAuthenticator&) = delete;
  PskAuthenticator& operator=(const PskAuthenticator&) = delete;

  void Misbehave(Misbehaviour misbehaviour) { misbehaviour_ = misbehaviour; }

  // Message 1 of a new 4-way handshake (fresh ANonce; a GTK is drawn when none exists).
  Bytes StartHandshake();
  // Group message 1 with a new GTK (index toggled between 1 and 2), or the current one again.
  Bytes StartGroupRekey(bool newKey = true);
  // The last message sent again with the next replay counter, as a retransmission timer would.
  Bytes Retransmit();
  // CCKM fast roaming: the station reassociates to `bssid` (an access point sharing this
  // one's base key, group key and configuration) with the request element of its
  // reassociation request. The response element of the reassociation response, or nothing
  // when the request does not check out (LastError says why). BadMic, StaleReplayCounter
  // (the previous RN) and ZeroLengthGtk apply to the response.
  std::optional<Bytes> CckmReassociate(const Bytes& request, const MacAddress& bssid);

  // A frame from the station; the answer (message 3) when there is one. Refused frames
  // leave the state as it was and say why in LastError().
  std::optional<Bytes> Receive(const uint8_t* frame, size_t length);
  std::optional<Bytes> Receive(const Bytes& frame) { return Receive(frame.data(), frame.size()); }

  bool PairwiseComplete() const { return pairwiseComplete_; }
  bool GroupComplete() const { return groupComplete_; }
  const Bytes& Ptk() const { return ptk_; }
  Bytes TemporalKey() const;
  const Bytes& Gtk() const { return gtk_; }
  uint8_t GtkIndex() const { return gtkIndex_; }
  const Bytes& ANonce() const { return anonce_; }
  const Bytes& SNonce() const { return snonce_; }
  uint64_t ReplayCounter() const { return replayCounter_; }
  const std::string& LastError() const { return lastError_; }
  // Key Information of every EAPOL-Key request with a valid MIC, in order of arrival.
  const std::vector<uint16_t>& Requests() const { return requests_; }
  const AuthenticatorConfig& Config() const { return config_; }

 private:
  enum class Sent { Nothing, Message1, Message3, GroupMessage1 };

  int DescriptorVersion() const;
  uint8_t DescriptorType() const;
  uint64_t NextReplayCounter();
  bool TakeMisbehaviour(Misbehaviour m);
  void NewGtk();
  Bytes BuildMessage1();
  Bytes BuildMessage3();
  Bytes BuildGroupMessage1();
  Bytes BuildFrame(uint16_t keyInfo, uint16_t keyLength, const Bytes& nonce, const Bytes& iv,
                   const std::array<uint8_t, 8>& rsc, const Bytes& keyData);
  Bytes GtkKde() const;
  Bytes EncryptKeyData(Bytes plain, Bytes& ivOut);
  bool Refuse(std::string why);
  std::nullopt_t Drop(std::string why);
  bool ReceiveMessage2(const uint8_t* frame, size_t length);
  bool ReceiveMessage4(const uint8_t* frame, size_t length);
  bool ReceiveGroupMessage2(const uint8_t* frame, size_t length);
  bool CheckMic(const uint8_t* frame, size_t length, const Bytes& ptk) const;

  AuthenticatorConfig config_;
  Misbehaviour misbehaviour_ = Misbehaviour::None;
  Sent sent_ = Sent::Nothing;
  uint64_t replayCounter_;      // counter of the last frame sent
  uint64_t keyIvCounter_ = 1;   // EAPOL-Key IV of RC4-encrypted Key Data
  Bytes anonce_, snonce_;
  Bytes ptk_;                   // PTK of the running handshake (from message 2)
  Bytes btk_;                   // CCKM base key: KRK (16) | BTK (32)
  uint32_t cckmRn_ = 0;         // RN of the PTK in force
  Bytes gtk_;
  uint8_t gtkIndex_ = 0;
  bool pairwiseComplete_ = false;
  bool groupComplete_ = false;
  std::string lastError_;
  std::vector<uint16_t> requests_;
};

}  // namespace air
