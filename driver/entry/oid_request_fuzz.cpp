// Sequences of OID queries and sets through the miniport's request handlers, as the NDIS
// runtime calls them, against the started driver associated under any cipher: any OID (mostly
// those the driver lists or handles), any buffer length and contents. Every buffer is a heap
// block of exactly its length, so a handler that reads or writes past it is caught; each answer
// must keep the request contract: a status a request may end with, never more bytes written or
// read than the buffer holds, a needed length beyond the buffer when it is too short, and no
// request left pending.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "driver/entry/testing/fuzz_driver.h"
#include "driver/ndis/private_oids.h"
#include "platform/ndis/ntddndis.h"

namespace {

using zelnic::core::testing::Cipher;

constexpr Cipher kCiphers[] = {Cipher::kNone, Cipher::kWep, Cipher::kTkip, Cipher::kCcmp};
constexpr std::size_t kMaxRequests = 16;
constexpr std::size_t kMaxBufferBytes = 8192;
// A driver that asks for more than this for any answer has lost its length.
constexpr ULONG kMaxSensibleNeeded = 1u << 20;

constexpr NDIS_STATUS kRequestStatuses[] = {
    NDIS_STATUS_SUCCESS,          NDIS_STATUS_INVALID_OID,   NDIS_STATUS_INVALID_LENGTH, NDIS_STATUS_INVALID_DATA,
    NDIS_STATUS_BUFFER_TOO_SHORT, NDIS_STATUS_NOT_SUPPORTED, NDIS_STATUS_NOT_ACCEPTED,   NDIS_STATUS_RESOURCES,
    NDIS_STATUS_FAILURE,          NDIS_STATUS_ADAPTER_NOT_READY,
};

// Handled by the driver but not in its supported list.
constexpr NDIS_OID kUnlisted[] = {OID_HLVN_SSID, OID_HLVN_UTILITY_MODE, OID_802_11_CAPABILITY, OID_802_11_PMKID,
                                  OID_HLVN_CCX_FLAGS, OID_HLVN_CCX_NETWORK_EAP, OID_HLVN_CCX_AP_LIST,
                                  OID_HLVN_CCX_SEND_AP_REPORT, OID_HLVN_CCX_ROAM, OID_HLVN_CCX_CCKM_ELEMENT,
                                  OID_HLVN_CCX_CCKM_CANCEL};

const std::vector<NDIS_OID>& KnownOids(zelnic::testing::DriverHarness& h) {
  static const std::vector<NDIS_OID> oids = [&] {
    const ndis::OidResult list = h.host->query(OID_GEN_SUPPORTED_LIST, kMaxBufferBytes);
    if (list.status != NDIS_STATUS_SUCCESS) __builtin_trap();
    std::vector<NDIS_OID> known(list.bytesDone / 4);
    std::memcpy(known.data(), list.data.data(), known.size() * 4);
    known.insert(known.end(), std::begin(kUnlisted), std::end(kUnlisted));
    return known;
  }();
  return oids;
}

[[noreturn]] void Broken(const char* what, bool isSet, NDIS_OID oid, std::size_t length, const ndis::OidResult& r) {
  std::fprintf(stderr, "%s %08X (buffer %zu): %s; status %08X, done %u, needed %u\n", isSet ? "set" : "query", oid,
               length, what, static_cast<unsigned>(r.status), r.bytesDone, r.bytesNeeded);
  __builtin_trap();
}

void CheckContract(bool isSet, NDIS_OID oid, std::size_t length, const ndis::OidResult& r) {
  if (r.timedOut) Broken("still pending", isSet, oid, length, r);
  if (std::find(std::begin(kRequestStatuses), std::end(kRequestStatuses), r.status) == std::end(kRequestStatuses)) {
    Broken("not a status a request ends with", isSet, oid, length, r);
  }
  if (r.bytesDone > length) Broken("more bytes done than the buffer holds", isSet, oid, length, r);
  if (r.bytesNeeded > kMaxSensibleNeeded) Broken("needs an absurd length", isSet, oid, length, r);
  // A query told "too short" comes again with what it needs: that must be more than it had. A
  // set may leave its need untold (0), but a need it tells is more than it had.
  if (r.status == NDIS_STATUS_BUFFER_TOO_SHORT && r.bytesNeeded <= length && (!isSet || r.bytesNeeded != 0)) {
    Broken("too short, yet needs no more than the buffer", isSet, oid, length, r);
  }
  if (!isSet && r.data.size() != length) Broken("the buffer changed its length", isSet, oid, length, r);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Input: the cipher, then requests of {u8 kind, u8 OID pick, u16 buffer length, [u32 OID],
  // contents}: kind bit 0 sets (else queries), bit 1 takes the OID from the four bytes after the
  // length (else the pick indexes the known OIDs); the contents fill the buffer from its start
  // as far as the input goes, zeros after.
  if (size < 1) return 0;
  auto& driver = zelnic::testing::FuzzDriver::Instance();
  zelnic::testing::DriverHarness& h = driver.harness();
  const std::vector<NDIS_OID>& known = KnownOids(h);
  driver.Reassociate(kCiphers[data[0] % std::size(kCiphers)]);
  std::size_t at = 1;
  for (std::size_t n = 0; n < kMaxRequests && at + 4 <= size; ++n) {
    const std::uint8_t kind = data[at];
    NDIS_OID oid = known[data[at + 1] % known.size()];
    const std::size_t length = std::min<std::size_t>(data[at + 2] | data[at + 3] << 8, kMaxBufferBytes);
    at += 4;
    if ((kind & 2) != 0) {
      if (at + 4 > size) break;
      std::memcpy(&oid, data + at, 4);
      at += 4;
    }
    std::vector<std::uint8_t> buffer(length);
    const std::size_t taken = std::min(length, size - at);
    std::copy_n(data + at, taken, buffer.begin());
    at += taken;
    const bool isSet = (kind & 1) != 0;
    const ndis::OidResult result = isSet ? h.host->set(oid, buffer) : h.host->query(oid, buffer);
    CheckContract(isSet, oid, length, result);
  }
  driver.CheckRules();
  return 0;
}
