#include "sim/air/frame_keys.h"

#include <algorithm>
#include <utility>

#include "sim/air/authenticator_crypto.h"
#include "sim/air/ccmp_protection.h"
#include "sim/air/ckip_protection.h"
#include "sim/air/michael_mic.h"
#include "sim/air/tkip_protection.h"
#include "sim/air/wep_protection.h"

namespace simair {
namespace {

constexpr std::uint64_t kCounterMask = 0xFFFFFFFFFFFFull;

MacAddress AddressAt(std::span<const std::uint8_t> frame, std::size_t offset) {
  MacAddress address;
  std::copy_n(frame.begin() + static_cast<std::ptrdiff_t>(offset), 6, address.begin());
  return address;
}

// The MSDU's destination and source by the DS bits (a frame between access points is not sent here).
std::pair<MacAddress, MacAddress> MsduAddresses(std::span<const std::uint8_t> header) {
  switch (header[1] & 0x03) {
    case 0x01: return {AddressAt(header, 16), AddressAt(header, 10)};  // to the DS
    case 0x02: return {AddressAt(header, 4), AddressAt(header, 16)};   // from the DS
    default: return {AddressAt(header, 4), AddressAt(header, 10)};
  }
}

}  // namespace

FrameKeys::FrameKeys(const std::vector<Secret>& wepKeys, std::uint8_t wepTransmitIndex, KeyRole role)
    : role_(role), wepTransmitIndex_(wepTransmitIndex) {
  for (const Secret& key : wepKeys) wepKeys_.emplace_back(key.reveal().begin(), key.reveal().end());
}

FrameKeys::~FrameKeys() {
  for (auto& key : wepKeys_) air::Wipe(key);
  for (auto& [station, entry] : pairwise_) air::Wipe(entry.key);
  for (auto& [station, previous] : previousCcmp_) air::Wipe(previous.key);
}

void FrameKeys::setPairwise(const MacAddress& station, DataCipher cipher, std::span<const std::uint8_t> key) {
  const std::size_t wanted = cipher == DataCipher::Tkip ? 32 : cipher == DataCipher::Ccmp ? 16 : 0;
  if (wanted == 0 || key.size() != wanted) return;
  Pairwise& entry = pairwise_[station];
  forgetPreviousCcmp(station);
  if (entry.cipher == DataCipher::Ccmp && cipher == DataCipher::Ccmp)
    previousCcmp_[station] = PreviousCcmp{entry.key, entry.lastReceived, entry.generation};
  air::Wipe(entry.key);
  entry = Pairwise{cipher, dot11::Bytes(key.begin(), key.end()), 0, std::nullopt, std::nullopt, nextGeneration_++};
}

void FrameKeys::forget(const MacAddress& station) {
  forgetPreviousCcmp(station);
  const auto found = pairwise_.find(station);
  if (found == pairwise_.end()) return;
  air::Wipe(found->second.key);
  pairwise_.erase(found);
}

bool FrameKeys::protects(const MacAddress& station) const {
  return pairwise_.contains(station) || !wepKeys_.empty();
}

std::uint32_t FrameKeys::keyGeneration(const MacAddress& station) const {
  const auto found = pairwise_.find(station);
  return found == pairwise_.end() ? 0 : found->second.generation;
}

bool FrameKeys::spoilNextMichael(const MacAddress& station) {
  const auto found = pairwise_.find(station);
  if (found == pairwise_.end() || found->second.cipher != DataCipher::Tkip) return false;
  found->second.spoilMichael = true;
  return true;
}

std::optional<dot11::Bytes> FrameKeys::seal(const MacAddress& station, dot11::Bytes frame) {
  const auto headerLength = DataHeaderLength(frame);
  if (!headerLength) return std::nullopt;
  const std::span<const std::uint8_t> header(frame.data(), *headerLength);
  const std::span<const std::uint8_t> plain(frame.data() + *headerLength, frame.size() - *headerLength);
  dot11::Bytes body;
  const auto found = pairwise_.find(station);
  if (found != pairwise_.end()) {
    Pairwise& entry = found->second;
    entry.transmitCounter = (entry.transmitCounter + 1) & kCounterMask;
    if (entry.cipher == DataCipher::Ccmp) {
      body = CcmpSeal(CcmpKey(entry.key.data(), 16), header, entry.transmitCounter, 0, plain);
    } else {
      const auto [destination, source] = MsduAddresses(header);
      auto mic = MsduMichael(MichaelKey(entry.key.data() + transmitMichaelOffset(), 8), destination, source,
                             DataPriority(header), plain);
      if (std::exchange(entry.spoilMichael, false)) mic[0] ^= 0x01;
      dot11::Bytes msdu(plain.begin(), plain.end());
      msdu.insert(msdu.end(), mic.begin(), mic.end());
      body = TkipSeal(TemporalKey(entry.key.data(), 16), AddressAt(header, 10), entry.transmitCounter, 0, msdu);
    }
  } else if (wepTransmitIndex_ < wepKeys_.size() && !wepKeys_[wepTransmitIndex_].empty()) {
    body = sealStatic(header, plain);
  } else {
    return std::nullopt;
  }
  frame.resize(*headerLength);
  frame[1] |= dot11::flag::Protected;
  frame.insert(frame.end(), body.begin(), body.end());
  ++counters_.sealed;
  return frame;
}

std::optional<FrameKeys::Opened> FrameKeys::open(const MacAddress& station, std::span<const std::uint8_t> frame,
                                                 Refusal& why) {
  why = Refusal::TooShort;
  const auto headerLength = DataHeaderLength(frame);
  if (!headerLength) {
    ++counters_.malformed;
    return std::nullopt;
  }
  const auto header = frame.first(*headerLength);
  const auto body = frame.subspan(*headerLength);
  Opened opened;
  const auto found = pairwise_.find(station);
  if (found != pairwise_.end()) {
    Pairwise& entry = found->second;
    opened.cipher = entry.cipher;
    opened.keyGeneration = entry.generation;
    if (entry.cipher == DataCipher::Ccmp) {
      auto result = CcmpOpen(CcmpKey(entry.key.data(), 16), header, entry.lastReceived, body, why);
      if (result) {
        entry.lastReceived = result->pn;
        opened.frame = std::move(result->plain);
        forgetPreviousCcmp(station);  // the station has moved to the new key
      } else if (const auto previous = previousCcmp_.find(station); previous != previousCcmp_.end()) {
        // The new key has opened nothing yet: the old key's verdict stands (a replay under it too).
        auto late = CcmpOpen(CcmpKey(previous->second.key.data(), 16), header, previous->second.lastReceived, body, why);
        if (late) {
          previous->second.lastReceived = late->pn;
          opened.keyGeneration = previous->second.generation;
          opened.frame = std::move(late->plain);
        }
      }
    } else {
      // A fragment continues its MSDU: its TSC must be above the fragment before it too.
      const auto last = entry.pendingTkip ? entry.pendingTkip : entry.lastReceived;
      auto result = TkipOpen(TemporalKey(entry.key.data(), 16), AddressAt(header, 10), last, body, why);
      if (result) {
        entry.pendingTkip = result->tsc;
        opened.frame = std::move(result->plain);
      }
    }
  } else if (!wepKeys_.empty()) {
    opened.cipher = DataCipher::Wep;
    const auto keyId = WepKeyIdOf(body);
    if (keyId && (*keyId >= wepKeys_.size() || wepKeys_[*keyId].empty())) {
      ++counters_.noKey;
      return std::nullopt;
    }
    auto plain = keyId ? openStatic(header, wepKeys_[*keyId], body) : std::nullopt;
    why = !keyId ? Refusal::TooShort : plain ? Refusal::None : Refusal::Integrity;
    if (plain) opened.frame = std::move(*plain);
  } else {
    ++counters_.noKey;
    return std::nullopt;
  }
  switch (why) {
    case Refusal::None: break;
    case Refusal::TooShort:
    case Refusal::NoExtendedIv: ++counters_.malformed; return std::nullopt;
    case Refusal::Replay: ++counters_.replays; return std::nullopt;
    case Refusal::Integrity: ++counters_.integrityFailures; return std::nullopt;
  }
  opened.frame.insert(opened.frame.begin(), header.begin(), header.end());
  opened.frame[1] &= static_cast<std::uint8_t>(~dot11::flag::Protected);
  ++counters_.opened;
  return opened;
}

void FrameKeys::forgetPreviousCcmp(const MacAddress& station) {
  const auto found = previousCcmp_.find(station);
  if (found == previousCcmp_.end()) return;
  air::Wipe(found->second.key);
  previousCcmp_.erase(found);
}

// WEP, or CKIP when the network runs it: key permutation for the RC4 key, CMIC in the body.
dot11::Bytes FrameKeys::sealStatic(std::span<const std::uint8_t> header, std::span<const std::uint8_t> plain) {
  wepIv_ = (wepIv_ + 1) & 0xFFFFFF;
  const dot11::Bytes& key = wepKeys_[wepTransmitIndex_];
  if (ckipFlags_ == 0) return WepSeal(key, wepIv_, wepTransmitIndex_, plain);
  CkipKey ckipKey = CkipKeyOf(key);
  dot11::Bytes data(plain.begin(), plain.end());
  if ((ckipFlags_ & kCkipCmic) != 0) {
    const auto [destination, source] = MsduAddresses(header);
    if (AddCkipHeader(ckipKey, destination, source, ckipSequence_, data)) ckipSequence_ += 2;
  }
  dot11::Bytes body = (ckipFlags_ & kCkipKeyPermutation) != 0
                          ? CkipSeal(ckipKey, header[1] & 0x03, wepIv_, wepTransmitIndex_, data)
                          : WepSeal(key, wepIv_, wepTransmitIndex_, data);
  ckipKey.fill(0);
  return body;
}

std::optional<dot11::Bytes> FrameKeys::openStatic(std::span<const std::uint8_t> header,
                                                  std::span<const std::uint8_t> key,
                                                  std::span<const std::uint8_t> body) const {
  if ((ckipFlags_ & kCkipKeyPermutation) == 0) return WepOpen(key, body);
  CkipKey ckipKey = CkipKeyOf(key);
  auto plain = CkipOpen(ckipKey, header[1] & 0x03, body);
  ckipKey.fill(0);
  return plain;
}

bool FrameKeys::finishCkip(const MacAddress& destination, const MacAddress& source, dot11::Bytes& msdu) {
  if (wepTransmitIndex_ >= wepKeys_.size()) {
    ++counters_.cmicFailures;
    return false;
  }
  CkipKey ckipKey = CkipKeyOf(wepKeys_[wepTransmitIndex_]);
  auto restored = RemoveCkipHeader(ckipKey, destination, source, msdu);
  ckipKey.fill(0);
  if (!restored) {
    ++counters_.cmicFailures;
    return false;
  }
  msdu = std::move(*restored);
  return true;
}

bool FrameKeys::finishMsdu(const MacAddress& station, DataCipher cipher, const MacAddress& destination,
                           const MacAddress& source, std::uint8_t priority, dot11::Bytes& msdu) {
  if (cipher == DataCipher::Wep && ckipFlags_ != 0) return finishCkip(destination, source, msdu);
  if (cipher != DataCipher::Tkip) return true;
  const auto found = pairwise_.find(station);
  if (found == pairwise_.end() || msdu.size() < kTkipMicBytes) {
    ++counters_.michaelFailures;
    return false;
  }
  Pairwise& entry = found->second;
  const std::size_t length = msdu.size() - kTkipMicBytes;
  const auto mic = MsduMichael(MichaelKey(entry.key.data() + receiveMichaelOffset(), 8), destination, source, priority,
                               std::span(msdu).first(length));
  const auto pending = entry.pendingTkip;
  entry.pendingTkip.reset();
  if (!std::equal(mic.begin(), mic.end(), msdu.begin() + static_cast<std::ptrdiff_t>(length))) {
    ++counters_.michaelFailures;
    return false;
  }
  entry.lastReceived = pending;
  msdu.resize(length);
  return true;
}

}  // namespace simair
