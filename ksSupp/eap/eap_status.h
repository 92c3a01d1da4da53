// The status word of the EAP methods and the runner: base byte of the component << 24,
// class << 12, detail. Zero means no error and nothing to report.
#pragma once

#include <cstdint>

// Classes (bits 12-23).
inline constexpr std::uint32_t kEapComplete = 0x1000;  // completed successfully
inline constexpr std::uint32_t kEapTlsError = 0x2000;  // the TLS connection failed
inline constexpr std::uint32_t kEapInProgress = 0x4000;
inline constexpr std::uint32_t kEapMalformed = 0x5000;        // packet, field or AVP
inline constexpr std::uint32_t kEapNoCredential = 0x6000;     // or the TLS peer not made
inline constexpr std::uint32_t kEapInternalFailure = 0x7000;  // e.g. response buffer too small
inline constexpr std::uint32_t kEapUnexpected = 0x8000;       // code, op-code, state, value
inline constexpr std::uint32_t kEapProofFailed = 0x9000;      // the server's proof
inline constexpr std::uint32_t kEapRejected = 0xA000;         // by the server
inline constexpr std::uint32_t kEapTlsFraming = 0xB000;
inline constexpr std::uint32_t kEapPasswordChangeFailed = 0xF000;
inline constexpr std::uint32_t kEapLogonHours = 0x10000;
inline constexpr std::uint32_t kEapNoDialIn = 0x11000;
inline constexpr std::uint32_t kEapAccountDisabled = 0x12000;

inline constexpr std::uint32_t kEapClassMask = 0xFFF000;

// Base bytes, already shifted into place.
inline constexpr std::uint32_t EapBase(std::uint8_t component) {
  return static_cast<std::uint32_t>(component) << 24;
}
inline constexpr std::uint32_t kEapBaseResumed = EapBase(0x00);
inline constexpr std::uint32_t kEapBaseTtls = EapBase(0x01);
inline constexpr std::uint32_t kEapBaseTls = EapBase(0x02);
inline constexpr std::uint32_t kEapBaseTtlsPap = EapBase(0x03);
inline constexpr std::uint32_t kEapBaseTtlsChap = EapBase(0x04);
inline constexpr std::uint32_t kEapBaseTtlsMsChap = EapBase(0x05);
inline constexpr std::uint32_t kEapBaseTtlsMsChapV2 = EapBase(0x06);
inline constexpr std::uint32_t kEapBaseSession = EapBase(0x07);
inline constexpr std::uint32_t kEapBaseMd5Challenge = EapBase(0x08);
inline constexpr std::uint32_t kEapBaseTokenCard = EapBase(0x09);
inline constexpr std::uint32_t kEapBaseMsChapV2 = EapBase(0x0A);
inline constexpr std::uint32_t kEapBasePeap = EapBase(0x0B);
inline constexpr std::uint32_t kEapBaseLeap = EapBase(0x0C);

inline constexpr bool EapStatusIsComplete(std::uint32_t status) {
  return (status & kEapClassMask) == kEapComplete;
}
inline constexpr std::uint32_t EapStatusClass(std::uint32_t status) {
  return status & kEapClassMask;
}

// The runner's own statuses.
inline constexpr std::uint32_t kEapSessionNoMethodRun = kEapBaseSession | kEapInProgress;
inline constexpr std::uint32_t kEapSessionMalformed = kEapBaseSession | kEapMalformed;
inline constexpr std::uint32_t kEapSessionInternalFailure = kEapBaseSession | kEapInternalFailure;
inline constexpr std::uint32_t kEapSessionUnexpected = kEapBaseSession | kEapUnexpected;
inline constexpr std::uint32_t kEapSessionFailureInTunnel = kEapBaseSession | kEapRejected;
inline constexpr std::uint32_t kEapSessionTypesExhausted = kEapBaseSession | 0xD000;
// The server kept asking past the runner's limit of requests in one conversation.
inline constexpr std::uint32_t kEapSessionTooManyRounds = kEapBaseSession | 0xE000;
