#include <dcf/RefCounted.h>
#include <dcf/dcfComPtr.h>
#include <dcf/dcfLock.h>
#include <dcf/dcfOwnedPtr.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <thread>

namespace {

// Whether another thread can take the section now. The probe leaves the section before it
// says so and is joined, so it never touches the section after the test has ended. A section
// still held here would block the probe: give up after a while rather than hang (the probe
// then stays blocked, and the test has failed).
bool FreeForOthers(dcfCriticalSection& section) {
  auto entered = std::make_shared<std::promise<void>>();
  auto future = entered->get_future();
  std::thread probe([&section, entered] {
    { dcfLock lock(section); }
    entered->set_value();
  });
  const bool free = future.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
  if (free) {
    probe.join();
  } else {
    probe.detach();
  }
  return free;
}

TEST(Lock, EnterAndLeaveAreIdempotentAndTheSectionIsReentrant) {
  dcfCriticalSection section;
  {
    dcfLock outer(section);
    EXPECT_TRUE(outer.IsHeld());
    outer.Enter();  // already held: nothing happens
    {
      dcfLock inner(section);  // the same thread enters again
      EXPECT_TRUE(inner.IsHeld());
    }
    outer.Leave();
    EXPECT_FALSE(outer.IsHeld());
    outer.Leave();  // not held: nothing happens (no second unlock)
    EXPECT_TRUE(FreeForOthers(section));
    outer.Enter();
    EXPECT_TRUE(outer.IsHeld());
  }
  EXPECT_TRUE(FreeForOthers(section));
}

class Counted : public RefCounted {
public:
  explicit Counted(int* destroyed) : destroyed_(destroyed) {}
  ~Counted() override { ++*destroyed_; }

private:
  int* destroyed_;
};

TEST(RefCounted, StartsAtOneAndDeletesItselfAtZero) {
  int destroyed = 0;
  auto* object = new Counted(&destroyed);
  EXPECT_EQ(object->AddRef(), 2u);
  EXPECT_EQ(object->Release(), 1u);
  EXPECT_EQ(destroyed, 0);
  EXPECT_EQ(object->Release(), 0u);
  EXPECT_EQ(destroyed, 1);
}

TEST(ComPtr, AssignAttachResetKeepCountsRight) {
  int destroyed = 0;
  auto* object = new Counted(&destroyed);  // count 1, owned by this test
  {
    dcfComPtr<Counted> holder(object);  // 2
    holder.Assign(object);              // the same pointer: stays alive, still 2
    EXPECT_EQ(destroyed, 0);
    dcfComPtr<Counted> copy(holder);    // 3
    dcfComPtr<Counted> moved(std::move(copy));
    EXPECT_EQ(copy.Get(), nullptr);
    moved.Reset();                      // 2
    EXPECT_EQ(object->AddRef(), 3u);
    object->Release();
  }  // 1
  EXPECT_EQ(destroyed, 0);
  dcfComPtr<Counted> adopter;
  adopter.Attach(object);  // takes the test's reference without adding one
  adopter.Reset();
  EXPECT_EQ(destroyed, 1);
}

struct Tracked {
  explicit Tracked(int* destroyed) : destroyed(destroyed) {}
  ~Tracked() { ++*destroyed; }
  int* destroyed;
};

TEST(OwnedPtr, CopyHandsOverOwnershipAndSamePointerMergesTheFlag) {
  int destroyed = 0;
  {
    dcfOwnedPtr<Tracked> first(new Tracked(&destroyed));
    dcfOwnedPtr<Tracked> second(first);
    EXPECT_FALSE(first.Owns());
    EXPECT_TRUE(second.Owns());
    EXPECT_EQ(first.Get(), second.Get());  // the source keeps the pointer
    first = second;                        // same pointer: the flag comes back, no delete
    EXPECT_TRUE(first.Owns());
    EXPECT_FALSE(second.Owns());
    EXPECT_EQ(destroyed, 0);
    dcfOwnedPtr<Tracked> other(new Tracked(&destroyed));
    other = first;  // a different pointer: other's object goes
    EXPECT_EQ(destroyed, 1);
  }
  EXPECT_EQ(destroyed, 2);  // deleted once, by its last owner
}

}  // namespace
