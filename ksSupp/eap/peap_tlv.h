// The EAP-TLV request (EAP type 33) a PEAP server sends inside the tunnel: only its first TLV
// is read. A Result TLV (type 3, the two top bits being the mandatory and reserved flags)
// carries status 1 success or 2 failure; any other TLV is ignored unless it is mandatory.
#pragma once

#include <cstdint>

enum class PeapTlvOutcome {
  kNone,      // an optional TLV we do not know: nothing to do
  kSuccess,   // Result TLV, status 1
  kFailure,   // Result TLV, status 2
  kRefused,   // malformed, an unknown status, or a mandatory TLV we do not know
};

// `data` and `length` are the type data after the EAP type byte.
PeapTlvOutcome ReadPeapTlvRequest(const std::uint8_t* data, std::uint32_t length);
