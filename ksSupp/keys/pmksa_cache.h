#pragma once
// The PMK security associations of 802.1X (RSN) associations, kept so that a reassociation
// or a roam to a pre-authenticated access point can skip EAP: the access point names one
// by its PMKID in message 1. Entries are indexed by PMKID and by authenticator address;
// the cache also builds the PMKID map the host hands to the driver (one PMKID per
// candidate access point, with opportunistic entries under the last validated PMK) and
// tells pre-authentication which candidates still need it.
#include <cstdint>

#include <collections/dcfByteArray.h>
#include <collections/dcfKeyTree.h>
#include <collections/dcfList.h>

#include "ksSupp/keys/key_derivation.h"

class KeyHandlerServices;
class PmkidKdeElement;

struct PmksaEntry : dcfListNode {
  dcfKeyTreeHook byPmkid;
  dcfKeyTreeHook byAuthenticator;
  uint8_t inMap = 0;  // put into the last PMKID map
  uint8_t pmkid[kPmkidLength] = {};
  SecureByteArray pmk;
  uint8_t authenticatorAddress[6] = {};
  uint32_t created = 0;  // tick count, milliseconds
  uint32_t opportunistic = 0;
};

// An access point the driver reports as a PMKID candidate.
struct PmkidCandidate {
  uint8_t bssid[6];
  uint8_t flags;   // bit 0: pre-authentication enabled
  uint8_t cached;  // a PMKSA of its own is cached (set by the cache)
};

class PmksaCache {
 public:
  static constexpr uint32_t kCapacity = 64;
  static constexpr uint32_t kLifetimeMs = 28800000;  // 8 hours
  static constexpr uint32_t kMaxCandidates = 16;
  static constexpr uint32_t kMapEntryLength = 6 + kPmkidLength;  // BSSID | PMKID

  // `supplicantAddress` (6 bytes, the handler's) goes into every PMKID.
  PmksaCache(KeyHandlerServices& services, const uint8_t* supplicantAddress);
  PmksaCache(const PmksaCache&) = delete;
  PmksaCache& operator=(const PmksaCache&) = delete;
  ~PmksaCache();

  // The PMK of a new 802.1X authentication with this access point: the PMKSA of the coming
  // handshake, pending until its message 3 validates it.
  void SetPending(const uint8_t* pmk, uint32_t length, const uint8_t authenticator[6]);
  // Message 1: picks the PMKSA the access point names (pending or cached) or, without a
  // PMKID, the pending one, and hands its PMK over. False when the named PMKID is unknown
  // (traced; the host receives a fresh PMKID map). Nothing is forgotten here: message 1
  // carries no MIC.
  bool UsePmkid(const PmkidKdeElement& pmkid, const uint8_t authenticator[6],
                         SecureByteArray& pmk);
  // Message 3 proved the PMKSA message 1 picked (the pending one, or a cached one kept
  // until now): it becomes the newest cached entry for the access point; older and surplus
  // entries are pruned.
  void ValidatePending(const uint8_t authenticator[6]);
  // A new association: the pending PMKSA and the candidate list are dropped.
  void Reset();

  // The PMK of a successful pre-authentication with an access point.
  void AddPmksa(const uint8_t authenticator[6], const uint8_t* pmk, uint32_t length);
  // The driver's candidates (at most 16 are kept); the host receives a new PMKID map.
  void SetCandidates(uint32_t count, const PmkidCandidate* candidates);
  // The next candidate that allows pre-authentication and has no PMKSA of its own.
  bool NextPreauthCandidate(uint8_t bssid[6]);
  // Forgets every PMKSA (the last validated PMK included) and sends an empty map.
  void Flush();
  void RebuildPmkidMap();

  // For tests and traces.
  uint32_t Count() const;
  const PmksaEntry* FindByAuthenticator(const uint8_t authenticator[6]) const;
  const PmksaEntry* FindByPmkid(const uint8_t pmkid[kPmkidLength]) const;
  bool HasPending() const { return pending_ != nullptr; }

 private:
  enum class Selection { None, Pending, Cached };
  using PmkidIndex = dcfKeyTree<PmksaEntry, kPmkidLength, &PmksaEntry::byPmkid, &PmksaEntry::pmkid>;
  using AuthenticatorIndex =
      dcfKeyTree<PmksaEntry, 6, &PmksaEntry::byAuthenticator, &PmksaEntry::authenticatorAddress>;

  PmksaEntry* CreateEntry(const uint8_t* pmk, uint32_t length, const uint8_t authenticator[6],
                          uint32_t created, bool opportunistic) const;
  void Insert(PmksaEntry* entry);  // newest first, into both indexes
  void Free(PmksaEntry* entry);    // out of the list and both indexes, wiped
  void FreeByAuthenticator(const uint8_t authenticator[6]);
  void Prune();
  void ForgetLastValidated();
  bool LastValidatedUsable();

  KeyHandlerServices& services_;
  const uint8_t* supplicantAddress_;
  dcfList entries_;
  PmkidIndex byPmkid_;
  AuthenticatorIndex byAuthenticator_;
  PmksaEntry* pending_ = nullptr;  // owned, not in the list
  Selection selection_ = Selection::None;
  uint8_t selectedPmkid_[kPmkidLength] = {};
  PmkidCandidate candidates_[kMaxCandidates] = {};
  uint32_t candidateCount_ = 0;
  uint32_t preauthIterator_ = 0;
  SecureByteArray lastValidatedPmk_;
  uint32_t lastValidatedTime_ = 0;
};
