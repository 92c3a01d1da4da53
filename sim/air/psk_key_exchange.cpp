#include "sim/air/psk_key_exchange.h"

#include <stdexcept>

#include "sim/air/association_security.h"
#include "sim/air/cckm_contexts.h"
#include "sim/air/enterprise_handshake.h"
#include "sim/air/pmksa_cache.h"
#include "sim/air/radius_authentication.h"

namespace simair {
namespace {

using air::Cipher;
using air::KeyProtocol;

constexpr std::uint16_t kReasonMicFailure = 14, kReasonFourWayTimeout = 15, kReasonGroupTimeout = 16;
constexpr std::uint16_t kKeyInfoPairwise = 0x0008, kKeyInfoError = 0x0400;
constexpr std::uint8_t kEapolKey = 3;
constexpr std::uint16_t kLocalExperimentalType = 0x88B5;
constexpr auto kMicFailureWindow = std::chrono::seconds(60);
constexpr auto kCountermeasuresFor = std::chrono::seconds(60);

DataCipher DataCipherOf(Cipher cipher) { return cipher == Cipher::Ccmp ? DataCipher::Ccmp : DataCipher::Tkip; }

// The RSN element (id 48) or the WPA vendor element (00:50:F2 type 1), header included.
std::optional<air::Bytes> SecurityElement(std::span<const std::uint8_t> elements, bool rsn) {
  std::size_t at = 0;
  while (at + 2 <= elements.size()) {
    const std::size_t length = elements[at + 1];
    if (at + 2 + length > elements.size()) break;
    const auto body = elements.subspan(at + 2, length);
    const bool wpa = elements[at] == dot11::element::Vendor && length >= 4 && body[0] == 0x00 && body[1] == 0x50 &&
                     body[2] == 0xF2 && body[3] == 0x01;
    if ((rsn && elements[at] == dot11::element::Rsn) || (!rsn && wpa))
      return air::Bytes(elements.begin() + static_cast<std::ptrdiff_t>(at),
                        elements.begin() + static_cast<std::ptrdiff_t>(at + 2 + length));
    at += 2 + length;
  }
  return std::nullopt;
}

}  // namespace

PskKeyExchange::PskKeyExchange(ndis::Scheduler& scheduler, AccessPoint& ap, DistributionPort& port,
                               KeyExchangeTiming timing, PmksaCache* pmksa, CckmContexts* cckm, AirLog log)
    : scheduler_(scheduler), ap_(ap), port_(port), timing_(timing), pmksa_(pmksa), cckm_(cckm), log_(std::move(log)) {
  const Security security = ap.config().security;
  if (IsEnterprise(security)) {
    if (pmksa_ == nullptr) {
      ownPmksa_ = std::make_unique<PmksaCache>();
      pmksa_ = ownPmksa_.get();
    }
    radius_ = std::make_unique<RadiusAuthentication>(
        scheduler, ap, port,
        [this](const MacAddress& station, std::span<const std::uint8_t> pmk) { authenticated(station, pmk); });
  } else {
    if (security != Security::Wpa && security != Security::Wpa2 && security != Security::WpaWpa2)
      throw std::invalid_argument("the key exchange needs a WPA or WPA2 access point");
    if (ap.config().passphrase.empty()) throw std::invalid_argument("the key exchange needs a pass phrase");
    pmk_ = air::PskFromPassphrase(ap.config().passphrase.reveal(), ap.config().ssid);
  }
  watcher_ = ap_.addStationWatcher([this](const MacAddress& station, AccessPoint::StationEvent event,
                                          std::span<const std::uint8_t> elements) {
    if (event == AccessPoint::StationEvent::Associated) associated(station, elements);
    else left(station);
  });
  port_.setEapolHandler([this](const MacAddress& station, std::span<const std::uint8_t> eapol) { receive(station, eapol); });
  if (security == Security::WpaEnterprise && ap.config().cckm) {
    if (cckm_ == nullptr) {
      ownCckm_ = std::make_unique<CckmContexts>();
      cckm_ = ownCckm_.get();
    }
    ap_.setReassociationElements([this](const MacAddress& station, std::span<const std::uint8_t> elements) {
      return cckmReassociation(station, elements);
    });
  }
  scheduleGroupRekey();
}

PskKeyExchange::~PskKeyExchange() {
  scheduler_.cancel(groupRekeyTimer_);
  for (auto& [station, session] : sessions_) {
    scheduler_.cancel(session.timer);
    scheduler_.cancel(session.pairwiseRekeyTimer);
  }
  ap_.removeStationWatcher(watcher_);
  ap_.setReassociationElements({});
  port_.setEapolHandler({});
  radius_.reset();
  for (auto& [station, config] : awaitingPmk_) air::Wipe(config.pmk);
  air::Wipe(pmk_);
}

void PskKeyExchange::associated(const MacAddress& station, std::span<const std::uint8_t> elements) {
  const auto keyed = cckmKeyed_.extract(station);
  left(station);
  if (!keyed.empty()) {
    // The reassociation response brought the keys: nothing more runs.
    Session& session = sessions_[station];
    session.authenticator = keyed.mapped();
    installKeys(station, session);
    return;
  }
  const Security security = ap_.config().security;
  // A WPA+WPA2 access point speaks the protocol of the element the station chose.
  const auto rsnElement = SecurityElement(elements, true);
  const bool rsn = security == Security::Wpa2 || security == Security::Wpa2Enterprise ||
                   (security == Security::WpaWpa2 && rsnElement);
  const bool enterprise = IsEnterprise(security);
  air::AuthenticatorConfig config;
  config.protocol = rsn ? KeyProtocol::Rsn : KeyProtocol::Wpa;
  config.pairwise = rsn ? Cipher::Ccmp : Cipher::Tkip;
  config.group = security == Security::Wpa2 || security == Security::Wpa2Enterprise ? Cipher::Ccmp : Cipher::Tkip;
  config.authenticatorAddress = ap_.address();
  config.supplicantAddress = station;
  config.pmkidInMessage1 = rsn;
  if (auto element = SecurityElement(elements, rsn)) config.supplicantElement = std::move(*element);
  if (enterprise) config.authenticatorElement = EnterpriseElement(ap_.config());
  config.cckm = cckm_ != nullptr && !rsn && NamesCckm(elements);
  if (radius_) {
    if (auto pmk = pmksa_->find(station, ap_.address(), OfferedPmkids(elements))) {
      // A cached PMKSA: message 1 names it in its PMKID KDE, and no EAP runs.
      ++counters_.cachedPmksaUsed;
      startHandshake(station, FourWayHandshakeWithPmk(std::move(config), *pmk));
      air::Wipe(*pmk);
      return;
    }
    // The 4-way handshake waits for the PMK of the station's 802.1X authentication.
    awaitingPmk_[station] = std::move(config);
    radius_->start(station);
    return;
  }
  config.pmk = pmk_;
  startHandshake(station, std::make_unique<air::PskAuthenticator>(std::move(config)));
}

void PskKeyExchange::authenticated(const MacAddress& station, std::span<const std::uint8_t> pmk) {
  const auto found = awaitingPmk_.find(station);
  if (found == awaitingPmk_.end()) return;
  air::AuthenticatorConfig config = std::move(found->second);
  awaitingPmk_.erase(found);
  pmksa_->add(station, pmk);
  startHandshake(station, FourWayHandshakeWithPmk(std::move(config), pmk));
}

void PskKeyExchange::startHandshake(const MacAddress& station, std::unique_ptr<air::PskAuthenticator> authenticator) {
  Session& session = sessions_[station];
  session.authenticator = std::move(authenticator);
  send(station, session, session.authenticator->StartHandshake(), true);
}

void PskKeyExchange::left(const MacAddress& station) {
  if (radius_) radius_->forget(station);
  awaitingPmk_.erase(station);
  cckmKeyed_.erase(station);
  const auto found = sessions_.find(station);
  if (found == sessions_.end()) return;
  scheduler_.cancel(found->second.timer);
  scheduler_.cancel(found->second.pairwiseRekeyTimer);
  scheduler_.cancel(found->second.newKeySettled);
  sessions_.erase(found);
  port_.keys().forget(station);
}

void PskKeyExchange::send(const MacAddress& station, Session& session, const air::Bytes& frame, bool fresh) {
  scheduler_.cancel(session.timer);
  if (fresh) session.sends = 0;
  ++session.sends;
  port_.sendEapol(station, frame);
  session.timer = scheduler_.after(timing_.retransmitAfter, ndis::EventKind::Air, "simair.eapol-retransmit",
                                   [this, station] { timeout(station); });
}

void PskKeyExchange::timeout(const MacAddress& station) {
  const auto found = sessions_.find(station);
  if (found == sessions_.end()) return;
  Session& session = found->second;
  session.timer = {};
  if (session.sends >= timing_.attempts) {
    ++counters_.timeouts;
    const bool pairwise = !session.authenticator->PairwiseComplete();
    ap_.deauthenticate(station, pairwise ? kReasonFourWayTimeout : kReasonGroupTimeout);  // the watcher forgets it
    return;
  }
  ++counters_.retransmissions;
  send(station, session, session.authenticator->Retransmit(), false);
}

void PskKeyExchange::receive(const MacAddress& station, std::span<const std::uint8_t> eapol) {
  if (radius_ && eapol.size() >= 2 && eapol[1] != kEapolKey) return radius_->receive(station, eapol);
  const auto found = sessions_.find(station);
  if (found == sessions_.end()) return;
  Session& session = found->second;
  air::PskAuthenticator& authenticator = *session.authenticator;
  const bool pairwiseBefore = authenticator.PairwiseComplete(), groupBefore = authenticator.GroupComplete();
  const std::size_t requestsBefore = authenticator.Requests().size();
  const auto answer = authenticator.Receive(eapol.data(), eapol.size());
  if (!authenticator.LastError().empty()) ++counters_.refusedFrames;
  int micFailures = 0;
  bool rekeyRequested = false;
  for (std::size_t i = requestsBefore; i < authenticator.Requests().size(); ++i) {
    const std::uint16_t info = authenticator.Requests()[i];
    if ((info & kKeyInfoError) != 0) ++micFailures;
    else if ((info & kKeyInfoPairwise) != 0) rekeyRequested = true;  // the station asks for a new PTK
  }
  for (int i = 0; i < micFailures; ++i) {
    micFailureReported(station);
    if (!sessions_.contains(station)) return;  // countermeasures ended the association
  }
  if (!pairwiseBefore && authenticator.PairwiseComplete()) {
    ++counters_.handshakes;
    installKeys(station, session);
  }
  // A group-key handshake of its own (RSN's first group key comes in message 3): WPA's first, or a rekey.
  if (pairwiseBefore && !groupBefore && authenticator.GroupComplete()) {
    ++counters_.groupHandshakes;
    if (authenticator.Config().protocol == KeyProtocol::Wpa && ap_.config().badMichael && !session.michaelSpoiled)
      sendBadMichael(station, session);
  }
  if (rekeyRequested && session.keysInForce) {
    startPairwiseRekey(station, session);
  } else if (answer) {
    send(station, session, *answer, true);
  } else if (authenticator.LastError().empty() && authenticator.PairwiseComplete() && authenticator.GroupComplete()) {
    scheduler_.cancel(session.timer);  // nothing more is awaited
    session.timer = {};
    startDueRekey(station, session);
  }
}

void PskKeyExchange::installKeys(const MacAddress& station, Session& session) {
  air::Bytes tk = session.authenticator->TemporalKey();
  port_.keys().setPairwise(station, DataCipherOf(session.authenticator->Config().pairwise), tk);
  air::Wipe(tk);
  if (port_.holdsData(station))
    session.newKeySettled = scheduler_.after(timing_.newKeySettle, ndis::EventKind::Air, "simair.new-key-settled",
                                             [this, station] { newKeySettled(station); });
  session.keysInForce = true;
  // A pairwise key lasts its interval from the moment it comes into force.
  scheduler_.cancel(session.pairwiseRekeyTimer);
  session.pairwiseRekeyTimer = {};
  if (const ndis::Micros every = ap_.config().pairwiseRekeyInterval; every > ndis::Micros(0))
    session.pairwiseRekeyTimer = scheduler_.after(every, ndis::EventKind::Air, "simair.pairwise-rekey", [this, station] {
      const auto found = sessions_.find(station);
      if (found == sessions_.end()) return;
      found->second.pairwiseRekeyTimer = {};
      found->second.pairwiseRekeyDue = true;
      startDueRekey(station, found->second);
    });
  // The base key of a CCKM handshake serves the network's access points from now on.
  if (cckm_ != nullptr && session.authenticator->Config().cckm) cckm_->keep(station, session.authenticator);
}

// A reassociation the access point accepts: with a CCKM request element that the station's
// context checks out, the response element (and the keys once the station is associated).
dot11::Bytes PskKeyExchange::cckmReassociation(const MacAddress& station, std::span<const std::uint8_t> elements) {
  const auto request = CckmRequestElement(elements);
  if (!request) return {};
  const std::shared_ptr<air::PskAuthenticator> context = cckm_->find(station);
  std::optional<air::Bytes> response;
  std::string why = "no CCKM context";
  if (context && !NamesCckm(elements)) why = "the WPA element names another AKM";
  else if (context && !(response = context->CckmReassociate(*request, ap_.address()))) why = context->LastError();
  const std::string who = dot11::FormatAddress(station);
  if (!response) {
    ++counters_.cckmRefused;
    if (log_) log_(who + " reassociated with a CCKM element that does not check out (" + why + "): 802.1X runs");
    return {};
  }
  ++counters_.cckmReassociations;
  cckmKeyed_[station] = context;
  if (log_) log_(who + " reassociated through CCKM: keys from its base key, no 802.1X");
  return std::move(*response);
}

// A new 4-way handshake with a station whose keys are in force. Without key ids either side
// can lose a frame: the station puts its new key in force as it sends message 4, the access
// point as message 4 comes in, and the station's host installs the key a little after sending
// message 4. So the station's data frames wait from message 1 until a while after message 4
// (newKeySettle), and go under the new key then, as does the next rekey.
void PskKeyExchange::startPairwiseRekey(const MacAddress& station, Session& session) {
  port_.holdData(station);
  send(station, session, session.authenticator->StartHandshake(), true);
}

void PskKeyExchange::newKeySettled(const MacAddress& station) {
  const auto found = sessions_.find(station);
  if (found == sessions_.end()) return;
  found->second.newKeySettled = {};
  port_.releaseData(station);
  startDueRekey(station, found->second);
}

bool PskKeyExchange::rekeyPairwise(const MacAddress& station) {
  const auto found = sessions_.find(station);
  if (found == sessions_.end() || !found->second.keysInForce) return false;
  startPairwiseRekey(station, found->second);
  return true;
}

void PskKeyExchange::rekeyGroup() {
  for (auto& [station, session] : sessions_)
    if (session.keysInForce && session.authenticator->GroupComplete())
      send(station, session, session.authenticator->StartGroupRekey(true), true);
}

void PskKeyExchange::scheduleGroupRekey() {
  const ndis::Micros every = ap_.config().groupRekeyInterval;
  if (every <= ndis::Micros(0)) return;
  groupRekeyTimer_ = scheduler_.after(every, ndis::EventKind::Air, "simair.group-rekey", [this] {
    for (auto& [station, session] : sessions_) {
      if (!session.keysInForce) continue;  // its first handshake brings the key it needs
      session.groupRekeyDue = true;
      startDueRekey(station, session);
    }
    scheduleGroupRekey();
  });
}

// A rekey of the intervals starts only between handshakes: one under way is never cut short.
// The pairwise one goes first; the group key follows once it is done.
void PskKeyExchange::startDueRekey(const MacAddress& station, Session& session) {
  const air::PskAuthenticator& authenticator = *session.authenticator;
  if (!session.keysInForce || !authenticator.PairwiseComplete() || !authenticator.GroupComplete()) return;
  if (session.newKeySettled) return;  // it starts when the new key has settled
  if (session.pairwiseRekeyDue) {
    session.pairwiseRekeyDue = false;
    startPairwiseRekey(station, session);
  } else if (session.groupRekeyDue) {
    session.groupRekeyDue = false;
    send(station, session, session.authenticator->StartGroupRekey(true), true);
  }
}

air::PskAuthenticator* PskKeyExchange::authenticator(const MacAddress& station) {
  const auto found = sessions_.find(station);
  return found == sessions_.end() ? nullptr : found->second.authenticator.get();
}

bool PskKeyExchange::keysInForce(const MacAddress& station) const {
  const auto found = sessions_.find(station);
  return found != sessions_.end() && found->second.keysInForce;
}

bool PskKeyExchange::countermeasuresActive() const { return scheduler_.now() < countermeasuresUntil_; }

// The access point's badMichael: a frame under the station's TKIP key whose Michael MIC does
// not check out, which the station is to report.
void PskKeyExchange::sendBadMichael(const MacAddress& station, Session& session) {
  session.michaelSpoiled = true;
  if (!port_.keys().spoilNextMichael(station)) return;
  const std::string text = "a frame with a wrong Michael MIC";
  port_.deliver(EthernetFrame{station, ap_.address(), kLocalExperimentalType, dot11::Bytes(text.begin(), text.end())});
  if (log_) log_(dot11::FormatAddress(station) + ": sent " + text);
}

void PskKeyExchange::micFailureReported(const MacAddress& station) {
  ++counters_.micFailureReports;
  if (log_) log_(dot11::FormatAddress(station) + " reported a Michael MIC failure");
  const ndis::Micros now = scheduler_.now();
  const bool second = lastMicFailure_ && now - *lastMicFailure_ <= kMicFailureWindow;
  lastMicFailure_ = now;
  if (!second) return;
  // Two failures within 60 s: every station goes, and none may come back for 60 s.
  ++counters_.countermeasures;
  lastMicFailure_.reset();
  countermeasuresUntil_ = now + kCountermeasuresFor;
  ap_.refuseAssociationsUntil(countermeasuresUntil_);
  std::vector<MacAddress> stations;
  for (const auto& [station, session] : sessions_) stations.push_back(station);
  for (const MacAddress& station : stations) ap_.deauthenticate(station, kReasonMicFailure);
}

}  // namespace simair
