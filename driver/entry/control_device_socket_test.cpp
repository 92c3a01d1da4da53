// The driver's event ring read by another process over the control device's socket: events
// the driver posts reach the child's eventfd, and after an overflow the child reads the ten
// newest, oldest first; at halt the host ends a connection the child keeps open, after the
// driver's removal notice. The driver runs in virtual time; the parent turns the executor
// while the child talks to the socket.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "driver/entry/testing/driver_harness.h"
#include "driver/entry/testing/ioctl_words.h"
#include "driver/ndis/control_device.h"
#include "driver/ndis/private_oids.h"
#include "platform/ndis/control_client.h"
#include "platform/ndis/control_device_server.h"

namespace zelnic {
namespace {

using testing::WordAt;
using testing::Words;

// The child's side: register, say so, wait for the go, then check the ring. Exit code 0
// when all held, else the number of the check that failed.
int Child(const std::string& path, int toParent, int fromParent) {
  auto client = ndis::ControlDeviceClient::open(path);
  if (!client) return 1;
  const int event = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (client->ioctl(IOCTL_HLVN_REGISTER_EVENT, Words({7}), 0, event).status != 0) return 2;
  char go = 'r';
  if (write(toParent, &go, 1) != 1 || read(fromParent, &go, 1) != 1) return 3;
  pollfd polled{event, POLLIN, 0};
  if (poll(&polled, 1, 10'000) != 1) return 4;  // the driver signalled the eventfd
  auto ring = client->ioctl(IOCTL_HLVN_QUERY_OID, Words({OID_HLVN_EVENT_RING}), 4 + kUtilityEventReadSize);
  if (ring.status != 0 || WordAt(ring.output, 0) != 0) return 5;
  if (WordAt(ring.output, 4) != 10) return 6;
  for (std::uint32_t i = 0; i < 10; ++i) {
    if (WordAt(ring.output, 8 + i * kUtilityEventRecordSize + 4) != 101 + i) return 7;
  }
  return 0;
}

TEST(ControlDeviceSocket, AnotherProcessGetsTheTenNewestEventsThroughItsEventfd) {
  char pattern[] = "/tmp/zelnic-socket-XXXXXX";
  const std::string directory = mkdtemp(pattern);
  int toParent[2], fromParent[2];
  ASSERT_EQ(pipe(toParent), 0);
  ASSERT_EQ(pipe(fromParent), 0);
  const std::string path = directory + "/HlvnDev0";
  const pid_t child = fork();  // before any thread of ours exists
  if (child == 0) {
    for (int i = 0; i < 500 && !std::filesystem::exists(path); ++i) usleep(10'000);
    _exit(Child(path, toParent[1], fromParent[0]));
  }

  testing::DriverHarness h;
  ASSERT_EQ(h.start(), NDIS_STATUS_SUCCESS);
  std::string error;
  auto server = ndis::ControlDeviceServer::start(*h.host, h.scheduler, {directory, std::nullopt}, &error);
  ASSERT_NE(server, nullptr) << error;
  // Turns the executor (virtual time stands still) until the child says something.
  auto serveUntilChildSpeaks = [&] {
    pollfd polled{toParent[0], POLLIN, 0};
    for (int i = 0; i < 10'000 && poll(&polled, 1, 1) == 0; ++i) h.scheduler.settle();
    char said;
    return read(toParent[0], &said, 1) == 1;
  };
  ASSERT_TRUE(serveUntilChildSpeaks());
  for (std::uint32_t code = 100; code < 111; ++code) h.run([code] { PostUtilityEvent(code, nullptr, 0); });
  const char go = 'g';
  ASSERT_EQ(write(fromParent[1], &go, 1), 1);
  int status = -1;
  for (int i = 0; i < 10'000 && waitpid(child, &status, WNOHANG) == 0; ++i) {
    h.scheduler.settle();
    usleep(1000);
  }
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  for (int i = 0; i < 100; ++i) h.scheduler.settle();  // the child's close reaches the driver
  h.halt();
  server.reset();
  EXPECT_TRUE(h.leakFree()) << h.leaks();
  std::filesystem::remove_all(directory);
  for (int fd : {toParent[0], toParent[1], fromParent[0], fromParent[1]}) close(fd);
}

// A client that registers its remove event and never closes: once the driver has signalled
// it, the host ends the connection, and the halt does not wait for the client.
int ChildThatKeepsTheDeviceOpen(const std::string& path, int toParent) {
  auto client = ndis::ControlDeviceClient::open(path);
  if (!client) return 1;
  const int removal = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (client->ioctl(IOCTL_HLVN_REGISTER_REMOVE_EVENT, Words({2}), 0, removal).status != 0) return 2;
  const char ready = 'r';
  if (write(toParent, &ready, 1) != 1) return 3;
  if (client->receiveReply(std::chrono::seconds(10))) return 4;  // the end of the stream, not a reply
  pollfd polled{removal, POLLIN, 0};
  if (poll(&polled, 1, 0) != 1) return 5;  // told before its connection ended
  return 0;
}

TEST(ControlDeviceSocket, EndingTheConnectionsAtHaltTellsTheClientFirstAndTheHaltDoesNotWait) {
  char pattern[] = "/tmp/zelnic-socket-XXXXXX";
  const std::string directory = mkdtemp(pattern);
  int toParent[2];
  ASSERT_EQ(pipe(toParent), 0);
  const std::string path = directory + "/HlvnDev0";
  const pid_t child = fork();  // before any thread of ours exists
  if (child == 0) {
    for (int i = 0; i < 500 && !std::filesystem::exists(path); ++i) usleep(10'000);
    _exit(ChildThatKeepsTheDeviceOpen(path, toParent[1]));
  }

  testing::DriverHarness h;
  ASSERT_EQ(h.start(), NDIS_STATUS_SUCCESS);
  std::string error;
  auto server = ndis::ControlDeviceServer::start(*h.host, h.scheduler, {directory, std::nullopt}, &error);
  ASSERT_NE(server, nullptr) << error;
  pollfd polled{toParent[0], POLLIN, 0};
  for (int i = 0; i < 10'000 && poll(&polled, 1, 1) == 0; ++i) h.scheduler.settle();
  char said = 0;
  ASSERT_EQ(read(toParent[0], &said, 1), 1);

  server->endConnectionsAtHalt();
  const ndis::Micros before = h.scheduler.now();
  h.halt();
  EXPECT_LT(h.scheduler.now() - before, ndis::Micros(std::chrono::seconds(2)));  // not the 100 s wait
  int status = -1;
  EXPECT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  server.reset();
  EXPECT_TRUE(h.leakFree()) << h.leaks();
  std::filesystem::remove_all(directory);
  for (int fd : toParent) close(fd);
}

}  // namespace
}  // namespace zelnic
