// Relays the server's requests into an EapSession, as the supplicant's PAE does: a
// 1400-byte response buffer, and the conversation ends on our side when the runner fails.
#pragma once

#include <optional>
#include <span>

#include "ksSupp/eap/eap_session.h"
#include "tests/peers/eap_conversation.h"

namespace peers {

class EapSessionResponder : public EapResponder {
 public:
  explicit EapSessionResponder(EapSession& session) : session_(session) {}

  std::optional<Bytes> OnRequest(std::span<const uint8_t> request) override {
    Bytes response(1400);
    std::uint32_t length = 0;
    lastStatus_ = session_.ProcessRequest(
        request.data(), static_cast<std::uint32_t>(request.size()), response.data(),
        static_cast<std::uint32_t>(response.size()), &length);
    if (lastStatus_ != 0) return std::nullopt;
    response.resize(length);
    return response;
  }

  // The runner's result for the last request it was given.
  std::uint32_t lastStatus() const { return lastStatus_; }

 private:
  EapSession& session_;
  std::uint32_t lastStatus_ = 0;
};

}  // namespace peers
