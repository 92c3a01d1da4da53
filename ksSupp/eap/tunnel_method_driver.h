// Drives a TLS-family EAP method against the scripted tunnel server in tests (header-only,
// never part of the library).
#pragma once

#include <optional>

#include "ksLib_OSSL/tunnel_test_server.h"
#include "ksSupp/eap/eap_method.h"

namespace tls_testing {

// Hands one request to a method and returns its response (nullopt when it refused the
// request; *status says why).
inline std::optional<Bytes> Answer(EapMethod& method, const Bytes& request,
                                   std::uint32_t* status) {
  *status = method.ReceiveEapRequest(request.data(), static_cast<std::uint32_t>(request.size()));
  if (*status != 0) return std::nullopt;
  Bytes response(65535);
  std::uint32_t length = 0;
  *status = method.GetEapResponse(response.data(), static_cast<std::uint32_t>(response.size()),
                                  &length);
  if (*status != 0) return std::nullopt;
  response.resize(length);
  return response;
}

// Runs the handshake: true once the tunnel is open and `lastResponse` holds our answer to
// the server's last handshake message.
inline bool Handshake(TunnelTestServer& server, EapMethod& method, Bytes& lastResponse,
                      std::uint32_t* status) {
  Bytes request = server.Start();
  for (int round = 0; round < 20; ++round) {
    std::optional<Bytes> response = Answer(method, request, status);
    if (!response) return false;
    lastResponse = *response;
    std::optional<Bytes> next = server.OnResponse(*response);
    if (!next) return server.established();
    request = *next;
  }
  return false;
}

}  // namespace tls_testing
