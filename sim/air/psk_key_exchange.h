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
// cached PMKSA for this access point skips 802.1X and gets message 1 at once. On a
// wpa-enterprise access point that offers CCKM, a station that names CCKM's AKM gets its
// first PTK from a base key, kept in the network's CCKM contexts; when it reassociates to an
// access point of the network with a CCKM request element that checks out, the reassociation
// response carries the CCKM response element, the keys are in force at once, and neither
// 802.1X nor a handshake runs. With the access point's badMichael, each station whose WPA
// keys have just come into force gets one data frame with a wrong Michael MIC. With the access
// point's rekey intervals, every keyed station gets a new group key that often, and a new
// pairwise key that long after its last; a rekey that falls due during a handshake waits for
// it to end. During a pairwise rekey the station's data frames wait, and go under the new key
// kNewKeySettle after message 4 came in (see startPairwiseRekey).
#include <cstdint>
#include <map>
#include <memory>

#include "platform/ndis/scheduler.h"
#include "sim/air/air_log.h"
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
  std::uint64_t cckmReassociations = 0;  // reassociations keyed through CCKM
  std::uint64_t cckmRefused = 0;         // CCKM request elements that did not check out
};

struct KeyExchangeTiming {
  ndis::Micros retransmitAfter = std::chrono::seconds(1);
  // After a pairwise rekey's message 4, how long the access point waits before anything goes
  // to the station under the new key.
  ndis::Micros newKeySettle = std::chrono::milliseconds(100);
  int attempts = 4;  // sends of one message before the station is deauthenticated
};

class RadiusAuthentication;
class PmksaCache;
class CckmContexts;

class PskKeyExchange {
public:
  // The access point's security must be one of the WPA kinds and its pass phrase set, or
  // an enterprise one. `pmksa` (may be null: the access point keeps one of its own) is the
  // network's shared PMKSA cache, used only on enterprise networks; `cckm` (may be null: the
  // access point keeps its own) the network's CCKM contexts, used only where CCKM is
  // offered. Both must outlive this. `log` hears of CCKM reassociations.
  PskKeyExchange(ndis::Scheduler& scheduler, AccessPoint& ap, DistributionPort& port, KeyExchangeTiming timing = {},
                 PmksaCache* pmksa = nullptr, CckmContexts* cckm = nullptr, AirLog log = {});
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
    std::shared_ptr<air::PskAuthenticator> authenticator;  // a CCKM context is shared
    ndis::EventId timer;
    int sends = 0;
    bool keysInForce = false;
    bool michaelSpoiled = false;  // badMichael's frame went to this association
    ndis::EventId pairwiseRekeyTimer;
    ndis::EventId newKeySettled;  // a pairwise rekey's new key, until the station has it too
    bool pairwiseRekeyDue = false, groupRekeyDue = false;
  };

  void associated(const MacAddress& station, std::span<const std::uint8_t> elements);
  void authenticated(const MacAddress& station, std::span<const std::uint8_t> pmk);
  void startHandshake(const MacAddress& station, std::unique_ptr<air::PskAuthenticator> authenticator);
  dot11::Bytes cckmReassociation(const MacAddress& station, std::span<const std::uint8_t> elements);
  void left(const MacAddress& station);
  void receive(const MacAddress& station, std::span<const std::uint8_t> eapol);
  void send(const MacAddress& station, Session& session, const air::Bytes& frame, bool fresh);
  void timeout(const MacAddress& station);
  void installKeys(const MacAddress& station, Session& session);
  void sendBadMichael(const MacAddress& station, Session& session);
  void micFailureReported(const MacAddress& station);
  void startPairwiseRekey(const MacAddress& station, Session& session);
  void newKeySettled(const MacAddress& station);
  void scheduleGroupRekey();
  void startDueRekey(const MacAddress& station, Session& session);

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
  std::unique_ptr<CckmContexts> ownCckm_;  // when no shared one was given
  CckmContexts* cckm_ = nullptr;           // only where CCKM is offered
  // Stations whose reassociation the CCKM response answered: their association takes the
  // context's keys.
  std::map<MacAddress, std::shared_ptr<air::PskAuthenticator>> cckmKeyed_;
  AirLog log_;
  std::optional<ndis::Micros> lastMicFailure_;
  ndis::Micros countermeasuresUntil_{0};
  KeyExchangeCounters counters_;
  ndis::EventId groupRekeyTimer_;
};

}  // namespace simair
