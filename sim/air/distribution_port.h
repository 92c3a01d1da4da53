#pragma once
// The access point's distribution port: data frames its associated stations send toward
// the distribution system come out here as 802.3 frames (decrypted, SNAP stripped,
// fragments joined), frames between two of its stations are bridged on the air, and 802.3
// frames written into the port go to the station they name, protected with the station's
// key. EAPOL frames go to the key exchange (setEapolHandler) instead of the wired side.
// Tests read and write the port as the wired side of the network would.
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>

#include "sim/air/access_point.h"
#include "sim/air/frame_keys.h"
#include "sim/air/power_save_buffer.h"

namespace simair {

struct EthernetFrame {
  MacAddress destination{};
  MacAddress source{};
  std::uint16_t typeOrLength = 0;  // an EtherType, or the length of an LLC frame (1500 or less)
  dot11::Bytes payload;            // after the 14-byte header
};

inline constexpr std::uint16_t kEapolType = 0x888E;

class DistributionPort {
public:
  using EapolHandler = std::function<void(const MacAddress& station, std::span<const std::uint8_t> eapol)>;

  // Adds a frame hook, a station watcher and the data protector to the access point; the
  // destructor takes them away.
  explicit DistributionPort(AccessPoint& ap);
  ~DistributionPort();
  DistributionPort(const DistributionPort&) = delete;
  DistributionPort& operator=(const DistributionPort&) = delete;

  // The next frame a station sent to the distribution system, or nothing.
  std::optional<EthernetFrame> take();
  std::size_t waiting() const { return outbound_.size(); }
  // A frame from the distribution system to one of the access point's stations.
  AccessPoint::DataOutcome deliver(const EthernetFrame& frame);
  // Frames not taken: malformed, undecryptable, in the clear where keys are in force, or
  // fragments that did not join.
  std::uint64_t refused() const { return refused_; }
  // Frames for the wired side dropped because kMaxWaiting were not taken yet.
  std::uint64_t overflowed() const { return overflowed_; }
  static constexpr std::size_t kMaxWaiting = 1024;

  // EAPOL frames (from the 802.1X header on) from stations; without a handler they are
  // dropped. sendEapol sends one to a station (in the clear until it has a pairwise key).
  void setEapolHandler(EapolHandler handler) { eapolHandler_ = std::move(handler); }
  AccessPoint::DataOutcome sendEapol(const MacAddress& station, std::span<const std::uint8_t> eapol);

  // While a station's pairwise key is being replaced (psk_key_exchange.h), data frames for it
  // wait; EAPOL frames still go. Released, they go out in their order under the key then in
  // force; beyond kMaxHeld frames a new one is dropped (counted in heldDropped). A station
  // that leaves leaves nothing waiting.
  void holdData(const MacAddress& station);
  void releaseData(const MacAddress& station);
  bool holdsData(const MacAddress& station) const { return held_.contains(station); }
  std::size_t held(const MacAddress& station) const;
  std::uint64_t heldDropped() const { return heldDropped_; }
  static constexpr std::size_t kMaxHeld = 64;

  FrameKeys& keys() { return keys_; }
  const FrameKeys& keys() const { return keys_; }

private:
  struct Partial {
    std::uint16_t sequence = 0;
    std::uint8_t nextFragment = 0;
    DataCipher cipher = DataCipher::None;
    std::uint32_t keyGeneration = 0;
    std::uint8_t priority = 0;
    dot11::Bytes body;
  };
  bool onFrame(const AirFrame& frame);
  void mpdu(const MacAddress& from, const MacAddress& destination, std::span<const std::uint8_t> frame,
            std::size_t headerLength, DataCipher cipher, std::uint32_t keyGeneration);
  void msdu(const MacAddress& from, const MacAddress& to, Partial joined);
  std::optional<dot11::Bytes> protect(const MacAddress& station, dot11::Bytes frame);
  // A data frame (not EAPOL) for one of the access point's stations: sent, or held.
  AccessPoint::DataOutcome toStation(const MacAddress& station, const MacAddress& source, dot11::Bytes body);
  bool protectedNetwork() const { return ap_.config().security != Security::Open; }

  AccessPoint& ap_;
  FrameKeys keys_;
  AccessPoint::HookId hook_;
  AccessPoint::HookId watcher_;
  EapolHandler eapolHandler_;
  std::deque<EthernetFrame> outbound_;
  std::map<MacAddress, Partial> partial_;
  std::map<MacAddress, std::deque<BufferedFrame>> held_;
  std::uint64_t refused_ = 0;
  std::uint64_t overflowed_ = 0;
  std::uint64_t heldDropped_ = 0;
};

// The frame body for an 802.3 frame: RFC 1042 (bridge tunnel for 0x80F3 and 0x8137) SNAP
// and the payload, or the payload alone for a length frame.
dot11::Bytes EncapsulateBody(const EthernetFrame& frame);

}  // namespace simair
