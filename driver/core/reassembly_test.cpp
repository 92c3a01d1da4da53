#include "driver/core/reassembly.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "driver/core/frame_tests.h"
#include "driver/core/testing/test_frames.h"

namespace zelnic::core {
namespace {

using testing::Address;
using testing::DataFrame;

constexpr Address kSenderA = {0x00, 0x0C, 0x41, 0x00, 0x00, 0x0A};
constexpr Address kSenderB = {0x00, 0x0C, 0x41, 0x00, 0x00, 0x0B};

struct Fragment {
  int number;
  bool more;
  std::uint32_t body;  // bytes, each the fragment's fill value
  std::uint16_t sequence = 7;
  Address sender = kSenderA;
  std::uint32_t key = 0;  // the key it came under
};

// Receive records with buffers of their own, as the ring's (2,032 bytes); what comes back
// is kept in order.
class Records {
public:
  ReceiveRecord* make(const Fragment& f) {
    auto frame = DataFrame(f.sender, f.sequence, f.number, f.more, f.body, static_cast<std::uint8_t>(0x10 + f.number));
    frame.resize(std::max<std::size_t>(frame.size(), 2032));
    auto& buffer = buffers_.emplace_back(std::make_unique<std::vector<std::uint8_t>>(std::move(frame)));
    auto& record = records_.emplace_back(std::make_unique<ReceiveRecord>());
    *record = ReceiveRecord{{nullptr}, buffer->data(), kChipHeaderBytes + f.body, static_cast<ULONG>(buffer->size())};
    return record.get();
  }
  static void GiveBack(void* self, ReceiveRecord* record) { static_cast<Records*>(self)->given.push_back(record); }
  std::vector<ReceiveRecord*> given;

private:
  std::vector<std::unique_ptr<std::vector<std::uint8_t>>> buffers_;
  std::vector<std::unique_ptr<ReceiveRecord>> records_;
};

struct Outcome {
  ReassemblyResult last = ReassemblyResult::Pending;
  ReceiveRecord* delivered = nullptr;
  std::vector<ReceiveRecord*> made;
};

Outcome Feed(Reassembly& state, Records& records, const std::vector<Fragment>& fragments) {
  Outcome out;
  for (const Fragment& f : fragments) {
    ReceiveRecord* record = records.make(f);
    out.made.push_back(record);
    out.last = Reassemble(state, record, f.key, &Records::GiveBack, &records);
    if (out.last == ReassemblyResult::Deliver) out.delivered = record;
  }
  return out;
}

// The body of a delivered frame as runs of {fill value, length}.
std::vector<std::pair<int, std::uint32_t>> Runs(const ReceiveRecord* record) {
  std::vector<std::pair<int, std::uint32_t>> runs;
  for (std::uint32_t i = kChipHeaderBytes; i < record->Length; ++i) {
    if (runs.empty() || runs.back().first != record->Frame[i]) runs.emplace_back(record->Frame[i], 0);
    ++runs.back().second;
  }
  return runs;
}

using Runs_ = std::vector<std::pair<int, std::uint32_t>>;

// The records that went back: all but a delivering last fragment's.
std::vector<ReceiveRecord*> GivenBack(const Outcome& out) {
  std::vector<ReceiveRecord*> made = out.made;
  if (out.last == ReassemblyResult::Deliver) made.pop_back();
  return made;
}

TEST(Reassembly, FragmentsInOrderBecomeOneFrameInTheLastFragmentsRecord) {
  auto state = std::make_unique<Reassembly>();
  Records records;
  const Outcome out = Feed(*state, records, {{0, true, 100}, {1, true, 200}, {2, false, 50}});
  ASSERT_EQ(out.last, ReassemblyResult::Deliver);
  ASSERT_EQ(out.delivered, out.made.back());  // it keeps its receive packet to go up in
  EXPECT_EQ(out.delivered->Length, kChipHeaderBytes + 350);
  const std::uint8_t* frame = out.delivered->Frame;
  EXPECT_EQ(frame[0] | frame[1] << 8, 350);  // the body-length word follows
  EXPECT_EQ(FrameFlags(frame) & kFlagMoreFragments, 0);
  EXPECT_EQ(0, std::memcmp(frame + kAddress2, kSenderA.data(), 6));
  EXPECT_EQ(Runs(out.delivered), (Runs_{{0x10, 100}, {0x11, 200}, {0x12, 50}}));
  EXPECT_EQ(records.given, GivenBack(out));  // every other fragment's record went back at once
  EXPECT_EQ(state->Expected, 0);
}

TEST(Reassembly, FramesThatFitTheLastReceiveBufferAreDeliveredAndLargerOnesDropped) {
  struct Case {
    std::uint32_t lastBody;
    ReassemblyResult result;
  };
  // 32 + 1,000 + 1,000 = 2,032 bytes: what one receive buffer holds.
  for (const Case c : {Case{1000, ReassemblyResult::Deliver}, Case{1001, ReassemblyResult::Dropped}}) {
    SCOPED_TRACE(c.lastBody);
    auto state = std::make_unique<Reassembly>();
    Records records;
    const Outcome out = Feed(*state, records, {{0, true, 1000}, {1, false, c.lastBody}});
    EXPECT_EQ(out.last, c.result);
    EXPECT_EQ(records.given, GivenBack(out));
    EXPECT_EQ(state->Expected, 0);
    if (c.result == ReassemblyResult::Deliver) {
      EXPECT_EQ(out.delivered->Length, 2032u);
      EXPECT_EQ(Runs(out.delivered), (Runs_{{0x10, 1000}, {0x11, 1000}}));
    }
  }
}

TEST(Reassembly, OnlyFragmentsOfOneFrameAreJoined) {
  struct Case {
    const char* name;
    std::vector<Fragment> fragments;
    ReassemblyResult last;
    Runs_ delivered;  // when the last is delivered
  };
  const Case cases[] = {
      {"another sender's fragment goes alone",
       {{0, true, 10}, {1, false, 20, 7, kSenderB}, {1, false, 30}},
       ReassemblyResult::Deliver, {{0x10, 10}, {0x11, 30}}},
      {"another sequence number's fragment goes alone",
       {{0, true, 10}, {1, false, 20, 8}, {1, false, 30}},
       ReassemblyResult::Deliver, {{0x10, 10}, {0x11, 30}}},
      {"a new fragment 0 starts afresh",
       {{0, true, 10}, {0, true, 40, 8}, {1, false, 30, 8}},
       ReassemblyResult::Deliver, {{0x10, 40}, {0x11, 30}}},
      {"a fragment without fragment 0 drops only itself", {{1, false, 10}}, ReassemblyResult::Dropped, {}},
      {"a gap ends the frame", {{0, true, 10}, {2, true, 10}, {1, false, 10}}, ReassemblyResult::Dropped, {}},
      {"a repeated fragment ends the frame",
       {{0, true, 10}, {1, true, 10}, {1, true, 10}, {2, false, 10}}, ReassemblyResult::Dropped, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto state = std::make_unique<Reassembly>();
    Records records;
    const Outcome out = Feed(*state, records, c.fragments);
    EXPECT_EQ(out.last, c.last);
    EXPECT_EQ(records.given, GivenBack(out));
    if (c.last == ReassemblyResult::Deliver) {
      EXPECT_EQ(Runs(out.delivered), c.delivered);
    }
  }
}

TEST(Reassembly, ANinthFragmentEndsTheFrame) {
  std::vector<Fragment> nine;
  for (int i = 0; i < 8; ++i) nine.push_back({i, true, 10});
  nine.push_back({8, false, 10});
  auto state = std::make_unique<Reassembly>();
  Records records;
  EXPECT_EQ(Feed(*state, records, nine).last, ReassemblyResult::Dropped);
  EXPECT_EQ(state->Expected, 0);
}

// Fragments of one frame under different keys are never joined (mixed-key reassembly):
// the frame ends, and a fragment in the clear cannot continue a protected one.
TEST(Reassembly, FragmentsUnderAnotherKeyEndTheFrame) {
  for (const std::uint32_t otherKey : {2u, 0u}) {
    SCOPED_TRACE(otherKey);
    auto state = std::make_unique<Reassembly>();
    Records records;
    Fragment first{0, true, 10};
    first.key = 1;
    Fragment second{1, false, 10};
    second.key = otherKey;
    const Outcome out = Feed(*state, records, {first, second});
    EXPECT_EQ(out.last, ReassemblyResult::Dropped);
    EXPECT_EQ(records.given, out.made);
    EXPECT_EQ(state->Expected, 0);
  }
  auto state = std::make_unique<Reassembly>();
  Records records;
  Fragment first{0, true, 10};
  first.key = 3;
  Fragment second{1, false, 10};
  second.key = 3;
  EXPECT_EQ(Feed(*state, records, {first, second}).last, ReassemblyResult::Deliver);
}

TEST(Reassembly, DiscardForgetsAHeldFrame) {
  auto state = std::make_unique<Reassembly>();
  Records records;
  ASSERT_EQ(Feed(*state, records, {{0, true, 10}}).last, ReassemblyResult::Pending);
  DiscardReassembly(*state);
  EXPECT_EQ(Feed(*state, records, {{1, false, 10}}).last, ReassemblyResult::Dropped);
}

}  // namespace
}  // namespace zelnic::core
