// EAPOL framing (IEEE 802.1X): u8 protocol version, u8 packet type, u16 big-endian body
// length, body. Frames arrive from the air possibly padded past the body.
#pragma once

#include <cstdint>

class dcfByteArray;
class SupplicantPae;

inline constexpr std::uint8_t kEapolEapPacket = 0;
inline constexpr std::uint8_t kEapolStart = 1;
inline constexpr std::uint8_t kEapolLogoff = 2;
inline constexpr std::uint8_t kEapolKey = 3;
inline constexpr std::uint32_t kEapolHeaderSize = 4;

// Replaces frame by {version, type, body length, body}.
void WriteEapolFrame(dcfByteArray& frame, std::uint8_t version, std::uint8_t type,
                     const std::uint8_t* body, std::uint32_t length);

struct EapolHeader {
  std::uint8_t version = 0;
  std::uint8_t type = 0;
  std::uint16_t bodyLength = 0;
  const std::uint8_t* body = nullptr;  // bodyLength bytes inside the frame
};

// What a received frame turned out to be.
enum class EapolReceived { kEapPacket, kKey, kDiscarded };

// Reads a received frame for the port's PAE: an EAP packet goes to its ReceiveEap (and sets
// the version of our frames from the authenticator's); a key frame is left to the caller;
// anything else is discarded with a trace. Does not step the PAE.
EapolReceived ReceiveEapolFrame(SupplicantPae& pae, const std::uint8_t* frame,
                                std::uint32_t length, EapolHeader& header);
