#pragma once
// A simulated access point (or, with `independent`, a station of an IBSS), written from
// IEEE 802.11: it beacons at its beacon interval, answers probe requests, answers
// open-system authentication and association, and keeps frames for stations in power save,
// announcing them in the TIM. Security shows in the beacon (privacy bit, RSN and WPA
// elements); the data plane (distribution_port.h, frame_keys.h) and the key handshakes
// (psk_key_exchange.h) attach through the frame hooks, the station watchers and the data
// protector.
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/ndis/scheduler.h"
#include "sim/air/ieee80211.h"
#include "sim/air/power_save_buffer.h"
#include "sim/air/radio.h"
#include "sim/air/secret.h"

namespace simair {

enum class Security : std::uint8_t { Open, Wep, Wpa, Wpa2, WpaWpa2, Wpa2Enterprise, WpaEnterprise };
// The world file's names: "open", "wep", "wpa-psk", "wpa2-psk", "wpa-wpa2-psk",
// "wpa2-enterprise", "wpa-enterprise".
const char* SecurityName(Security security);
// 802.1X through the RADIUS server (wpa2-enterprise, wpa-enterprise).
bool IsEnterprise(Security security);

// Rates in 500 kbit/s units; 0x80 marks a basic rate.
inline const std::vector<std::uint8_t> kDefaultRates{0x82, 0x84, 0x8B, 0x96, 0x0C, 0x12,
                                                     0x18, 0x24, 0x30, 0x48, 0x60, 0x6C};

// How an access point answers stations that join (tests and world files turn the knobs).
struct JoinKnobs {
  bool sharedKey = false;        // shared-key authentication with the WEP keys, beside open system
  bool sharedKeyOnly = false;    // open system refused (status 13)
  std::uint16_t authenticationStatus = 0;  // non-zero: the answer to every authentication
  std::uint16_t associationStatus = 0;     // non-zero: the answer to every (re)association
  bool silentAuthentication = false;       // authentication frames go unanswered
  bool silentAssociation = false;          // association requests go unanswered
};

// The RADIUS server a WPA2-Enterprise access point relays 802.1X to.
struct RadiusServer {
  std::string address = "127.0.0.1";  // IPv4
  std::uint16_t port = 1812;
  Secret secret;
};

struct AccessPointConfig {
  MacAddress bssid{};
  std::string ssid;                    // 0..32 bytes
  bool hiddenSsid = false;             // beacons carry an empty SSID; only directed probes are answered
  std::uint8_t channel = 1;
  std::uint16_t beaconIntervalTu = 100;  // 1 TU = 1024 us
  std::uint8_t dtimPeriod = 1;
  std::vector<std::uint8_t> rates = kDefaultRates;
  Security security = Security::Open;
  Secret passphrase;                   // WPA/WPA2-PSK: the key exchange's PMK comes from it
  std::vector<Secret> wepKeys;         // WEP: up to 4 keys of 5 or 13 bytes
  std::uint8_t wepKeyIndex = 0;        // 0..3
  std::uint8_t ckipFlags = 0;          // WEP through CKIP: 0x10 key permutation, 0x08 CMIC (as its Aironet element says)
  RadiusServer radius;                 // WPA2-Enterprise and WPA-Enterprise
  bool cckm = false;                   // WPA-Enterprise: the CCKM AKM (00-40-96-00) offered beside 802.1X
  std::vector<dot11::Bytes> vendorElements;  // bodies of vendor elements, OUI first
  std::vector<dot11::Bytes> extraElements;   // whole elements (ID, length, body), after the vendor ones
  int transmitPowerDbm = 15;
  bool independent = false;            // an IBSS peer: IBSS capability and parameter set, no TIM, no association
  JoinKnobs join;
  // WPA (TKIP): once a station's keys are in force, the key exchange sends it one data frame
  // whose Michael MIC is wrong, so that its MIC-failure report can be seen.
  bool badMichael = false;
  // WPA and WPA2: how often the key exchange hands every keyed station a new group key, and
  // how long each station keeps its pairwise key before a new 4-way handshake (zero: never).
  ndis::Micros groupRekeyInterval{0};
  ndis::Micros pairwiseRekeyInterval{0};
};

struct AccessPointCounters {
  std::uint64_t beacons = 0;
  std::uint64_t probeResponses = 0;
  std::uint64_t authentications = 0;
  std::uint64_t associations = 0;
  std::uint64_t dataSent = 0;
  std::uint64_t dataBuffered = 0;
  std::uint64_t dataDropped = 0;   // to a station not associated, or its buffer full
  std::uint64_t dataUnprotected = 0;  // dropped by the data protector (no key for the station)
};

class AccessPoint final : public Radio {
public:
  // Sees every frame the access point receives before it does; true means "taken, do
  // nothing more" (the SwiftBond peer, a test's own answers).
  using FrameHook = std::function<bool(const AirFrame&, const Reception&)>;
  using HookId = std::uint64_t;
  enum class DataOutcome : std::uint8_t { Sent, Buffered, Dropped };
  enum class StationEvent : std::uint8_t { Associated, Left };
  // A station associated (with the elements of its request) or left (disassociated,
  // deauthenticated, forgotten).
  using StationWatcher =
      std::function<void(const MacAddress& station, StationEvent event, std::span<const std::uint8_t> elements)>;
  // Protects a whole data frame on its way to a station (the frame as it goes on the air),
  // or drops it (nothing).
  using DataProtector = std::function<std::optional<dot11::Bytes>(const MacAddress& station, dot11::Bytes frame)>;
  // Whole elements for the response to a reassociation the access point accepts, from the
  // elements of the request (none: nothing added).
  using ReassociationElements =
      std::function<dot11::Bytes(const MacAddress& station, std::span<const std::uint8_t> requestElements)>;

  AccessPoint(ndis::Scheduler& scheduler, Air& air, AccessPointConfig config);
  ~AccessPoint() override;
  AccessPoint(const AccessPoint&) = delete;
  AccessPoint& operator=(const AccessPoint&) = delete;

  // Joins the air and beacons at every target beacon transmission time (multiples of the
  // interval on the scheduler's clock); stop() leaves the air.
  void start();
  void stop();
  // The radio off: no beacons, hears nothing; on again: beacons resume.
  void setRadioOn(bool on);
  // New settings on the same BSSID and channel, as an access point takes them after a setup
  // exchange: every station is let go (watchers hear it leave) and joins afresh; the next
  // beacon carries them. Other BSSIDs or channels are refused (std::invalid_argument).
  void reconfigure(AccessPointConfig config);
  bool started() const { return started_; }

  // Radio
  MacAddress address() const override { return config_.bssid; }
  std::uint8_t channel() const override { return config_.channel; }
  bool radioOn() const override { return started_ && on_; }
  int transmitPowerDbm() const override { return config_.transmitPowerDbm; }
  void receive(const AirFrame& frame, const Reception& reception) override;

  // Hooks run in the order they were added; the first that takes a frame ends it. Whoever
  // adds one removes it before going away.
  HookId addFrameHook(FrameHook hook);
  void removeFrameHook(HookId id);
  HookId addStationWatcher(StationWatcher watcher);
  void removeStationWatcher(HookId id);
  // One protector at most; an empty function sends data frames as they are.
  void setDataProtector(DataProtector protector) { protector_ = std::move(protector); }
  // One source at most (CCKM's response element); an empty function adds nothing.
  void setReassociationElements(ReassociationElements elements) { reassociationElements_ = std::move(elements); }
  // Associations are refused (status 1) until the scheduler's clock reaches `until`
  // (TKIP countermeasures).
  void refuseAssociationsUntil(ndis::Micros until) { refuseAssociationsUntil_ = until; }
  // Puts a frame of the access point on the air at the management rate (hooks answer
  // through it).
  Transmission send(dot11::Bytes frame);
  // A data frame from the distribution system to an associated station (from `source`);
  // kept while the station dozes.
  DataOutcome sendData(const MacAddress& station, const MacAddress& source, dot11::Bytes body);

  // Ends a station's association (disassociation) or authentication too (deauthentication),
  // with the frame that says so; false when the station is not known.
  bool deauthenticate(const MacAddress& station, std::uint16_t reason);
  bool disassociate(const MacAddress& station, std::uint16_t reason);

  dot11::Bytes buildBeacon();
  dot11::Bytes buildProbeResponse(const MacAddress& to);

  const AccessPointConfig& config() const { return config_; }
  const AccessPointCounters& counters() const { return counters_; }
  bool associated(const MacAddress& station) const;
  std::uint16_t associationId(const MacAddress& station) const;  // 0 when not associated
  bool dozing(const MacAddress& station) const;
  std::size_t buffered(const MacAddress& station) const;

private:
  struct StationState {
    bool authenticated = false;
    std::uint16_t aid = 0;  // associated when non-zero
    bool dozing = false;
  };

  void scheduleBeacon();
  void beacon();
  std::uint16_t nextSequence();
  std::uint16_t capability() const;
  void appendBssElements(dot11::FrameWriter& writer, bool withTim);
  void answerProbe(const dot11::FrameView& view, const MacAddress& from);
  void answerAuthentication(const dot11::FrameView& view, const MacAddress& from);
  void answerAssociation(const dot11::FrameView& view, const MacAddress& from, bool reassociation);
  // Shared-key frames 1 and 3 (access_point_join.cpp).
  void answerSharedKey(const dot11::FrameView& view, const MacAddress& from);
  void sendAuthentication(const MacAddress& to, std::uint16_t algorithm, std::uint16_t transaction,
                          std::uint16_t status, const dot11::Bytes& challenge);
  void forgetStation(const MacAddress& station);
  void announce(const MacAddress& station, StationEvent event, std::span<const std::uint8_t> elements = {});
  std::uint16_t freeAid() const;
  void notePowerManagement(const dot11::FrameView& view, StationState& station, const MacAddress& from);
  void transmitBuffered(const MacAddress& station, std::uint16_t aid, BufferedFrame frame);
  Transmission transmitAt(dot11::Bytes frame, std::uint16_t rateHalfMbps);
  std::uint16_t managementRate() const;
  std::uint16_t dataRate() const;

  ndis::Scheduler& scheduler_;
  Air& air_;
  AccessPointConfig config_;
  bool started_ = false;
  bool on_ = true;
  ndis::EventId beaconTimer_;
  std::uint64_t beaconsSinceStart_ = 0;
  std::uint16_t sequence_ = 0;
  std::vector<std::pair<HookId, FrameHook>> hooks_;
  std::vector<std::pair<HookId, StationWatcher>> watchers_;
  HookId nextHookId_ = 1;
  DataProtector protector_;
  ReassociationElements reassociationElements_;
  ndis::Micros refuseAssociationsUntil_{0};
  std::map<MacAddress, StationState> stations_;
  std::map<MacAddress, dot11::Bytes> challenges_;  // shared key: frame 2's challenge per station
  PowerSaveBuffer powerSave_;
  AccessPointCounters counters_;
};

}  // namespace simair
