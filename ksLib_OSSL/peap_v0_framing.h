// PEAP version 0 carries inner EAP packets without their 4-byte header (the header is
// rebuilt on receipt), except the EAP-TLV packets that end the inner conversation, which
// travel whole; an inner Success or Failure goes out as an EAP-TLV Result response.
#pragma once

#include <collections/dcfByteArray.h>

#include <cstdint>

struct PeapV0State {
  std::uint8_t innerId = 0;  // identifier of the last inner packet written or rebuilt
  bool innerSeen = false;    // an inner packet has been delivered
};

// What goes into the tunnel for one inner packet; false (nothing changed) for a packet that
// is malformed or of a code other than 1 to 4.
bool CompressPeapV0Packet(const std::uint8_t* packet, std::uint32_t length, PeapV0State& state,
                          SecureByteArray& out);
// The inner packet for the tunnel data: a whole EAP-TLV packet whose first TLV is a Result
// becomes a 4-byte EAP Success (status 1) or Failure; anything else (always the first
// packet) gets a Request header with the identifier of the outer request that carried it:
// the server rebuilds our compressed response's header with the outer identifier too, and
// methods such as MD5-Challenge hash it. `data` is not empty.
void ExpandPeapV0Packet(const std::uint8_t* data, std::uint32_t length,
                        std::uint8_t outerIdentifier, PeapV0State& state, SecureByteArray& out);
