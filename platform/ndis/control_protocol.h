#pragma once
// The wire form of control-device I/O between a user-mode process and the driver host: one
// SOCK_SEQPACKET message per request and per reply (see README.md, "Control device on Linux").
//
//   request: magic "ZCDQ", u16 version 1, u16 flags 0, u32 request id, u32 I/O control code,
//            u32 input length, u32 output capacity, then exactly the input bytes
//   reply:   magic "ZCDR", u32 request id, u32 NTSTATUS, u32 information, then that many bytes
//
// All words little-endian. An eventfd handed over with a request travels as SCM_RIGHTS.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace ndis {

inline constexpr std::uint32_t kControlRequestMagic = 0x5144435A;  // "ZCDQ"
inline constexpr std::uint32_t kControlReplyMagic = 0x5244435A;    // "ZCDR"
inline constexpr std::uint16_t kControlProtocolVersion = 1;
inline constexpr std::size_t kControlRequestHeaderSize = 24;
inline constexpr std::size_t kControlReplyHeaderSize = 16;
// Largest input and output of one request: above every I/O buffer the driver uses.
inline constexpr std::uint32_t kControlMaxData = 64 * 1024;
inline constexpr std::size_t kControlMaxMessage = kControlRequestHeaderSize + kControlMaxData;

struct ControlRequest {
  std::uint32_t id = 0;
  std::uint32_t code = 0;
  std::uint32_t outputCapacity = 0;
  std::vector<std::uint8_t> input;
};

struct ControlReply {
  std::uint32_t id = 0;
  std::uint32_t status = 0;  // NTSTATUS
  std::vector<std::uint8_t> output;
};

// Each parser checks every length against the message before use; on refusal it says why.
std::optional<ControlRequest> ParseControlRequest(std::span<const std::uint8_t> message, std::string* reason);
std::optional<ControlReply> ParseControlReply(std::span<const std::uint8_t> message, std::string* reason);

std::vector<std::uint8_t> EncodeControlRequest(const ControlRequest& request);
std::vector<std::uint8_t> EncodeControlReply(const ControlReply& reply);
// The fixed part alone, for a sender that gathers it with the data in one message.
std::array<std::uint8_t, kControlRequestHeaderSize> EncodeControlRequestHeader(std::uint32_t id, std::uint32_t code,
                                                                              std::uint32_t inputLength,
                                                                              std::uint32_t outputCapacity);
std::array<std::uint8_t, kControlReplyHeaderSize> EncodeControlReplyHeader(std::uint32_t id, std::uint32_t status,
                                                                          std::uint32_t information);

// The request id of a message too broken to parse, when its header still carries one (0 otherwise),
// so the refusal can be matched by the sender.
std::uint32_t ControlRequestIdOf(std::span<const std::uint8_t> message);

}  // namespace ndis
