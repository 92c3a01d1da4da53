// The test host of the station side: it starts 802.1X on an EapolPort, answers the
// Identity request itself (as the supplicant's PAE does) and relays every other EAP Request
// to the responder under test and its response back, until the server ends it.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tests/peers/eapol_port.h"

namespace peers {

using Bytes = std::vector<uint8_t>;

// The runner or method under test.
class EapResponder {
 public:
  virtual ~EapResponder() = default;
  // The response to one EAP Request (the whole packet, header included): empty when there
  // is nothing to send, nullopt when our side ends the conversation because it failed.
  virtual std::optional<Bytes> OnRequest(std::span<const uint8_t> request) = 0;
};

enum class EapOutcome {
  kSuccess,  // the server sent EAP-Success
  kFailure,  // the server sent EAP-Failure
  kGaveUp,   // the responder ended the conversation
  kTimeout,  // the server fell silent
};
const char* ToString(EapOutcome outcome);

struct EapTranscript {
  EapOutcome outcome = EapOutcome::kTimeout;
  std::vector<Bytes> received;  // EAP packets from the server, in order
  std::vector<Bytes> sent;      // our EAP packets, the Identity response first
};

// The transcript in hex, one packet a line, for failure messages.
std::string Describe(const EapTranscript& transcript);

// Runs one conversation. `wait` bounds the silence between two server packets; it guards
// against a hung peer and is never reached by a working one.
EapTranscript RunEapConversation(EapolPort& port, std::string_view identity,
                                 EapResponder& responder,
                                 std::chrono::milliseconds wait = std::chrono::seconds(10));

}  // namespace peers
