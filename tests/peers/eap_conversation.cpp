#include "tests/peers/eap_conversation.h"

#include <cstdio>

namespace peers {
namespace {

constexpr uint8_t kRequest = 1;
constexpr uint8_t kResponse = 2;
constexpr uint8_t kSuccess = 3;
constexpr uint8_t kFailure = 4;
constexpr uint8_t kTypeIdentity = 1;

std::string Hex(const Bytes& bytes) {
  std::string text;
  char pair[3];
  for (uint8_t b : bytes) {
    std::snprintf(pair, sizeof pair, "%02x", b);
    text += pair;
  }
  return text;
}

Bytes IdentityResponse(uint8_t identifier, std::string_view identity) {
  const size_t length = 5 + identity.size();
  Bytes packet = {kResponse, identifier, static_cast<uint8_t>(length >> 8),
                  static_cast<uint8_t>(length), kTypeIdentity};
  packet.insert(packet.end(), identity.begin(), identity.end());
  return packet;
}

}  // namespace

const char* ToString(EapOutcome outcome) {
  switch (outcome) {
    case EapOutcome::kSuccess:
      return "EAP-Success";
    case EapOutcome::kFailure:
      return "EAP-Failure";
    case EapOutcome::kGaveUp:
      return "station gave up";
    case EapOutcome::kTimeout:
      return "server silent";
  }
  return "?";
}

std::string Describe(const EapTranscript& transcript) {
  std::string text = std::string("outcome: ") + ToString(transcript.outcome) + "\n";
  for (const auto& p : transcript.received) text += "  server:  " + Hex(p) + "\n";
  for (const auto& p : transcript.sent) text += "  station: " + Hex(p) + "\n";
  return text;
}

EapTranscript RunEapConversation(EapolPort& port, std::string_view identity,
                                 EapResponder& responder, std::chrono::milliseconds wait) {
  EapTranscript transcript;
  Bytes lastRequest;
  Bytes lastResponse;
  port.Send(kEapolStart);
  for (;;) {
    auto frame = port.Receive(wait);
    if (!frame) {
      transcript.outcome = EapOutcome::kTimeout;
      return transcript;
    }
    if (frame->type != kEapolEapPacket || frame->body.size() < 4) continue;
    const Bytes& packet = frame->body;
    transcript.received.push_back(packet);
    const uint8_t code = packet[0];
    if (code == kSuccess || code == kFailure) {
      transcript.outcome = code == kSuccess ? EapOutcome::kSuccess : EapOutcome::kFailure;
      return transcript;
    }
    if (code != kRequest || packet.size() < 5) continue;
    // A retransmitted request gets the same answer again, without asking the responder.
    if (packet == lastRequest) {
      if (!lastResponse.empty()) port.SendEap(lastResponse);
      continue;
    }
    std::optional<Bytes> response;
    if (packet[4] == kTypeIdentity) {
      response = IdentityResponse(packet[1], identity);
    } else {
      response = responder.OnRequest(packet);
    }
    if (!response) {
      transcript.outcome = EapOutcome::kGaveUp;
      return transcript;
    }
    lastRequest = packet;
    lastResponse = *response;
    if (!response->empty()) {
      transcript.sent.push_back(*response);
      port.SendEap(*response);
    }
  }
}

}  // namespace peers
