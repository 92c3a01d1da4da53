#include "driver/core/key_table.h"

#include <cstring>

namespace zelnic::core {
namespace {

constexpr std::uint32_t kTransmitBit = 0x80000000u;
constexpr std::uint32_t kPairwiseBit = 0x40000000u;
constexpr std::uint32_t kRscGivenBit = 0x20000000u;
constexpr std::uint32_t kAuthenticatorBit = 0x10000000u;

std::uint32_t Load32(const std::uint8_t* p) {
  return p[0] | static_cast<std::uint32_t>(p[1]) << 8 | static_cast<std::uint32_t>(p[2]) << 16 |
         static_cast<std::uint32_t>(p[3]) << 24;
}

}  // namespace

void WipeKeyBytes(void* p, std::size_t n) {
  volatile std::uint8_t* bytes = static_cast<volatile std::uint8_t*>(p);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = 0;
}

KeyRefusal ReadKeyRecord(const std::uint8_t* record, std::uint32_t length, KeyInstall& install) {
  install = KeyInstall{};
  // The key material starts at offset 32: the record must hold it whole.
  if (record == nullptr || length < kAddKeyFixedBytes) return KeyRefusal::kRecordTooShort;
  const std::uint32_t keyIndex = Load32(record + 4);
  const std::uint32_t keyLength = Load32(record + 8);
  if (keyLength < 5 || keyLength > 32) return KeyRefusal::kBadKeyLength;
  if (length - kAddKeyFixedBytes < keyLength) return KeyRefusal::kRecordTooShort;
  const bool transmit = (keyIndex & kTransmitBit) != 0;
  const bool pairwise = (keyIndex & kPairwiseBit) != 0;
  std::uint32_t id = keyIndex & 0xFF;
  if (pairwise && !transmit) return KeyRefusal::kPairwiseNoTransmit;
  if (pairwise && id != 0) return KeyRefusal::kPairwiseNotId0;
  const bool receiveOnly = !transmit;
  if (receiveOnly && id == 0) id = 1;  // identifier 0 is the pairwise slot
  if (id > 3) return KeyRefusal::kBadKeyId;

  install.keyIndex = keyIndex;
  install.id = id;
  install.transmit = transmit;
  install.pairwise = pairwise;
  install.receiveOnly = receiveOnly;
  install.keyLength = keyLength;
  install.bssid = record + 12;
  install.material = record + kAddKeyFixedBytes;
  install.rscGiven = (keyIndex & kRscGivenBit) != 0;
  for (int i = 0; i < 6; ++i) install.rsc |= static_cast<std::uint64_t>(record[24 + i]) << (8 * i);
  return KeyRefusal::kNone;
}

KeyRefusal ReadRemoveKeyRecord(const std::uint8_t* record, std::uint32_t length, std::uint32_t& keyIndex,
                               const std::uint8_t*& bssid) {
  keyIndex = 0;
  bssid = nullptr;
  if (record == nullptr || length < kRemoveKeyBytes) return KeyRefusal::kRecordTooShort;
  const std::uint32_t index = Load32(record + 4);
  if ((index & kTransmitBit) != 0) return KeyRefusal::kTransmitBitOnRemove;
  if ((index & 0xFF) > 3) return KeyRefusal::kBadKeyId;
  keyIndex = index;
  bssid = record + 8;
  return KeyRefusal::kNone;
}

void FillKeyEntry(KeyEntry& entry, const KeyInstall& install, const std::uint8_t ownAddress[6], bool wpaNone) {
  WipeKeyBytes(&entry, sizeof entry);
  const std::uint16_t role = install.pairwise ? kKeyPairwise : (install.receiveOnly ? kKeyReceiveOnly : 0);
  entry.flags = role;
  std::memcpy(entry.bssid, install.bssid, 6);
  const std::uint8_t* material = install.material;
  entry.keyLength = static_cast<std::uint8_t>(install.keyLength);
  std::memcpy(entry.keyMaterial, material, install.keyLength);
  std::memcpy(entry.temporalKey, material, install.keyLength < 16 ? install.keyLength : 16);
  if (install.keyLength == 32) {
    // An authenticator's key sends with bytes 16..23; ours receive with them. WPA-None peers
    // share one Michael key both ways.
    const bool authenticator = (install.keyIndex & kAuthenticatorBit) != 0;
    const std::uint8_t* first = material + 16;
    const std::uint8_t* second = wpaNone ? first : material + 24;
    std::memcpy(entry.michaelTransmitKey, authenticator ? first : second, 8);
    std::memcpy(entry.michaelReceiveKey, authenticator ? second : first, 8);
  }
  if (install.rscGiven) entry.receiveCounter = entry.transmitCounter = install.rsc;
  entry.flags |= kKeyValid;
  std::memcpy(entry.stationAddress, ownAddress, 6);
}

AdapterKeyTable::~AdapterKeyTable() { Clear(); }

void AdapterKeyTable::Clear() {
  WipeKeyBytes(entries_, sizeof entries_);
  defaultKeyIds_ = {};
  keysInstalled_ = 0;
  ++generation_;
}

KeyRefusal AdapterKeyTable::AddKey(const std::uint8_t* record, std::uint32_t length, const std::uint8_t ownAddress[6],
                                   bool wpaNone) {
  KeyInstall install;
  const KeyRefusal refusal = ReadKeyRecord(record, length, install);
  if (refusal == KeyRefusal::kNone) Install(install, ownAddress, wpaNone);
  return refusal;
}

void AdapterKeyTable::Install(const KeyInstall& install, const std::uint8_t ownAddress[6], bool wpaNone) {
  FillKeyEntry(entries_[(wpaNone || install.pairwise) ? 0 : install.id], install, ownAddress, wpaNone);
  if (install.transmit) {
    defaultKeyIds_.previousTransmit = defaultKeyIds_.transmit;
    defaultKeyIds_.transmit = static_cast<std::uint8_t>(install.id);
  } else {
    defaultKeyIds_.previousGroup = defaultKeyIds_.group;
    defaultKeyIds_.group = static_cast<std::uint8_t>(install.id);
  }
  ++keysInstalled_;
  ++generation_;
}

KeyRefusal AdapterKeyTable::RemoveKey(std::uint32_t keyIndex) {
  if ((keyIndex & kTransmitBit) != 0) return KeyRefusal::kTransmitBitOnRemove;
  const std::uint32_t id = keyIndex & 0xFF;
  if (id > 3) return KeyRefusal::kBadKeyId;
  WipeKeyBytes(&entries_[(keyIndex & kPairwiseBit) != 0 ? 0 : id], sizeof(KeyEntry));
  ++generation_;
  return KeyRefusal::kNone;
}

}  // namespace zelnic::core
