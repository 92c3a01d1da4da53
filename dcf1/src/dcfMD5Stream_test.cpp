// The random source: its output construction on known counters, seeding once, fork and
// thread behaviour, and the process-wide GetRandomBytes.
#include <dcf/dcfException.h>
#include <dcf/dcfMD5Stream.h>
#include <dcf/md5.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using Block = std::array<std::uint8_t, 16>;
using State = std::array<std::uint8_t, Md5CounterStream::kStateSize>;

Block Md5Of(const State& state) {
  Block out;
  Md5Digest(out.data(), state.data(), state.size());
  return out;
}

// The counter plus one, written out byte by byte with its carries.
State Incremented(State state) {
  for (std::size_t i = state.size(); i-- > 0;) {
    if (++state[i] != 0) break;
  }
  return state;
}

std::vector<std::uint8_t> Read(Md5CounterStream& stream, std::size_t length) {
  std::vector<std::uint8_t> out(length);
  stream.Read(out.data(), length);
  return out;
}

std::vector<std::uint8_t> Concat(const Block& a, const Block& b) {
  std::vector<std::uint8_t> out(a.begin(), a.end());
  out.insert(out.end(), b.begin(), b.end());
  return out;
}

State Counting() {
  State s;
  for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<std::uint8_t>(i * 7 + 1);
  return s;
}

// The first block after a restart is MD5 of the incremented counter, never of the counter
// itself; a request of 20 bytes takes a whole block and 4 bytes of the next, and the next
// request of 12 bytes gets the rest of that block.
TEST(Md5CounterStream, BlocksAreMd5OfTheIncrementedCounterHandedOutInOrder) {
  const State s0 = Counting();
  const State s1 = Incremented(s0), s2 = Incremented(s1);
  Md5CounterStream stream;
  stream.Restart(s0.data());
  std::vector<std::uint8_t> got = Read(stream, 20);
  const std::vector<std::uint8_t> rest = Read(stream, 12);
  got.insert(got.end(), rest.begin(), rest.end());
  EXPECT_EQ(got, Concat(Md5Of(s1), Md5Of(s2)));
}

TEST(Md5CounterStream, IncrementCarriesAcrossBytes) {
  struct Case {
    const char* what;
    State before;
    State after;
  };
  State lowRunFull = Counting(), lowRunCarried = Counting();
  for (std::size_t i = 40; i < 56; ++i) lowRunFull[i] = 0xff, lowRunCarried[i] = 0;
  lowRunCarried[39] = static_cast<std::uint8_t>(lowRunFull[39] + 1);
  State allFull;
  allFull.fill(0xff);
  State allZero{};
  const Case cases[] = {
      {"state[40..55] all 0xFF carries into state[39]", lowRunFull, lowRunCarried},
      {"a carry out of state[0] is dropped", allFull, allZero},
  };
  for (const auto& c : cases) {
    Md5CounterStream stream;
    stream.Restart(c.before.data());
    const auto got = Read(stream, 16);
    const Block expected = Md5Of(c.after);
    EXPECT_EQ(got, std::vector<std::uint8_t>(expected.begin(), expected.end())) << c.what;
  }
}

TEST(Md5CounterStream, RestartDropsTheRestOfTheBlock) {
  const State s0 = Counting();
  Md5CounterStream stream;
  stream.Restart(s0.data());
  Read(stream, 5);
  stream.Restart(s0.data());
  const Block first = Md5Of(Incremented(s0));
  EXPECT_EQ(Read(stream, 16), std::vector<std::uint8_t>(first.begin(), first.end()));
}

// A seconds clock that moves on after a few readings, and counts them.
std::atomic<int> clockReadings{0};
std::time_t FastClock() { return 1000 + clockReadings.fetch_add(1) / 5; }

// Seeding happens on the first request, 0 bytes included, and never again.
TEST(dcfMD5Stream, SeedsOnceOnTheFirstRequestEvenOfNoBytes) {
  clockReadings = 0;
  dcfMD5Stream stream(FastClock);
  EXPECT_EQ(clockReadings, 0);
  stream.Read(nullptr, 0);
  const int afterSeeding = clockReadings;
  EXPECT_GT(afterSeeding, 1);  // waited for the clock to move on
  std::uint8_t buffer[40];
  stream.Read(buffer, sizeof buffer);
  stream.Read(buffer, 0);
  EXPECT_EQ(clockReadings, afterSeeding);
}

TEST(dcfMD5Stream, NullBufferIsRefused) {
  dcfMD5Stream stream(FastClock);
  EXPECT_THROW(stream.Read(nullptr, 1), dcfRangeException);
}

// Two instances seed from different entropy: even the same request order gives different
// bytes.
TEST(dcfMD5Stream, TwoInstancesDiffer) {
  dcfMD5Stream a(FastClock), b(FastClock);
  std::uint8_t x[32], y[32];
  a.Read(x, sizeof x);
  b.Read(y, sizeof y);
  EXPECT_NE(std::memcmp(x, y, sizeof x), 0);
}

TEST(dcfMD5Stream, ConcurrentRequestsGetDisjointBytes) {
  dcfMD5Stream stream(FastClock);
  constexpr int kThreads = 4, kRequests = 2000;
  std::vector<std::vector<Block>> drawn(kThreads, std::vector<Block>(kRequests));
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (auto& block : drawn[t]) stream.Read(block.data(), block.size());
    });
  }
  for (auto& thread : threads) thread.join();
  std::set<Block> distinct;
  for (const auto& blocks : drawn) distinct.insert(blocks.begin(), blocks.end());
  EXPECT_EQ(distinct.size(), static_cast<std::size_t>(kThreads * kRequests));
}

// What a child process draws after fork(), read back through a pipe.
std::vector<std::uint8_t> DrawInChild(std::size_t length) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  const pid_t child = fork();
  if (child == 0) {
    std::vector<std::uint8_t> bytes(length);
    GetRandomBytes(bytes.data(), length);
    const ssize_t written = write(fds[1], bytes.data(), length);
    _exit(written == static_cast<ssize_t>(length) ? 0 : 1);
  }
  close(fds[1]);
  std::vector<std::uint8_t> bytes(length);
  std::size_t got = 0;
  while (got < length) {
    const ssize_t n = read(fds[0], bytes.data() + got, length - got);
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  bytes.resize(got);
  return bytes;
}

std::vector<std::uint8_t> Draw(std::size_t length) {
  std::vector<std::uint8_t> bytes(length);
  GetRandomBytes(bytes.data(), length);
  return bytes;
}

// The parent is seeded and stands in the middle of a block when it forks: the child must
// neither hand out the rest of that block nor continue the parent's counter.
TEST(GetRandomBytes, ForkedChildAndParentDrawDifferentBytes) {
  Draw(8);
  const auto child = DrawInChild(64);
  const auto parent = Draw(64);
  ASSERT_EQ(child.size(), 64u);
  for (std::size_t i = 0; i + 8 <= 64; i += 8) {
    for (std::size_t j = 0; j + 8 <= 64; j += 8) {
      EXPECT_NE(std::memcmp(child.data() + i, parent.data() + j, 8), 0) << "child " << i << ", parent " << j;
    }
  }
  // Two children of the same parent differ from each other as well.
  EXPECT_NE(DrawInChild(32), DrawInChild(32));
}

TEST(GetRandomBytes, RequestsNeverRepeat) {
  EXPECT_TRUE(RandomSourceReady());
  std::set<std::vector<std::uint8_t>> seen;
  for (int i = 0; i < 1000; ++i) EXPECT_TRUE(seen.insert(Draw(16)).second);
  // Requests that do not end on a block boundary hand out what is left first.
  const auto a = Draw(7), b = Draw(7);
  EXPECT_NE(a, b);
}

}  // namespace
