#pragma once
// Reading the EAP header {code, identifier, 16-bit big-endian length} and, for Requests and
// Responses, the type byte, from bytes that came from a peer. Every field read lies inside
// both the buffer and the packet's own length.
#include <cstdint>

// False when fewer than 4 bytes are given, or fewer than the length field says, or the
// length field is below the header's 4 bytes; else the three header fields.
bool ParseEapHeader(const std::uint8_t* packet, std::uint32_t length, std::uint8_t& code,
                    std::uint8_t& identifier, std::uint16_t& eapLength);

// As ParseEapHeader; for codes 1 (Request) and 2 (Response) the type is byte 4 and the data
// start at byte 5 (eapLength - 5 bytes), and a packet too short to hold the type is refused;
// for other codes the type is 0 and the data start at byte 4 (eapLength - 4 bytes).
bool ParseEapPacket(const std::uint8_t* packet, std::uint32_t length, std::uint8_t& code,
                    std::uint8_t& identifier, std::uint16_t& eapLength, std::uint8_t& type,
                    const std::uint8_t*& data, std::uint32_t& dataLength);
