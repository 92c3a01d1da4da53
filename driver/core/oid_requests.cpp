#include "driver/core/oid_requests.h"

#include "driver/core/chip_oid_requests.h"
#include "driver/core/ccx_oids.h"
#include "driver/core/connection_oids.h"
#include "driver/core/core_adapter.h"
#include "driver/core/key_installs.h"
#include "driver/core/oid_answers.h"
#include "driver/core/station_seams.h"
#include "driver/hal/firmware_commands.h"
#include "driver/ndis/private_oids.h"
#include "driver/ndis/status_codes.h"
#include "platform/ndis/ntddndis.h"

namespace zelnic::core {
namespace {

constexpr NDIS_OID kCoreOids[kCoreOidCount] = {
    0x00010103, 0x00010104, 0x00010106, 0x0001010C, 0x0001010E, 0x00010112, 0x00010113, 0x00010202,
    0x00020101, 0x00020102, 0x00020103, 0x00020104, 0x00020105, 0x01010103, 0x01010104, 0x01010105,
    0x01020101, 0x01020102, 0x01020103, 0x0D010101, 0x0D010102, 0x0D010108, 0x0D010113, 0x0D010114,
    0x0D010115, 0x0D010118, 0x0D010119, 0x0D01011A, 0x0D01011B, 0x0D01011C, 0x0D01011F, 0x0D01011D,
    0x0D01011E, 0x0D010120, 0x0D010203, 0x0D010204, 0x0D010206, 0x0D010207, 0x0D010209, 0x0D01020A,
    0x0D01020E, 0x0D010210, 0x0D010211, 0x0D010217, 0x0D020212, 0xFF01021E, 0xFF010218, 0xFF01020A,
    0xFF010216,
};

constexpr ULONG kStatisticsBytes = 104;
constexpr ULONG kPmkidHeaderBytes = 8;
constexpr ULONG kPmkidMaxBytes = 360;

NDIS_STATUS SupportedList(const OidQuery& q) {
  const ULONG size = (kCoreOidCount + kChipOidCount) * 4;
  if (q.buffer == nullptr || q.length < size) {
    *q.needed = size;
    return NDIS_STATUS_BUFFER_TOO_SHORT;
  }
  auto* out = static_cast<std::uint8_t*>(q.buffer);
  NdisMoveMemory(out, kCoreOids, sizeof kCoreOids);
  NdisMoveMemory(out + sizeof kCoreOids, kChipOids, sizeof kChipOids);
  *q.written = size;
  *q.needed = size;
  return NDIS_STATUS_SUCCESS;
}

// 64-bit counters: 8 bytes when there is room, the low 4 when only 4..7 bytes came.
NDIS_STATUS Counter64(const OidQuery& q, std::uint64_t value) {
  if (q.buffer != nullptr && q.length >= 8) return Answer(q, &value, 8, true);
  if (q.buffer != nullptr && q.length >= 4) {
    const auto low = static_cast<std::uint32_t>(value);
    NdisMoveMemory(q.buffer, &low, 4);
    *q.written = 4;
    *q.needed = 8;
    return NDIS_STATUS_SUCCESS;
  }
  *q.needed = 8;
  return NDIS_STATUS_BUFFER_TOO_SHORT;
}

// No key-table entry is marked installed while the key table is not built: the mapping
// always applies (0 becomes 2 outside open and shared authentication, 4 becomes 5; 6 stays).
std::uint32_t EncryptionStatusAnswer(const CoreAdapter* core) {
  const std::uint32_t status = core->Config.wepStatus;
  const std::uint32_t auth = core->Config.authMode;
  if (status == 0 && auth != 0 && auth != 1) return 2;
  if (status == 4) return 5;
  return status;
}

NDIS_STATUS Pmkid(CoreAdapter* core, const OidQuery& q) {
  std::uint8_t answer[kPmkidHeaderBytes + kPmkidEntries * kPmkidEntryBytes] = {};
  const OidState& s = core->Oid;
  // An empty list still answers its header: length 32, count 0.
  const std::uint32_t length = s.pmkidCount == 0 ? 32 : kPmkidHeaderBytes + s.pmkidCount * kPmkidEntryBytes;
  NdisMoveMemory(answer, &length, 4);
  NdisMoveMemory(answer + 4, &s.pmkidCount, 4);
  NdisMoveMemory(answer + kPmkidHeaderBytes, s.pmkids, s.pmkidCount * kPmkidEntryBytes);
  return Answer(q, answer, length > sizeof answer ? sizeof answer : length, true);
}

NDIS_STATUS Statistics(CoreAdapter* core, const OidQuery& q) {
  std::uint8_t answer[kStatisticsBytes] = {};
  const ULONG length = kStatisticsBytes;
  NdisMoveMemory(answer, &length, 4);
  // The firmware's eight counters fill the record's first eight counts, in reply order.
  for (std::uint32_t i = 0; i < kFirmwareCounterCount; ++i) {
    const std::uint64_t value = core->FirmwareCounters[i];
    NdisMoveMemory(answer + 8 + 8 * i, &value, 8);
  }
  const std::uint64_t received = core->Counters.Received;
  NdisMoveMemory(answer + 8 + 8 * 9, &received, 8);  // received fragments
  const NDIS_STATUS status = Answer(q, answer, sizeof answer, true);
  if (status == NDIS_STATUS_SUCCESS && core->Hal != nullptr) hal::SendGetStatistics(core->Hal);
  return status;
}

NDIS_STATUS Configuration(CoreAdapter* core, const OidQuery& q) {
  std::uint8_t answer[32] = {};
  if (core->Oid.configurationSet) NdisMoveMemory(answer, core->Oid.configuration, 32);
  std::uint32_t length;
  NdisMoveMemory(&length, answer, 4);
  if (length == 0) {
    length = 32;
    NdisMoveMemory(answer, &length, 4);
  }
  return Answer(q, answer, sizeof answer, true);
}

ULONG SetPmkid(CoreAdapter* core, const std::uint8_t* buffer, ULONG length, PULONG read) {
  std::uint32_t count = 0;
  // The count must fit the bytes that came, not only the upper bounds.
  if (length > kPmkidMaxBytes || !InputWord(buffer, length, 4, &count) || count > kPmkidEntries ||
      kPmkidHeaderBytes + count * kPmkidEntryBytes > length) {
    return StatusInvalidData;
  }
  OidState& s = core->Oid;
  PmkidEntry incoming[kPmkidEntries];
  NdisMoveMemory(incoming, buffer + kPmkidHeaderBytes, count * kPmkidEntryBytes);
  for (std::uint32_t i = 0; i < s.pmkidCount; ++i) {
    bool kept = false;
    for (std::uint32_t j = 0; j < count && !kept; ++j) {
      kept = NdisEqualMemory(&s.pmkids[i], &incoming[j], kPmkidEntryBytes) != 0;
    }
    if (kept) continue;
    s.pmkidHistory[s.pmkidHistoryNext] = s.pmkids[i];
    s.pmkidHistoryNext = (s.pmkidHistoryNext + 1) % kPmkidEntries;
  }
  NdisZeroMemory(s.pmkids, sizeof s.pmkids);
  NdisMoveMemory(s.pmkids, incoming, count * kPmkidEntryBytes);
  s.pmkidCount = count;
  *read = length;
  return StatusSuccess;
}

// NDIS_802_11_WEP {Length, KeyIndex, KeyLength, KeyMaterial}: the key goes to its slot. The
// key table and ciphers that use it come with the data path.
ULONG AddWep(CoreAdapter* core, const std::uint8_t* buffer, ULONG length, PULONG read) {
  std::uint32_t index = 0;
  std::uint32_t keyLength = 0;
  if (!InputWord(buffer, length, 4, &index) || !InputWord(buffer, length, 8, &keyLength)) return StatusInvalidData;
  const std::uint32_t slot = index & 0x7FFFFFFF;
  // The key must be in the bytes that came, not only fit its slot.
  if (slot > 3 || keyLength > 16 || 12 + keyLength > length) return StatusInvalidData;
  WepKeyRecord& record = core->Config.wepKeys[slot];
  NdisZeroMemory(&record, sizeof record);
  record.keyIndex = index;
  record.keyLength = keyLength;
  NdisMoveMemory(record.key, buffer + 12, keyLength);
  core->Ciphers.WepTransmitKeyRemoved = false;
  // Only the key whose KeyIndex has bit 31 becomes CKIP's transmit key, as it is WEP's: taking
  // every WEP key as a transmit key sent CKIP frames under the last key set.
  zelnic::core::CkipKeyInstalled(core, index, record.key, keyLength);
  zelnic::core::KeyInstalledForPendingFrame(core);
  *read = 12 + keyLength;
  return StatusSuccess;
}

// NDIS_802_11_KEY: a record that passes every check goes into the key tables.
ULONG AddKey(CoreAdapter* core, const std::uint8_t* buffer, ULONG length, PULONG read) {
  zelnic::core::KeyInstall install;
  if (zelnic::core::ReadKeyRecord(buffer, length, install) != zelnic::core::KeyRefusal::kNone) return StatusInvalidData;
  zelnic::core::InstallKey(core, install);
  *read = length;
  return StatusSuccess;
}

// With bit 31 the transmit key goes: no other stored key takes its place for sending.
ULONG RemoveWep(CoreAdapter* core, std::uint32_t index) {
  if ((index & 0x7FFFFFFF) > 3) return StatusInvalidData;
  NdisZeroMemory(&core->Config.wepKeys[index & 0x7FFFFFFF], sizeof(WepKeyRecord));  // the key is wiped
  if ((index & 0x80000000u) != 0) {
    for (WepKeyRecord& record : core->Config.wepKeys) record.keyIndex &= 0x7FFFFFFF;
    core->Ciphers.WepTransmitKeyRemoved = true;
  }
  return StatusSuccess;
}

}  // namespace

const UCHAR* ShadowBssList(CoreAdapter* core, ULONG* length) {
  *length = core->ShadowBssTable != nullptr ? kBssTableBytes : 0;
  return core->ShadowBssTable;
}

const UCHAR* ShadowBssExtras(CoreAdapter* core) { return &core->ShadowBssExtras[0][0]; }

void BuildCapabilityRecord(std::uint8_t (&record)[136]) {
  NdisZeroMemory(record, sizeof record);
  const std::uint32_t header[] = {136, 2, kPmkidEntries, 14};
  NdisMoveMemory(record, header, sizeof header);
  const std::uint32_t pairs[14][2] = {{0, 1}, {0, 0}, {1, 1}, {1, 0}, {3, 4}, {3, 6}, {4, 4},
                                      {4, 6}, {5, 4}, {5, 6}, {6, 4}, {6, 6}, {7, 4}, {7, 6}};
  NdisMoveMemory(record + sizeof header, pairs, sizeof pairs);  // 8 zero bytes stay at the end
}

NDIS_STATUS CoreQueryOid(CoreAdapter* core, NDIS_OID oid, PVOID buffer, ULONG length, PULONG written, PULONG needed) {
  *written = 0;
  *needed = 0;
  if (NDIS_STATUS status; QueryConnectionOid(core, oid, buffer, length, written, needed, status)) return status;
  const OidQuery q{buffer, length, written, needed};
  switch (oid) {
    case OID_GEN_SUPPORTED_LIST:
      return SupportedList(q);
    case OID_GEN_MEDIA_SUPPORTED:
    case OID_GEN_MEDIA_IN_USE:
    case OID_GEN_RCV_NO_BUFFER:
    case OID_802_3_MAC_OPTIONS:
    case OID_802_3_RCV_ERROR_ALIGNMENT:
    case OID_802_3_XMIT_ONE_COLLISION:
    case OID_802_3_XMIT_MORE_COLLISIONS:
      return AnswerWord(q, 0, true);
    case OID_GEN_MAXIMUM_FRAME_SIZE:
      return AnswerWord(q, 1500, true);
    case OID_GEN_VENDOR_ID:
      return Answer(q, core->StationAddress.data(), 4, true);
    case OID_GEN_MAXIMUM_TOTAL_SIZE:
      return AnswerWord(q, 1514, true);
    case OID_GEN_MAC_OPTIONS:
      return AnswerWord(q, 13, true);
    case OID_GEN_MEDIA_CONNECT_STATUS:
      return AnswerWord(q, core->MediaDisconnected ? 1 : 0, true);
    case OID_GEN_PHYSICAL_MEDIUM:
      return AnswerWord(q, 1, true);
    case OID_GEN_XMIT_OK:
      return Counter64(q, core->Counters.Completed);
    case OID_GEN_RCV_OK:
      return Counter64(q, core->Counters.Indicated);
    case OID_GEN_XMIT_ERROR:
      return AnswerWord(q, core->Counters.Failed, true);
    case OID_GEN_RCV_ERROR:
      return AnswerWord(q, core->Counters.ReceiveErrors, true);
    case OID_GEN_DIRECTED_FRAMES_RCV:
      return AnswerWord(q, core->Counters.Indicated, true);
    case OID_802_11_PRIVACY_FILTER:
      return NDIS_STATUS_NOT_SUPPORTED;
    case OID_802_11_ENCRYPTION_STATUS:
      return AnswerWord(q, EncryptionStatusAnswer(core), true);
    case OID_802_11_CAPABILITY: {
      std::uint8_t record[136];
      BuildCapabilityRecord(record);
      return Answer(q, record, sizeof record, true);
    }
    case OID_802_11_PMKID:
      return Pmkid(core, q);
    case OID_802_11_NETWORK_TYPES_SUPPORTED: {
      const std::uint32_t types[] = {2, 1, 3, 0};
      return Answer(q, types, sizeof types, true);
    }
    case OID_802_11_NETWORK_TYPE_IN_USE:
      return AnswerWord(q, core->Oid.networkTypeInUse, true);
    case OID_802_11_FRAGMENTATION_THRESHOLD:
      return AnswerWord(q, core->Config.fragThreshold, true);
    case OID_802_11_RTS_THRESHOLD:
      return AnswerWord(q, core->Config.rtsThreshold, true);
    case OID_802_11_DESIRED_RATES:
      return AnswerWord(q, core->Config.dataRate, true);
    case OID_802_11_CONFIGURATION:
      return Configuration(core, q);
    case OID_802_11_STATISTICS:
      return Statistics(core, q);
    case OID_HLVN_WLAN_MODE:
      return AnswerWord(q, core->WirelessMode, true);
    case OID_HLVN_BEACON_STATISTICS: {
      const std::uint32_t counters[] = {core->Link.BeaconsReceived, core->Link.MissedBeacons};
      return Answer(q, counters, sizeof counters, true);
    }
    case OID_HLVN_SWIFTBOND_AP_INFO: {
      std::uint8_t info[kSwiftBondApInfoBytes];
      SwiftBondApInfo(core, info);
      return Answer(q, info, sizeof info, true);
    }
    case OID_HLVN_ADHOC_G_MODE:
      return AnswerWord(q, core->Config.adhocGMode, true);
    case OID_HLVN_CCX_FLAGS:
      return AnswerWord(q, core->CcxWord, true);
    case OID_HLVN_CCX_NETWORK_EAP:
      return AnswerWord(q, core->Oid.ccxNetworkEap, true);
    default:
      return HalQueryOid(core, oid, buffer, length, written, needed);
  }
}

ULONG CoreSetOid(CoreAdapter* core, NDIS_OID oid, PVOID buffer, ULONG length, PULONG read, PULONG needed) {
  *read = 0;
  *needed = 0;
  if (ULONG status; SetConnectionOid(core, oid, buffer, length, read, needed, status)) return status;
  if (ULONG status; SetCcxOid(core, oid, buffer, length, read, status)) return status;
  const auto* in = static_cast<const std::uint8_t*>(buffer);
  std::uint32_t value = 0;
  const bool hasWord = InputWord(buffer, length, 0, &value);
  auto stored = [&](std::uint32_t& field) {
    if (!hasWord) return static_cast<ULONG>(StatusInvalidData);
    field = value;
    *read = 4;
    return static_cast<ULONG>(StatusSuccess);
  };
  switch (oid) {
    case OID_GEN_CURRENT_LOOKAHEAD:
      if (length != 4 || buffer == nullptr) return StatusInvalidLength;
      return stored(core->Oid.currentLookahead);
    case OID_GEN_PROTOCOL_OPTIONS:
      if (hasWord && (value & 1) != 0) return StatusNotSupported;
      return stored(core->Oid.protocolOptions);
    case OID_802_11_PRIVACY_FILTER:
      return StatusNotSupported;
    case OID_802_11_ENCRYPTION_STATUS:
      return stored(core->Config.wepStatus);
    case OID_802_11_ADD_WEP:
      return AddWep(core, in, length, read);
    case OID_802_11_ADD_KEY:
      return AddKey(core, in, buffer == nullptr ? 0 : length, read);
    case OID_802_11_REMOVE_KEY: {
      const ULONG status = zelnic::core::RemoveKey(core, in, buffer == nullptr ? 0 : length);
      if (status == StatusSuccess) *read = length;
      return status;
    }
    case OID_802_11_REMOVE_WEP:
      if (!hasWord) return StatusInvalidData;
      *read = 4;
      return RemoveWep(core, value);
    case OID_802_11_RELOAD_DEFAULTS:
      return StatusSuccess;
    case OID_802_11_PMKID:
      return SetPmkid(core, in, length, read);
    case OID_802_11_NETWORK_TYPE_IN_USE:
      if (!hasWord || (value != 1 && value != 3)) return StatusInvalidData;
      return stored(core->Oid.networkTypeInUse);
    case OID_802_11_FRAGMENTATION_THRESHOLD:
      if (hasWord && value == 0) value = 2346;
      if (!hasWord || value < 256 || value > 2346) return StatusInvalidData;
      return stored(core->Config.fragThreshold);
    case OID_802_11_CONFIGURATION:
      if (length != 32 || buffer == nullptr) return StatusBufferTooShort;
      NdisMoveMemory(core->Oid.configuration, in, 32);
      core->Oid.configurationSet = 1;
      *read = 32;
      return StatusSuccess;
    case OID_GEN_MACHINE_NAME:
    case OID_802_11_CAPABILITY:
      *read = length;
      return StatusSuccess;
    case OID_HLVN_WLAN_MODE:
      return stored(core->Oid.wlanModeWord);
    case OID_HLVN_RESET_STATISTICS:
      NdisZeroMemory(core->Oid.rssiBins, sizeof core->Oid.rssiBins);
      NdisZeroMemory(core->Oid.statistics, sizeof core->Oid.statistics);
      core->Link.BeaconsReceived = 0;
      core->Link.MissedBeacons = 0;
      return StatusSuccess;
    case OID_HLVN_SWIFTBOND_SECURITY:
      return SetSwiftBondSecurity(core, buffer, length, read);
    case OID_HLVN_SWIFTBOND_SETUP:
      return SetSwiftBondSetup(core, buffer, length, read);
    case OID_HLVN_ADHOC_G_MODE:
      if (!hasWord) return StatusInvalidData;
      core->AdhocMode = value == 1 ? 1 : 0;
      return stored(core->Config.adhocGMode);
    case OID_HLVN_CCX_FLAGS:
      return stored(core->CcxWord);
    case OID_HLVN_CCX_NETWORK_EAP:
      return stored(core->Oid.ccxNetworkEap);
    default:
      return HalSetOid(core, oid, buffer, length, read, needed);
  }
}

}  // namespace zelnic::core
