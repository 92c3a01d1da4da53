#include "platform/ndis/control_protocol.h"

#include <cstring>

namespace ndis {
namespace {

std::uint32_t Word(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return static_cast<std::uint32_t>(bytes[offset]) | static_cast<std::uint32_t>(bytes[offset + 1]) << 8 |
         static_cast<std::uint32_t>(bytes[offset + 2]) << 16 | static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
}

std::uint16_t Half(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return static_cast<std::uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

void PutWord(std::span<std::uint8_t> out, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::nullopt_t Refuse(std::string* reason, const char* why) {
  if (reason != nullptr) *reason = why;
  return std::nullopt;
}

}  // namespace

std::optional<ControlRequest> ParseControlRequest(std::span<const std::uint8_t> message, std::string* reason) {
  if (message.size() < kControlRequestHeaderSize) return Refuse(reason, "shorter than the header");
  if (Word(message, 0) != kControlRequestMagic) return Refuse(reason, "bad magic");
  if (Half(message, 4) != kControlProtocolVersion) return Refuse(reason, "unknown version");
  if (Half(message, 6) != 0) return Refuse(reason, "unknown flags");
  ControlRequest request;
  request.id = Word(message, 8);
  request.code = Word(message, 12);
  const std::uint32_t inputLength = Word(message, 16);
  request.outputCapacity = Word(message, 20);
  if (inputLength > kControlMaxData) return Refuse(reason, "input too long");
  if (request.outputCapacity > kControlMaxData) return Refuse(reason, "output capacity too large");
  if (message.size() - kControlRequestHeaderSize != inputLength) {
    return Refuse(reason, "input length differs from the bytes sent");
  }
  request.input.assign(message.begin() + kControlRequestHeaderSize, message.end());
  return request;
}

std::optional<ControlReply> ParseControlReply(std::span<const std::uint8_t> message, std::string* reason) {
  if (message.size() < kControlReplyHeaderSize) return Refuse(reason, "shorter than the header");
  if (Word(message, 0) != kControlReplyMagic) return Refuse(reason, "bad magic");
  ControlReply reply;
  reply.id = Word(message, 4);
  reply.status = Word(message, 8);
  const std::uint32_t information = Word(message, 12);
  if (information > kControlMaxData) return Refuse(reason, "information too large");
  if (message.size() - kControlReplyHeaderSize != information) {
    return Refuse(reason, "information differs from the bytes sent");
  }
  reply.output.assign(message.begin() + kControlReplyHeaderSize, message.end());
  return reply;
}

std::array<std::uint8_t, kControlRequestHeaderSize> EncodeControlRequestHeader(std::uint32_t id, std::uint32_t code,
                                                                              std::uint32_t inputLength,
                                                                              std::uint32_t outputCapacity) {
  std::array<std::uint8_t, kControlRequestHeaderSize> header;
  PutWord(header, 0, kControlRequestMagic);
  PutWord(header, 4, kControlProtocolVersion);  // version, then flags 0
  PutWord(header, 8, id);
  PutWord(header, 12, code);
  PutWord(header, 16, inputLength);
  PutWord(header, 20, outputCapacity);
  return header;
}

std::array<std::uint8_t, kControlReplyHeaderSize> EncodeControlReplyHeader(std::uint32_t id, std::uint32_t status,
                                                                          std::uint32_t information) {
  std::array<std::uint8_t, kControlReplyHeaderSize> header;
  PutWord(header, 0, kControlReplyMagic);
  PutWord(header, 4, id);
  PutWord(header, 8, status);
  PutWord(header, 12, information);
  return header;
}

std::vector<std::uint8_t> EncodeControlRequest(const ControlRequest& request) {
  const auto header = EncodeControlRequestHeader(request.id, request.code, static_cast<std::uint32_t>(request.input.size()),
                                                 request.outputCapacity);
  std::vector<std::uint8_t> out(header.begin(), header.end());
  out.insert(out.end(), request.input.begin(), request.input.end());
  return out;
}

std::vector<std::uint8_t> EncodeControlReply(const ControlReply& reply) {
  const auto header = EncodeControlReplyHeader(reply.id, reply.status, static_cast<std::uint32_t>(reply.output.size()));
  std::vector<std::uint8_t> out(header.begin(), header.end());
  out.insert(out.end(), reply.output.begin(), reply.output.end());
  return out;
}

std::uint32_t ControlRequestIdOf(std::span<const std::uint8_t> message) {
  if (message.size() < 12 || Word(message, 0) != kControlRequestMagic) return 0;
  return Word(message, 8);
}

}  // namespace ndis
