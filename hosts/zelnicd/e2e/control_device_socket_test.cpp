// zelnicd's control device from another process, over its socket: OID round trips, events
// through the eventfd, refusals of broken messages, clients that die, a second client, and
// zelnicd's life as a service (signals, one zelnicd per run directory).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <poll.h>
#include <unistd.h>

#include <cstring>
#include <thread>

#include "driver/entry/testing/ioctl_words.h"
#include "driver/ndis/control_device.h"
#include "driver/ndis/private_oids.h"
#include "driver/ndis/utility_events.h"
#include "hosts/zelnicd/e2e/zelnicd_process.h"
#include "platform/ndis/control_client.h"
#include "platform/ndis/ntddndis.h"

namespace zelnicd {
namespace {

using ndis::ControlDeviceClient;
using testing::ZelnicdProcess;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kUnsuccessful = 0xC0000001;
constexpr std::uint32_t kInvalidParameter = 0xC000000D;

using zelnic::testing::Words;
using zelnic::testing::WordAt;

bool Signalled(int fd, int milliseconds) {
  pollfd polled{fd, POLLIN, 0};
  return poll(&polled, 1, milliseconds) == 1;
}

struct Running : ::testing::Test {
  void SetUp() override { ASSERT_TRUE(zelnicd.waitForDevice()) << zelnicd.output(); }
  ControlDeviceClient open() {
    std::string error;
    auto client = ControlDeviceClient::open(zelnicd.devicePath(), &error);
    EXPECT_TRUE(client) << error;
    return std::move(*client);
  }
  ZelnicdProcess zelnicd;
};

TEST_F(Running, TheSocketIsGroupReadableAndQueriesAndSetsGoRoundTrip) {
  struct stat info{};
  ASSERT_EQ(stat(zelnicd.devicePath().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0660u);
  ControlDeviceClient client = open();
  EXPECT_EQ(client.ioctl(IOCTL_HLVN_PING, {}, 0).status, 0u);

  auto refused = client.ioctl(IOCTL_HLVN_QUERY_OID, Words({0x12345678}), 64);
  EXPECT_EQ(refused.status, 0u);
  EXPECT_EQ(refused.output, Words({0xC00000BB}));  // NDIS_STATUS_NOT_SUPPORTED in the first word

  auto ring = client.ioctl(IOCTL_HLVN_QUERY_OID, Words({OID_HLVN_EVENT_RING}), 4 + kUtilityEventReadSize);
  EXPECT_EQ(ring.status, 0u);
  EXPECT_EQ(ring.output.size(), 4 + kUtilityEventReadSize);

  auto set = client.ioctl(IOCTL_HLVN_SET_OID, Words({0x12345678, 1}), 4);
  EXPECT_EQ(set.status, 0u);
  ASSERT_EQ(set.output.size(), 4u);
  EXPECT_NE(WordAt(set.output, 0), 0u);  // refused below, reported in the word

  EXPECT_EQ(client.ioctl(IOCTL_HLVN_SET_OID, Words({1}), 4).status, kUnsuccessful);  // input below 8
}

TEST_F(Running, BrokenMessagesAreRefusedAndTheConnectionGoesOn) {
  ControlDeviceClient client = open();
  ndis::ControlRequest good{5, IOCTL_HLVN_PING, 0, {}};
  Bytes badMagic = ndis::EncodeControlRequest(good);
  badMagic[0] ^= 0xFF;
  Bytes longerThanSaid = ndis::EncodeControlRequest(good);
  longerThanSaid.push_back(0);
  Bytes hugeCapacity = ndis::EncodeControlRequest(ndis::ControlRequest{6, IOCTL_HLVN_PING, 0x7FFFFFFF, {}});
  for (const Bytes& message : {badMagic, longerThanSaid, hugeCapacity, Bytes{1, 2, 3}}) {
    ASSERT_TRUE(client.sendRaw(message));
    auto reply = client.receiveReply(std::chrono::seconds(10));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, kInvalidParameter);
  }
  EXPECT_EQ(client.ioctl(IOCTL_HLVN_PING, {}, 0).status, 0u);
}

TEST_F(Running, AnEventNeedsAnEventfdAndIsSignalledThroughIt) {
  ControlDeviceClient client = open();
  // No eventfd ever came for this word: the driver cannot reference an event.
  EXPECT_EQ(client.ioctl(IOCTL_HLVN_REGISTER_EVENT, Words({1}), 0).status, kUnsuccessful);
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  EXPECT_EQ(client.ioctl(IOCTL_HLVN_REGISTER_EVENT, Words({1}), 0, pipeFds[0]).status, kInvalidParameter);
  close(pipeFds[0]);
  close(pipeFds[1]);
  EXPECT_TRUE(client.connected());

  const int event = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  const int removal = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  EXPECT_EQ(client.ioctl(IOCTL_HLVN_REGISTER_EVENT, Words({1}), 0, event).status, 0u);
  EXPECT_EQ(client.ioctl(IOCTL_HLVN_REGISTER_REMOVE_EVENT, Words({2}), 0, removal).status, 0u);
  EXPECT_FALSE(Signalled(event, 0));

  // Stopping zelnicd halts the adapter: the remove event and the ring tell the utility.
  std::thread stopper([&] { EXPECT_EQ(zelnicd.stop(SIGTERM), 0) << zelnicd.output(); });
  EXPECT_TRUE(Signalled(removal, 10'000));
  EXPECT_TRUE(Signalled(event, 10'000));
  { ControlDeviceClient closing = std::move(client); }  // the utility closes: the halt goes on at once
  stopper.join();
  EXPECT_NE(zelnicd.output().find("zelnicd: adapter halted"), std::string::npos) << zelnicd.output();
  close(event);
  close(removal);
}

// The driver's halt waits up to 100 s for its clients to close: zelnicd ends their
// connections once the driver has told them the adapter goes.
TEST_F(Running, StoppingEndsTheConnectionOfAClientThatKeepsTheDeviceOpen) {
  ControlDeviceClient client = open();
  const int removal = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  EXPECT_EQ(client.ioctl(IOCTL_HLVN_REGISTER_REMOVE_EVENT, Words({2}), 0, removal).status, 0u);
  const auto before = std::chrono::steady_clock::now();
  EXPECT_EQ(zelnicd.stop(SIGTERM, std::chrono::seconds(5)), 0) << zelnicd.output();
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(3));
  EXPECT_TRUE(Signalled(removal, 0));  // told before its connection ended
  EXPECT_FALSE(client.receiveReply(std::chrono::seconds(1)));  // the end of the stream
  EXPECT_FALSE(client.ioctl(IOCTL_HLVN_PING, {}, 0).answered);
  EXPECT_NE(zelnicd.output().find("zelnicd: adapter halted"), std::string::npos) << zelnicd.output();
  close(removal);
}

TEST_F(Running, AClientThatDiesMidRequestIsClosedForIt) {
  const pid_t child = fork();
  if (child == 0) {
    auto client = ControlDeviceClient::open(zelnicd.devicePath(), nullptr);
    if (!client) _exit(1);
    // A scan set holds the request a second: die while it runs.
    ndis::ControlRequest scan{1, IOCTL_HLVN_SET_OID, 4, Words({OID_802_11_BSSID_LIST_SCAN, 0})};
    client->sendRaw(ndis::EncodeControlRequest(scan));
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ControlDeviceClient other = open();
  EXPECT_EQ(other.ioctl(IOCTL_HLVN_PING, {}, 0).status, 0u);
  { ControlDeviceClient closing = std::move(other); }
  // Had the dead client's handle stayed open, the halt would wait for it a hundred seconds.
  const auto before = std::chrono::steady_clock::now();
  EXPECT_EQ(zelnicd.stop(SIGTERM), 0) << zelnicd.output();
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(20));
}

TEST_F(Running, TwoClientsAreServedAndTheSecondKeepsItsEventsWhenTheFirstLeaves) {
  ControlDeviceClient first = open();
  ControlDeviceClient second = open();
  const int event = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  EXPECT_EQ(second.ioctl(IOCTL_HLVN_REGISTER_EVENT, Words({9}), 0, event).status, 0u);
  EXPECT_EQ(first.ioctl(IOCTL_HLVN_PING, {}, 0).status, 0u);
  { ControlDeviceClient closing = std::move(first); }
  EXPECT_EQ(second.ioctl(IOCTL_HLVN_PING, {}, 0).status, 0u);
  std::thread stopper([&] { EXPECT_EQ(zelnicd.stop(SIGHUP), 0) << zelnicd.output(); });
  EXPECT_TRUE(Signalled(event, 10'000));  // still attached: the removal reaches it
  { ControlDeviceClient closing = std::move(second); }
  stopper.join();
  EXPECT_NE(zelnicd.output().find("zelnicd: SIGHUP, stopping"), std::string::npos);
  EXPECT_NE(zelnicd.output().find("zelnicd: adapter halted"), std::string::npos);
  close(event);
}

TEST_F(Running, ASecondZelnicdOnTheSameRunDirectoryRefusesToStart) {
  ZelnicdProcess second(zelnicd);
  EXPECT_EQ(second.waitForExit(std::chrono::seconds(20)), 1);
  EXPECT_NE(second.output().find("zelnicd: another zelnicd already serves " + zelnicd.runDir()), std::string::npos)
      << second.output();
  ControlDeviceClient client = open();  // the first still serves
  EXPECT_EQ(client.ioctl(IOCTL_HLVN_PING, {}, 0).status, 0u);
}

}  // namespace
}  // namespace zelnicd
