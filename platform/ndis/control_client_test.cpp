// The user-mode side of the control device against a peer that takes requests and never
// answers: the client gives up at its timeout, and the connection, out of step, ends.
#include "platform/ndis/control_client.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>

namespace ndis {
namespace {

TEST(ControlDeviceClient, GivesUpOnAReplyThatDoesNotComeAndTheConnectionEnds) {
  char pattern[] = "/tmp/zelnic-client-XXXXXX";
  const std::string directory = mkdtemp(pattern);
  const std::string path = directory + "/Mute0";
  const int listener = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  ASSERT_EQ(bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 1), 0);

  auto client = ControlDeviceClient::open(path);
  ASSERT_TRUE(client);
  const int mute = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);  // takes requests, answers none
  ASSERT_GE(mute, 0);
  const std::uint8_t request[4] = {1, 2, 3, 4};
  const auto start = std::chrono::steady_clock::now();
  const auto result = client->ioctl(0x00122400, request, 8, -1, std::chrono::milliseconds(50));
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_FALSE(result.answered);
  EXPECT_EQ(result.status, 0xC0000001u);
  EXPECT_FALSE(client->connected());
  EXPECT_GE(waited, std::chrono::milliseconds(40));
  EXPECT_LT(waited, std::chrono::seconds(5));
  std::uint8_t received[64];
  EXPECT_EQ(recv(mute, received, sizeof received, MSG_DONTWAIT), 28);  // the request did go out, whole

  close(mute);
  close(listener);
  std::filesystem::remove_all(directory);
}

}  // namespace
}  // namespace ndis
