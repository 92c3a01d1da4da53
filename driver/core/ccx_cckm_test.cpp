#include "driver/core/ccx_cckm.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zelnic::core {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Records what the hook asks of the core; the wait timer runs on a virtual clock.
class RecordingLink : public CckmLink {
 public:
  void IndicateStatus(std::uint32_t status, const std::uint8_t* p, std::uint32_t n) override {
    statuses.push_back(status);
    indicated.assign(p, p + n);
  }
  void PostEvent(std::uint32_t event, const std::uint8_t*, std::uint32_t n) override {
    events.push_back(event);
    eventBytes = n;
  }
  void ArmWait(std::uint32_t ms) override { deadline = now + ms; }
  void CancelWait() override { deadline = -1; }
  void SendReassociation(const std::uint8_t* element, std::uint32_t length) override {
    reassociations.push_back(element == nullptr ? Bytes{} : Bytes(element, element + length));
    withElement.push_back(element != nullptr);
  }
  void Disconnect() override { ++disconnects; }
  // Lets `ms` pass; the wait fires when due.
  void Advance(CckmHook& hook, std::int64_t ms) {
    now += ms;
    if (deadline >= 0 && deadline <= now) {
      deadline = -1;
      hook.WaitTimeout();
    }
  }

  std::int64_t now = 0;
  std::int64_t deadline = -1;
  std::vector<std::uint32_t> statuses, events;
  Bytes indicated;
  std::uint32_t eventBytes = 0;
  std::vector<Bytes> reassociations;
  std::vector<bool> withElement;
  int disconnects = 0;
};

constexpr std::uint8_t kTimestamp[8] = {1, 2, 3, 4, 5, 6, 7, 8};
constexpr std::uint8_t kTarget[6] = {0x02, 0x40, 0x96, 0, 0, 7};

Bytes ElementRecord(std::uint32_t valid, std::uint32_t length, std::size_t carried) {
  Bytes r = {static_cast<std::uint8_t>(valid), 0, 0, 0, static_cast<std::uint8_t>(length),
             static_cast<std::uint8_t>(length >> 8), 0, 0};
  for (std::size_t i = 0; i < carried; ++i) r.push_back(static_cast<std::uint8_t>(0xC0 + i));
  return r;
}

struct Fixture {
  RecordingLink link;
  CckmHook hook{link};
  Fixture() { hook.Request(kTimestamp, kTarget); }
};

TEST(Cckm, ARequestIndicatesAndPostsTheTargetAndWaits) {
  Fixture f;
  EXPECT_EQ(f.link.statuses, (std::vector<std::uint32_t>{0xFFCCA005}));
  EXPECT_EQ(f.link.events, (std::vector<std::uint32_t>{136}));
  EXPECT_EQ(f.link.indicated, (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 0x02, 0x40, 0x96, 0, 0, 7}));
  EXPECT_EQ(f.link.eventBytes, 14u);
  EXPECT_EQ(f.hook.State(), kCckmWaiting);
  EXPECT_EQ(f.link.deadline, 500);
}

TEST(Cckm, AnElementInTimeGoesIntoTheReassociation) {
  Fixture f;
  f.link.Advance(f.hook, 300);
  const Bytes record = ElementRecord(1, 24, 24);
  ASSERT_EQ(f.hook.SetElement(record.data(), static_cast<std::uint32_t>(record.size())), CckmRefusal::None);
  EXPECT_EQ(f.hook.State(), kCckmGiven);
  ASSERT_EQ(f.link.reassociations.size(), 1u);
  EXPECT_EQ(f.link.reassociations[0], Bytes(record.begin() + 8, record.end()));
  f.link.Advance(f.hook, 1000);  // the wait was cancelled: nothing more
  EXPECT_EQ(f.link.reassociations.size(), 1u);
}

TEST(Cckm, NoElementWithin500msSendsTheReassociationWithout) {
  Fixture f;
  f.link.Advance(f.hook, 499);
  EXPECT_TRUE(f.link.reassociations.empty());
  f.link.Advance(f.hook, 1);
  ASSERT_EQ(f.link.withElement, (std::vector<bool>{false}));
  // An element after the wait is not used.
  const Bytes record = ElementRecord(1, 4, 4);
  EXPECT_EQ(f.hook.SetElement(record.data(), static_cast<std::uint32_t>(record.size())), CckmRefusal::NotWaiting);
  EXPECT_EQ(f.link.reassociations.size(), 1u);
}

TEST(Cckm, RefusedRecordsLeaveTheWaitRunning) {
  struct Case {
    const char* name;
    Bytes record;
    CckmRefusal expected;
  } cases[] = {
      {"longer than 128", ElementRecord(1, 129, 129), CckmRefusal::ElementTooLong},
      {"element beyond the record", ElementRecord(1, 40, 39), CckmRefusal::RecordTooShort},
      {"no header", Bytes{1, 0, 0}, CckmRefusal::RecordTooShort},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    EXPECT_EQ(f.hook.SetElement(c.record.data(), static_cast<std::uint32_t>(c.record.size())), c.expected);
    EXPECT_TRUE(f.link.reassociations.empty());
    f.link.Advance(f.hook, 500);  // the fallback still comes: nothing waits for ever
    EXPECT_EQ(f.link.withElement, (std::vector<bool>{false}));
  }
}

TEST(Cckm, ARecordThatIsNotValidSendsWithoutTheElement) {
  Fixture f;
  const Bytes record = ElementRecord(0, 200, 0);  // its length is not read
  ASSERT_EQ(f.hook.SetElement(record.data(), static_cast<std::uint32_t>(record.size())), CckmRefusal::None);
  EXPECT_EQ(f.link.withElement, (std::vector<bool>{false}));
  EXPECT_EQ(f.hook.State(), kCckmNone);
}

// A cancel ends the wait: flag 1 leaves the network, any other flag lets the reassociation
// go at once without an element (the station would otherwise wait for ever).
TEST(Cckm, CancelEndsTheWaitAndFlagOneDisconnects) {
  for (const std::uint8_t flag : {0, 1}) {
    SCOPED_TRACE(static_cast<int>(flag));
    Fixture f;
    const std::uint8_t record[4] = {flag, 0, 0, 0};
    EXPECT_EQ(f.hook.Cancel(record, sizeof record), CckmRefusal::None);
    EXPECT_EQ(f.link.deadline, -1);
    EXPECT_EQ(f.link.disconnects, flag);
    EXPECT_EQ(f.link.withElement, flag == 1 ? std::vector<bool>{} : std::vector<bool>{false});
    EXPECT_EQ(f.hook.State(), kCckmNone);
    f.link.Advance(f.hook, 1000);
    EXPECT_EQ(f.link.reassociations.size(), flag == 1 ? 0u : 1u);
  }
}

}  // namespace
}  // namespace zelnic::core
