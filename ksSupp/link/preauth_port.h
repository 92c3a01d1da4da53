// PreauthPort: IEEE 802.11i pre-authentication of a link. While the link is authenticated
// in RSN mode, it takes the access points the RSN key handler lists as pre-authentication
// candidates one at a time, runs a whole 802.1X authentication with each through a second
// supplicant PAE (its frames travel as ethertype 0x88C7 through the host), and stores each
// PMK it wins in the PMKSA cache, so that a later association to that access point can skip
// 802.1X.
//
// Every message it sends has the candidate's BSSID as its context word (a pointer to its 6
// bytes), which gives the messages their pre-authentication codes.
#pragma once

#include <cstdint>

#include <dcf/dcfComPtr.h>

#include "ksSupp/api_context.h"
#include "ksSupp/eapol/link_pae_services.h"
#include "ksSupp/eapol/supplicant_pae.h"

class Identity;

// What the port needs of the engine's PMKSA cache.
class PreauthPmksaServices {
 public:
  // The next access point to pre-authenticate with into bssid; false when there is none
  // (or the association is not RSN).
  virtual bool NextPreauthCandidate(std::uint8_t bssid[6]) = 0;
  virtual void AddPreauthPmk(const std::uint8_t bssid[6], const std::uint8_t* pmk,
                             std::uint32_t length) = 0;

 protected:
  ~PreauthPmksaServices() = default;
};

class PreauthPort final : private LinkPaeServices {
 public:
  enum State : std::uint32_t { kInitial = 0, kIdle = 1, kAuthenticating = 2 };
  // A candidate gets this long before the port moves on.
  static constexpr std::uint32_t kCandidateTime = 15000;

  PreauthPort(ApiContext& context, LinkCallbacks& callbacks, PreauthPmksaServices& pmksa);
  ~PreauthPort();
  PreauthPort(const PreauthPort&) = delete;
  PreauthPort& operator=(const PreauthPort&) = delete;

  void SetIdentity(Identity* identity) { pae_.SetIdentity(identity); }
  void SetSessionResumptionTimeout(std::uint32_t seconds) { pae_.SetSessionResumptionTimeout(seconds); }

  void SetActive(bool active);
  void Step();
  // One step with the port disabled: a running candidate ends.
  void Stop();
  // A pre-authentication EAPOL frame from source.
  void Receive(const std::uint8_t source[6], const std::uint8_t* frame, std::uint32_t length);

  void ElapseTime(std::uint32_t milliseconds);
  void NextTimeout(std::uint32_t& milliseconds) const;
  void CompensateTime(std::uint32_t milliseconds);

  State state() const { return state_; }
  bool Active() const { return enabled_; }
  const std::uint8_t* Candidate() const { return candidate_; }
  const SupplicantPae& Pae() const { return pae_; }

 private:
  // Ends the current candidate: address cleared, PAE held.
  void Finish();
  // True when the running candidate is still at work after the PAE's step.
  bool StillRunning();
  void StorePmk();

  // PAE services that are not host messages.
  void NoAuthenticator() override { done_ = true; }
  void SetMasterSessionKeys() override { StorePmk(); }
  void AuthenticationFailed(std::uint32_t) override { done_ = true; }
  bool CertificateText(const std::uint8_t*, char*, std::uint32_t) override { return false; }

  dcfComPtr<ApiContext> context_;
  PreauthPmksaServices& pmksa_;
  State state_ = kInitial;
  std::uint8_t candidate_[6] = {};
  bool enabled_ = false;
  bool done_ = false;
  std::uint32_t candidateTimer_ = 0;
  SupplicantPae pae_;
};
