#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/win32/critical_section.h"
#include "platform/win32/hresult.h"
#include "platform/win32/interlocked.h"

namespace plat {
namespace {

TEST(CriticalSection, OwnerMayReenterOthersMayNot) {
  CriticalSection section;
  section.Enter();
  section.Enter();  // recursion on the owning thread
  bool otherGotIt = true;
  std::thread([&] { otherGotIt = section.TryEnter(); }).join();
  EXPECT_FALSE(otherGotIt);
  section.Leave();
  std::thread([&] { otherGotIt = section.TryEnter(); }).join();
  EXPECT_FALSE(otherGotIt);  // still held once
  section.Leave();
  std::thread([&] {
    otherGotIt = section.TryEnter();
    if (otherGotIt) section.Leave();
  }).join();
  EXPECT_TRUE(otherGotIt);
}

TEST(Interlocked, ReturnsTheNewValueAndWraps) {
  std::atomic<std::uint32_t> count{1};
  EXPECT_EQ(InterlockedIncrement(count), 2u);
  EXPECT_EQ(InterlockedDecrement(count), 1u);
  EXPECT_EQ(InterlockedDecrement(count), 0u);
  EXPECT_EQ(InterlockedDecrement(count), 0xFFFFFFFFu);
  std::atomic<std::int32_t> signedCount{INT32_MAX};
  EXPECT_EQ(InterlockedIncrement(signedCount), INT32_MIN);
}

TEST(Interlocked, EveryThreadSeesADistinctNewValue) {
  std::atomic<std::uint32_t> count{0};
  constexpr int kThreads = 4, kEach = 10000;
  std::vector<std::vector<std::uint32_t>> seen(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) seen[t].push_back(InterlockedIncrement(count));
    });
  }
  for (auto& th : threads) th.join();
  std::vector<bool> hit(kThreads * kEach + 1, false);
  for (const auto& values : seen) {
    for (std::uint32_t v : values) {
      ASSERT_FALSE(hit[v]) << v;
      hit[v] = true;
    }
  }
  EXPECT_EQ(count.load(), static_cast<std::uint32_t>(kThreads * kEach));
}

TEST(HResult, SuccessAndFailureBySign) {
  EXPECT_TRUE(SUCCEEDED(S_OK));
  EXPECT_TRUE(SUCCEEDED(S_FALSE));
  for (HRESULT hr : {E_FAIL, E_POINTER, E_INVALIDARG, E_OUTOFMEMORY, E_NOTIMPL, E_UNEXPECTED}) {
    EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
  }
  EXPECT_EQ(static_cast<std::uint32_t>(E_OUTOFMEMORY), 0x8007000Eu);
  EXPECT_EQ(static_cast<std::uint32_t>(E_INVALIDARG), 0x80070057u);
}

}  // namespace
}  // namespace plat
