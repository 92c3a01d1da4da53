// Waiting for the next frame another host sent to an AF_PACKET socket.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace peers {

// The length of the next incoming frame, read into buffer, or nullopt when none came before
// deadline (a guard against a silent peer, not a protocol timer). Frames the socket's own
// host sent are skipped. Throws on a socket error; what names the socket in the message.
std::optional<std::size_t> ReceiveIncoming(int socket, std::uint8_t* buffer, std::size_t size,
                                           std::chrono::steady_clock::time_point deadline,
                                           const char* what);

}  // namespace peers
