#include "ksSupp/keys/pmksa_cache.h"

#include <openssl/crypto.h>

#include <cstring>

#include "ksSupp/keys/information_elements.h"
#include "ksSupp/keys/key_handler_services.h"
#include "ksSupp/keys/key_trace.h"
#include "platform/win32/tick_count.h"

namespace {

PmksaEntry* EntryOf(dcfListNode* node) { return static_cast<PmksaEntry*>(node); }

bool SameAddress(const uint8_t* a, const uint8_t* b) { return std::memcmp(a, b, 6) == 0; }

bool SamePmk(const SecureByteArray& a, const SecureByteArray& b) {
  return a.Length() == b.Length() && CRYPTO_memcmp(a.Data(), b.Data(), a.Length()) == 0;
}

}  // namespace

PmksaCache::PmksaCache(KeyHandlerServices& services, const uint8_t* supplicantAddress)
    : services_(services), supplicantAddress_(supplicantAddress) {}

PmksaCache::~PmksaCache() {
  while (dcfListNode* node = entries_.First()) Free(EntryOf(node));
  delete pending_;
}

PmksaEntry* PmksaCache::CreateEntry(const uint8_t* pmk, uint32_t length,
                                    const uint8_t authenticator[6], uint32_t created,
                                    bool opportunistic) const {
  auto* entry = new PmksaEntry;
  entry->pmk.Assign(pmk, length);
  std::memcpy(entry->authenticatorAddress, authenticator, 6);
  entry->created = created;
  entry->opportunistic = opportunistic ? 1 : 0;
  compute_pmkid(pmk, length, authenticator, supplicantAddress_, entry->pmkid);
  KeyTrace(kTraceDetail, nullptr, 0, "Computing PMKSA...\n");
  KeyTrace(kTraceDetail, authenticator, 6, "Authenticator MAC:\n");
  KeyTrace(kTraceDetail, supplicantAddress_, 6, "Supplicant MAC:\n");
  KeyTrace(kTraceDetail, pmk, length, "PMK:\n");
  KeyTrace(kTraceDetail, entry->pmkid, kPmkidLength,
           opportunistic ? "PMKID (opportunistic):\n" : "PMKID:\n");
  return entry;
}

void PmksaCache::Insert(PmksaEntry* entry) {
  entries_.InsertAfter(entries_.Head(), entry);
  byPmkid_.Insert(*entry);
  byAuthenticator_.Insert(*entry);
}

void PmksaCache::Free(PmksaEntry* entry) {
  entries_.Erase(entry);
  byPmkid_.Erase(*entry);
  byAuthenticator_.Erase(*entry);
  delete entry;  // its PMK wipes itself
}

void PmksaCache::FreeByAuthenticator(const uint8_t authenticator[6]) {
  while (PmksaEntry* entry = byAuthenticator_.Find(authenticator)) Free(entry);
}

void PmksaCache::SetPending(const uint8_t* pmk, uint32_t length, const uint8_t authenticator[6]) {
  PmksaEntry* entry = CreateEntry(pmk, length, authenticator, plat::TickCount(), false);
  delete pending_;
  pending_ = entry;
  selection_ = Selection::None;
}

bool PmksaCache::UsePmkid(const PmkidKdeElement& kde, const uint8_t authenticator[6],
                                   SecureByteArray& pmk) {
  selection_ = pending_ != nullptr ? Selection::Pending : Selection::None;
  if (!kde.Valid()) {
    KeyTrace(kTraceWarning, nullptr, 0, "No PMKID found in handshake message 1\n");
  } else {
    const uint8_t* pmkid = kde.Pmkid();
    KeyTrace(kTraceDetail, pmkid, kPmkidLength, "PMKID from handshake message 1:\n");
    // The pending PMKSA stays whatever this frame names: a forged message 1 must not
    // throw away the keys of the authentication that just succeeded.
    if (pending_ == nullptr || std::memcmp(pending_->pmkid, pmkid, kPmkidLength) != 0) {
      const PmksaEntry* cached = byPmkid_.Find(pmkid);
      if (cached == nullptr) {
        KeyTrace(kTraceError, nullptr, 0,
                 "EAPOL-Key handshake message 1 discarded: PMKID not found in cache\n");
        RebuildPmkidMap();
        return false;
      }
      KeyTrace(kTraceDetail, nullptr, 0, "PMKID found in cache\n");
      if (!SameAddress(cached->authenticatorAddress, authenticator))
        KeyTrace(kTraceWarning, nullptr, 0, "PMKID Authenticator MAC has changed!\n");
      selection_ = Selection::Cached;
      std::memcpy(selectedPmkid_, pmkid, kPmkidLength);
    }
    services_.PmksaCacheHit();
  }
  if (selection_ == Selection::Pending) pmk.Assign(pending_->pmk.Data(), pending_->pmk.Length());
  if (selection_ == Selection::Cached) {
    const PmksaEntry* cached = byPmkid_.Find(selectedPmkid_);
    pmk.Assign(cached->pmk.Data(), cached->pmk.Length());
  }
  return true;
}

void PmksaCache::ValidatePending(const uint8_t authenticator[6]) {
  PmksaEntry* entry = nullptr;
  if (selection_ == Selection::Pending && pending_ != nullptr) {
    entry = pending_;
    pending_ = nullptr;
  } else if (selection_ == Selection::Cached) {
    // Still there, unless it was pruned or flushed since message 1.
    entry = byPmkid_.Find(selectedPmkid_);
    if (entry != nullptr) {
      entries_.Erase(entry);
      byPmkid_.Erase(*entry);
      byAuthenticator_.Erase(*entry);
      std::memcpy(entry->authenticatorAddress, authenticator, 6);
    }
    // The access point proved it holds the cached PMKSA: a pending one was not its choice.
    delete pending_;
    pending_ = nullptr;
  }
  selection_ = Selection::None;
  if (entry == nullptr) return;
  FreeByAuthenticator(entry->authenticatorAddress);
  Insert(entry);
  Prune();
  lastValidatedPmk_.Assign(entry->pmk.Data(), entry->pmk.Length());
  lastValidatedTime_ = entry->created;
  KeyTrace(kTraceDetail, nullptr, 0, "PMK SA validated and cached\n");
}

void PmksaCache::Reset() {
  delete pending_;
  pending_ = nullptr;
  selection_ = Selection::None;
  candidateCount_ = 0;
  preauthIterator_ = 0;
}

void PmksaCache::Prune() {
  const uint32_t now = plat::TickCount();
  uint32_t kept = 0;
  dcfListNode* node = entries_.First();
  while (node != nullptr) {
    PmksaEntry* entry = EntryOf(node);
    node = entries_.Next(node);
    if (entry->opportunistic || entry->inMap) continue;
    if (kept < kCapacity && now - entry->created <= kLifetimeMs)
      ++kept;
    else
      Free(entry);
  }
}

void PmksaCache::AddPmksa(const uint8_t authenticator[6], const uint8_t* pmk, uint32_t length) {
  PmksaEntry* entry = CreateEntry(pmk, length, authenticator, plat::TickCount(), false);
  FreeByAuthenticator(authenticator);
  Insert(entry);
  RebuildPmkidMap();
}

void PmksaCache::SetCandidates(uint32_t count, const PmkidCandidate* candidates) {
  candidateCount_ = 0;
  for (uint32_t i = 0; i < count && candidateCount_ < kMaxCandidates; ++i) {
    const PmkidCandidate& c = candidates[i];
    KeyTrace(kTraceDetail, nullptr, 0, "PMKID Candidate: %02X%02X%02X%02X%02X%02X, flags = %d\n",
             c.bssid[0], c.bssid[1], c.bssid[2], c.bssid[3], c.bssid[4], c.bssid[5], c.flags);
    candidates_[candidateCount_] = c;
    candidates_[candidateCount_++].cached = 0;
  }
  preauthIterator_ = 0;
  RebuildPmkidMap();
}

bool PmksaCache::NextPreauthCandidate(uint8_t bssid[6]) {
  while (preauthIterator_ < candidateCount_) {
    const PmkidCandidate& c = candidates_[preauthIterator_++];
    if ((c.flags & 1) && !c.cached) {
      std::memcpy(bssid, c.bssid, 6);
      return true;
    }
  }
  return false;
}

void PmksaCache::Flush() {
  while (dcfListNode* node = entries_.First()) Free(EntryOf(node));
  delete pending_;
  pending_ = nullptr;
  selection_ = Selection::None;
  // A flush forgets the PMK too, or the next candidate list would bring its PMKSAs back
  // as opportunistic entries.
  ForgetLastValidated();
  SetCandidates(0, nullptr);
}

void PmksaCache::ForgetLastValidated() {
  lastValidatedPmk_.Free();
  lastValidatedTime_ = 0;
}

bool PmksaCache::LastValidatedUsable() {
  // An expired PMK would come back as opportunistic entries that never age out.
  if (!lastValidatedPmk_.Empty() && plat::TickCount() - lastValidatedTime_ > kLifetimeMs)
    ForgetLastValidated();
  return !lastValidatedPmk_.Empty();
}

void PmksaCache::RebuildPmkidMap() {
  for (dcfListNode* node = entries_.First(); node != nullptr;) {
    PmksaEntry* entry = EntryOf(node);
    node = entries_.Next(node);
    if (entry->opportunistic && !entry->inMap)
      Free(entry);
    else
      entry->inMap = 0;
  }
  Prune();

  uint8_t map[kMaxCandidates * kMapEntryLength];
  uint32_t count = 0;
  for (uint32_t i = 0; i < candidateCount_; ++i) {
    PmkidCandidate& candidate = candidates_[i];
    candidate.cached = 0;
    PmksaEntry* entry = byAuthenticator_.Find(candidate.bssid);
    if (entry != nullptr && !entry->opportunistic) {
      candidate.cached = 1;
    } else if (entry != nullptr && LastValidatedUsable() && SamePmk(entry->pmk, lastValidatedPmk_)) {
      // An opportunistic entry under the last validated PMK serves as it is.
    } else if (LastValidatedUsable()) {
      entry = CreateEntry(lastValidatedPmk_.Data(), lastValidatedPmk_.Length(), candidate.bssid,
                          lastValidatedTime_, true);
      FreeByAuthenticator(candidate.bssid);
      Insert(entry);
    } else {
      continue;
    }
    entry->inMap = 1;
    std::memcpy(map + count * kMapEntryLength, candidate.bssid, 6);
    std::memcpy(map + count * kMapEntryLength + 6, entry->pmkid, kPmkidLength);
    ++count;
  }
  KeyTrace(kTraceDetail, map, count * kMapEntryLength, "Setting PMKID Map, %d items\n",
           static_cast<int>(count));
  services_.SetPmkidList(count, map);
}

uint32_t PmksaCache::Count() const {
  uint32_t count = 0;
  for (const dcfListNode* node = entries_.First(); node != nullptr; node = entries_.Next(node)) ++count;
  return count;
}

const PmksaEntry* PmksaCache::FindByAuthenticator(const uint8_t authenticator[6]) const {
  return byAuthenticator_.Find(authenticator);
}

const PmksaEntry* PmksaCache::FindByPmkid(const uint8_t pmkid[kPmkidLength]) const {
  return byPmkid_.Find(pmkid);
}
