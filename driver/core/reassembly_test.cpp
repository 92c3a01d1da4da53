#include "driver/core/reassembly.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "driver/core/frame_tests.h"
#include "driver/hal/receive_record.h"

namespace zelnic::core {
namespace {

struct Fragment {
  int number;
  bool more;
  std::uint32_t body;  // bytes
};

// Receive records with buffers of their own; what comes back is kept in order.
class Records {
public:
  ReceiveRecord* make(const Fragment& f) {
    constexpr std::uint32_t capacity = 2032;  // a receive buffer of the ring
    auto& buffer = buffers_.emplace_back(std::make_unique<std::vector<std::uint8_t>>(capacity, 0));
    auto& record = records_.emplace_back(std::make_unique<ReceiveRecord>());
    std::uint8_t* frame = buffer->data();
    frame[2] = 0x08;  // data
    frame[3] = f.more ? kFlagMoreFragments : 0;
    frame[kSequenceControl] = static_cast<std::uint8_t>(f.number);
    for (std::uint32_t i = 0; i < f.body; ++i)
      frame[kChipHeaderBytes + i] = static_cast<std::uint8_t>(f.number * 16 + i);
    *record = ReceiveRecord{{nullptr}, frame, kChipHeaderBytes + f.body, capacity};
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
    out.last = Reassemble(state, record, &Records::GiveBack, &records);
    if (out.last == ReassemblyResult::Deliver) out.delivered = record;
  }
  return out;
}

TEST(Reassembly, FragmentsInOrderBecomeOneFrameInTheFirstFragmentsBuffer) {
  Reassembly state;
  Records records;
  const Outcome out = Feed(state, records, {{0, true, 100}, {1, true, 200}, {2, false, 50}});
  ASSERT_EQ(out.last, ReassemblyResult::Deliver);
  ASSERT_EQ(out.delivered, out.made[0]);
  EXPECT_EQ(out.delivered->Length, kChipHeaderBytes + 350);
  const std::uint8_t* frame = out.delivered->Frame;
  EXPECT_EQ(frame[0] | frame[1] << 8, 350);  // the body-length word follows
  EXPECT_EQ(frame[kChipHeaderBytes + 99], 99);
  EXPECT_EQ(frame[kChipHeaderBytes + 100], 16);        // fragment 1's first byte
  EXPECT_EQ(frame[kChipHeaderBytes + 300], 2 * 16);    // fragment 2's first byte
  EXPECT_EQ(records.given, (std::vector<ReceiveRecord*>{out.made[1], out.made[2]}));
  EXPECT_EQ(state.Expected, 0);
  EXPECT_EQ(state.Head, nullptr);
}

TEST(Reassembly, BrokenSetsAreDroppedWholeAndTheNextSetStartsAfresh) {
  struct Case {
    const char* name;
    std::vector<Fragment> fragments;
    std::vector<int> givenBack;  // indexes into the fragments, in order
  };
  std::vector<Fragment> nine;
  for (int i = 0; i < 8; ++i) nine.push_back({i, true, 10});
  nine.push_back({8, false, 10});
  const Case cases[] = {
      {"a fragment without fragment 0 drops only itself", {{1, false, 10}}, {0}},
      {"a gap drops the held head and the fragment", {{0, true, 10}, {2, false, 10}}, {0, 1}},
      {"a repeated fragment drops the set", {{0, true, 10}, {1, true, 10}, {1, false, 10}}, {1, 0, 2}},
      {"a ninth fragment drops the set", nine, {1, 2, 3, 4, 5, 6, 7, 0, 8}},
      // 32 + 1000 + 1000 fit 2032 bytes; a third body would write past the head's buffer.
      {"a body beyond the head's buffer drops the set",
       {{0, true, 1000}, {1, true, 1000}, {2, false, 1}}, {1, 0, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reassembly state;
    Records records;
    const Outcome out = Feed(state, records, c.fragments);
    EXPECT_EQ(out.last, ReassemblyResult::Dropped);
    std::vector<ReceiveRecord*> expected;
    for (int i : c.givenBack) expected.push_back(out.made[i]);
    EXPECT_EQ(records.given, expected);
    EXPECT_EQ(state.Head, nullptr);
    EXPECT_EQ(state.Expected, 0);

    const Outcome next = Feed(state, records, {{0, true, 10}, {1, false, 10}});
    EXPECT_EQ(next.last, ReassemblyResult::Deliver);
  }
}

TEST(Reassembly, DiscardGivesBackTheHeldHead) {
  Reassembly state;
  Records records;
  const Outcome out = Feed(state, records, {{0, true, 10}});
  ASSERT_EQ(out.last, ReassemblyResult::Pending);
  DiscardReassembly(state, &Records::GiveBack, &records);
  EXPECT_EQ(records.given, std::vector<ReceiveRecord*>{out.made[0]});
  EXPECT_EQ(state.Head, nullptr);
}

}  // namespace
}  // namespace zelnic::core
