#pragma once
// The PSK authenticator (authenticator.h) on the air: for every station that associates
// with a WPA or WPA2 access point it runs the 4-way handshake (and WPA's group handshake)
// as EAPOL data frames through the distribution port, retransmits on the scheduler's clock,
// installs the keys it agreed in the port's FrameKeys, rekeys on demand, and takes the
// station's Michael MIC failure reports: two within 60 s start the countermeasures (every
// station deauthenticated with reason 14, associations refused for 60 s). On a
// WPA2-Enterprise access point the PMK is not the pass phrase's: the station's 802.1X
// authentication through the RADIUS server gives it, and the handshake starts then; the PMK
// goes into the network's PMKSA cache, and a station whose (re)association request names a
// cached PMKSA for this access point skips 802.1X and gets message 1 at once.
#include <cstdint>
#include <map>
#include <memory>

#include "platform/ndis/scheduler.h"
#include "sim/air/authenticator.h"
#include "sim/air/distribution_port.h"

namespace simair {

struct KeyExchangeCounters {
  std::uint64_t handshakes = 0;        // 4-way handshakes completed
  std::uint64_t groupHandshakes = 0;   // group-key handshakes completed (rekeys and WPA's first)
  std::uint64_t retransmissions = 0;
  std::uint64_t timeouts = 0;          // stations deauthenticated for an unanswered handshake
  std::uint64_t micFailureReports = 0;
  std::uint64_t countermeasures = 0;
  std::uint64_t refusedFrames = 0;     // EAPOL frames the authenticator refused
  std::uint64_t cachedPmksaUsed = 0;   // WPA2-Enterprise associations keyed from the PMKSA cache
};

struct KeyExchangeTiming {
  ndis::Micros retransmitAfter = std::chrono::seconds(1);
  int attempts = 4;  // sends of one message before the station is deauthenticated
};

class RadiusAuthentication;
class PmksaCache;

class PskKeyExchange {
public:
  // The access point's security must be one of the WPA kinds and its pass phrase set, or
  // WPA2-Enterprise. `pmksa` (may be null: the access point keeps one of its own) is the
  // network's shared PMKSA cache, used only on WPA2-Enterprise; it must outlive this.
  PskKeyExchange(ndis::Scheduler& scheduler, AccessPoint& ap, DistributionPort& port, KeyExchangeTiming timing = {},
                 PmksaCache* pmksa = nullptr);
  ~PskKeyExchange();
  PskKeyExchange(const PskKeyExchange&) = delete;
  PskKeyExchange& operator=(const PskKeyExchange&) = delete;

  // A new 4-way handshake with a station whose keys are in force (a pairwise rekey).
  bool rekeyPairwise(const MacAddress& station);
  // A group-key handshake with a new group key, with every station whose keys are in force.
  void rekeyGroup();
  // The station's authenticator (tests turn its misbehaviours and read its keys), or null.
  air::PskAuthenticator* authenticator(const MacAddress& station);
  bool keysInForce(const MacAddress& station) const;
  bool countermeasuresActive() const;
  const KeyExchangeCounters& counters() const { return counters_; }

private:
  struct Session {
    std::unique_ptr<air::PskAuthenticator> authenticator;
    ndis::EventId timer;
    int sends = 0;
    bool keysInForce = false;
  };

  void associated(const MacAddress& station, std::span<const std::uint8_t> elements);
  void authenticated(const MacAddress& station, std::span<const std::uint8_t> pmk);
  void startHandshake(const MacAddress& station, std::unique_ptr<air::PskAuthenticator> authenticator);
  void left(const MacAddress& station);
  void receive(const MacAddress& station, std::span<const std::uint8_t> eapol);
  void send(const MacAddress& station, Session& session, const air::Bytes& frame, bool fresh);
  void timeout(const MacAddress& station);
  void installKeys(const MacAddress& station, Session& session);
  void micFailureReported();

  ndis::Scheduler& scheduler_;
  AccessPoint& ap_;
  DistributionPort& port_;
  KeyExchangeTiming timing_;
  air::Bytes pmk_;
  AccessPoint::HookId watcher_;
  std::map<MacAddress, Session> sessions_;
  std::unique_ptr<RadiusAuthentication> radius_;  // WPA2-Enterprise
  std::unique_ptr<PmksaCache> ownPmksa_;           // when no shared one was given
  PmksaCache* pmksa_ = nullptr;
  std::map<MacAddress, air::AuthenticatorConfig> awaitingPmk_;
  std::optional<ndis::Micros> lastMicFailure_;
  ndis::Micros countermeasuresUntil_{0};
  KeyExchangeCounters counters_;
};

}  // namespace simair
