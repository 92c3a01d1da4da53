#include "platform/gui/cross_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/gui/message_box.h"
#include "platform/gui/property_sheet.h"
#include "platform/gui/testing/fake_platform.h"
#include "platform/gui/testing/gui_kit.h"

namespace zfw {
namespace {

using testing::FakePlatform;

class Receiver : public PropertySheet {
 public:
  intptr_t onAppMessage(uint32_t code, const AppParam& p) override {
    onGuiThread = onGuiThread && std::this_thread::get_id() == gui;
    log.push_back(std::to_string(code) + ":" + std::to_string(p.value) + ":" + p.text);
    return static_cast<intptr_t>(code) + p.value;
  }
  std::thread::id gui = std::this_thread::get_id();
  bool onGuiThread = true;
  std::vector<std::string> log;
};

TEST(CrossThread, WorkerCallsAreServedWhileTheGuiWaitsForTheWorker) {
  FakePlatform fake;
  Receiver sheet;
  Event stop;
  Thread worker;
  std::vector<intptr_t> results;
  ASSERT_TRUE(worker.start([&] {
    for (int i = 0; i < 3; ++i) {
      std::string text = "Scanning for net" + std::to_string(i);
      results.push_back(guiSend(sheet.ref(), 1003, AppParam{i, text}, stop));
      text.assign(64, 'x');  // the message holds its own copy
    }
  }));
  EXPECT_TRUE(sheet.waitForWorker(worker, kInfinite));
  EXPECT_EQ(results, (std::vector<intptr_t>{1003, 1004, 1005}));
  EXPECT_EQ(sheet.log, (std::vector<std::string>{"1003:0:Scanning for net0", "1003:1:Scanning for net1",
                                                  "1003:2:Scanning for net2"}));
  EXPECT_TRUE(sheet.onGuiThread);
}

// Closing: the GUI thread tells the worker to stop and waits for it while the worker is
// still sending; no call is left hanging and the wait ends without any time passing.
TEST(CrossThread, StoppingAWorkerThatKeepsSendingEndsPromptly) {
  FakePlatform fake;
  Receiver sheet;
  Event stop;
  Thread worker;
  std::atomic<int> sent{0};
  ASSERT_TRUE(worker.start([&] {
    while (!stop.isSet()) {
      guiSend(sheet.ref(), 1004, AppParam{}, stop);
      ++sent;
    }
  }));
  while (sheet.log.size() < 3) serveCrossThreadCalls();
  const uint64_t start = fake.clock.tickCount();
  stop.set();
  EXPECT_TRUE(sheet.waitForWorker(worker, 3000));
  EXPECT_EQ(fake.clock.tickCount(), start);
  EXPECT_GE(sent, 3);
}

TEST(CrossThread, ASendGivesUpWhenStopIsSetAndTheCallIsDropped) {
  FakePlatform fake;
  Receiver sheet;
  Event stop, sending;
  Thread worker;
  std::atomic<intptr_t> result{-1};
  ASSERT_TRUE(worker.start([&] {
    sending.set();
    result = guiSend(sheet.ref(), 1007, AppParam{}, stop);
  }));
  // The GUI thread is busy elsewhere (here: in the test) and serves nothing.
  ASSERT_TRUE(sending.wait());
  stop.set();
  EXPECT_TRUE(worker.join());
  EXPECT_EQ(result, 0);
  testing::processEvents();
  EXPECT_TRUE(sheet.log.empty());  // the call came too late to be run
}

TEST(CrossThread, PostsArriveInOrderAndNeverReachAWindowThatIsGone) {
  FakePlatform fake;
  auto sheet = std::make_unique<Receiver>();
  std::thread poster([ref = sheet->ref()] {
    for (int code : {0, 1, 5}) postAppMessage(ref, static_cast<uint32_t>(code), AppParam{0, "t"});
  });
  poster.join();
  EXPECT_TRUE(sheet->log.empty());  // queued, not run
  testing::processEvents();
  EXPECT_EQ(sheet->log, (std::vector<std::string>{"0:0:t", "1:0:t", "5:0:t"}));
  postAppMessage(sheet->ref(), 2);
  const WndRef ref = sheet->ref();
  sheet.reset();
  EXPECT_TRUE(ref.expired());
  testing::processEvents();  // dropped
  postAppMessage(ref, 2);    // and dropped at once
}

// A library's notification thread keeps the window as a plain pointer-sized handle.
TEST(CrossThread, HandlesReachTheirWindowFromAnyThreadAndNothingAfterIt) {
  FakePlatform fake;
  auto sheet = std::make_unique<Receiver>();
  void* handle = sheet->handle();
  bool posted = false;
  std::thread library([&] {
    const std::string text = "Authenticating...";
    posted = postAppMessage(handle, 1012, AppParam{0, text.c_str()});
  });
  library.join();
  EXPECT_TRUE(posted);
  testing::processEvents();
  EXPECT_EQ(sheet->log, std::vector<std::string>{"1012:0:Authenticating..."});
  sheet.reset();
  auto next = std::make_unique<Receiver>();  // may sit where the old one was: its handle differs
  EXPECT_NE(next->handle(), handle);
  EXPECT_FALSE(postAppMessage(handle, 1012));
  EXPECT_EQ(Wnd::fromHandle(handle).get(), nullptr);
}

TEST(CrossThread, WaitForWorkerGivesUpWhenTheClockPassesItsLimit) {
  FakePlatform fake;
  Receiver sheet;
  Event release;
  Thread worker;
  ASSERT_TRUE(worker.start([&] { release.wait(); }));
  std::atomic<bool> waiting{true};
  std::thread time([&] {
    while (waiting) {
      fake.clock.advance(100);
      std::this_thread::yield();
    }
  });
  const uint64_t start = fake.clock.tickCount();
  EXPECT_FALSE(sheet.waitForWorker(worker, 3000));
  waiting = false;
  time.join();
  EXPECT_GE(fake.clock.tickCount() - start, 3000u);
  EXPECT_TRUE(worker.running());
  release.set();
  EXPECT_TRUE(worker.join());
}

TEST(CrossThread, AWorkersMessageBoxIsShownByTheGuiThread) {
  FakePlatform fake;
  Receiver sheet;
  std::thread::id shownOn;
  fake.boxes.onShow([&](const testing::MessageBoxRecorder::Box&) { shownOn = std::this_thread::get_id(); });
  Thread worker;
  ASSERT_TRUE(worker.start([] { messageBox(nullptr, "Auto Link Failed!", {}, MB_ICONEXCLAMATION); }));
  EXPECT_TRUE(sheet.waitForWorker(worker, kInfinite));
  ASSERT_EQ(fake.boxes.texts(), std::vector<std::string>{"Auto Link Failed!"});
  EXPECT_EQ(shownOn, std::this_thread::get_id());
}

}  // namespace
}  // namespace zfw
