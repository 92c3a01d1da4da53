#pragma once
// The access point's keys for data frames and what it keeps per key: the WEP keys of the
// configuration, each station's pairwise key (TKIP or CCMP, from the 4-way handshake) with
// its transmit counter and the last counter received, and the group key. It seals whole
// frames on their way to a station and opens protected MPDUs from one; the ciphers are
// OpenSSL's (wep_protection.h, tkip_protection.h, ccmp_protection.h); a WEP network with CKIP
// flags runs its WEP keys through CKIP (ckip_protection.h).
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <vector>

#include "sim/air/frame_protection.h"
#include "sim/air/ieee80211.h"
#include "sim/air/secret.h"

namespace simair {

enum class DataCipher : std::uint8_t { None, Wep, Tkip, Ccmp };
// Which TKIP Michael key protects what is sent: the authenticator's (the access point) or
// the supplicant's (a test's station, which keeps its keys in a FrameKeys of its own).
enum class KeyRole : std::uint8_t { Authenticator, Supplicant };

struct FrameKeysCounters {
  std::uint64_t sealed = 0;
  std::uint64_t opened = 0;
  std::uint64_t noKey = 0;             // protected frame from a station without a key, or a key id not set
  std::uint64_t malformed = 0;         // too short, no Extended IV
  std::uint64_t replays = 0;
  std::uint64_t integrityFailures = 0;  // ICV or CCMP MIC
  std::uint64_t michaelFailures = 0;    // TKIP: the MSDU's Michael
  std::uint64_t cmicFailures = 0;       // CKIP: the MSDU's CMIC (or a CKIP header cut short)
};

class FrameKeys {
public:
  FrameKeys(const std::vector<Secret>& wepKeys, std::uint8_t wepTransmitIndex, KeyRole role = KeyRole::Authenticator);
  ~FrameKeys();
  FrameKeys(const FrameKeys&) = delete;
  FrameKeys& operator=(const FrameKeys&) = delete;

  // CKIP on the WEP keys (kCkipKeyPermutation, kCkipCmic; 0: plain WEP). Both directions use
  // the WEP transmit key's CKIP key for the CMIC, as the station uses its transmit key's.
  void useCkip(std::uint8_t flags) { ckipFlags_ = flags; }

  // TKIP: 32 bytes (TK, then the Michael keys toward the station and from it); CCMP: 16.
  // A new key starts both counters afresh (a rekey). A CCMP key that replaces another still
  // opens what the station sealed under the old one until the first frame under the new one
  // arrives: the station sends message 4 under the old key and installs the new one only
  // after it, so frames it queued in between come after message 4 under the old key.
  void setPairwise(const MacAddress& station, DataCipher cipher, std::span<const std::uint8_t> key);
  void forget(const MacAddress& station);
  // True when frames with this station travel protected (a pairwise key, or WEP).
  bool protects(const MacAddress& station) const;
  // A number that changes with every key the station's frames are opened under.
  std::uint32_t keyGeneration(const MacAddress& station) const;

  // A fault for tests: the next TKIP MSDU sealed for the station carries a Michael MIC with
  // one bit flipped. False when the station has no TKIP key.
  bool spoilNextMichael(const MacAddress& station);

  // The frame (data header and body) protected for the station (the peer); nothing without
  // a key. TKIP appends Michael over the MSDU first.
  std::optional<dot11::Bytes> seal(const MacAddress& station, dot11::Bytes frame);

  struct Opened {
    dot11::Bytes frame;  // the MAC header (Protected cleared) and the data
    DataCipher cipher = DataCipher::None;
    std::uint32_t keyGeneration = 0;
  };
  // One protected MPDU from the station, decrypted; nothing when refused (counted, with
  // `why`). TKIP's Michael stays on the data until finishMsdu.
  std::optional<Opened> open(const MacAddress& station, std::span<const std::uint8_t> frame, Refusal& why);
  // TKIP: checks and strips the Michael of the reassembled MSDU and then commits the TSC
  // of its last fragment; CKIP: checks the CMIC of an MSDU in CKIP form and gives it back
  // with RFC 1042 SNAP. False (counted) when it does not verify. Other ciphers: true.
  bool finishMsdu(const MacAddress& station, DataCipher cipher, const MacAddress& destination,
                  const MacAddress& source, std::uint8_t priority, dot11::Bytes& msdu);

  const FrameKeysCounters& counters() const { return counters_; }

private:
  struct Pairwise {
    DataCipher cipher = DataCipher::None;
    dot11::Bytes key;
    std::uint64_t transmitCounter = 0;
    std::optional<std::uint64_t> lastReceived;  // committed
    std::optional<std::uint64_t> pendingTkip;   // TSC of the MSDU in progress (TKIP)
    std::uint32_t generation = 0;
    bool spoilMichael = false;  // spoilNextMichael
  };
  // The CCMP key a rekey replaced, for frames still on their way under it.
  struct PreviousCcmp {
    dot11::Bytes key;
    std::optional<std::uint64_t> lastReceived;
    std::uint32_t generation = 0;
  };

  dot11::Bytes sealStatic(std::span<const std::uint8_t> header, std::span<const std::uint8_t> plain);
  std::optional<dot11::Bytes> openStatic(std::span<const std::uint8_t> header, std::span<const std::uint8_t> key,
                                         std::span<const std::uint8_t> body) const;
  bool finishCkip(const MacAddress& destination, const MacAddress& source, dot11::Bytes& msdu);
  void forgetPreviousCcmp(const MacAddress& station);

  std::size_t transmitMichaelOffset() const { return role_ == KeyRole::Authenticator ? 16 : 24; }
  std::size_t receiveMichaelOffset() const { return role_ == KeyRole::Authenticator ? 24 : 16; }

  KeyRole role_;
  std::vector<dot11::Bytes> wepKeys_;
  std::uint8_t wepTransmitIndex_;
  std::uint32_t wepIv_ = 0;
  std::uint8_t ckipFlags_ = 0;
  std::uint32_t ckipSequence_ = 0;  // SEQ of the next CKIP header sent: 0, 2, 4, ...
  std::uint32_t nextGeneration_ = 1;
  std::map<MacAddress, Pairwise> pairwise_;
  std::map<MacAddress, PreviousCcmp> previousCcmp_;
  FrameKeysCounters counters_;
};

}  // namespace simair
