#include "driver/ndis/utility_bssid_list.h"

namespace {

constexpr ULONG kDsConfigOffset = 72;       // Configuration.DSConfig within the entry, in kHz
constexpr ULONG kSupportedRatesOffset = 96;
constexpr ULONG kChannel14Khz = 2'484'000;

ULONG Word(const UCHAR* bytes) {
  ULONG value;
  NdisMoveMemory(&value, bytes, 4);
  return value;
}

void PutWord(UCHAR* bytes, ULONG value) { NdisMoveMemory(bytes, &value, 4); }

}  // namespace

ULONG FormatBssidListForUtility(const UCHAR* list, ULONG listLength, const UCHAR* extras, UCHAR* output,
                                ULONG outputLength) {
  if (output == nullptr || outputLength < 4) return 0;
  NdisZeroMemory(output, outputLength);
  ULONG count = list != nullptr && listLength >= 4 ? Word(list) : 0;
  const ULONG held = list != nullptr && listLength >= 4 ? (listLength - 4) / kWlanBssidEntryBytes : 0;
  if (count > held) count = held;
  if (count > (outputLength - 4) / kUtilityBssidRecordBytes) count = (outputLength - 4) / kUtilityBssidRecordBytes;
  PutWord(output, count);
  for (ULONG i = 0; i < count; ++i) {
    const UCHAR* entry = list + 4 + i * kWlanBssidEntryBytes;
    UCHAR* record = output + 4 + i * kUtilityBssidRecordBytes;
    PutWord(record, kUtilityBssidRecordBytes);
    NdisMoveMemory(record + 4, entry + 4, kWlanBssidEntryBytes - 4);
    const ULONG kilohertz = Word(entry + kDsConfigOffset);
    // At most five rates: the last three rate bytes are empty.
    const UCHAR* rates = entry + kSupportedRatesOffset;
    PutWord(record + 112, rates[5] == 0 && rates[6] == 0 && rates[7] == 0 ? 1 : 0);
    const ULONG channel = kilohertz == kChannel14Khz ? 14 : (kilohertz >= 2'407'000 ? (kilohertz - 2'407'000) / 5'000 : 0);
    PutWord(record + 116, channel);
    if (extras != nullptr && extras[i * kBssExtraRecordBytes] == 1) {
      NdisMoveMemory(record + 120, extras + i * kBssExtraRecordBytes + 1, 32);
    }
  }
  return 4 + count * kUtilityBssidRecordBytes;
}
