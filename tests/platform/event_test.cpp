// Auto-reset events and the wakers that let one wait cover many events.
#include "platform/event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

class CCountingWaker final : public MEventWaker {
 public:
  void Wake() override { iWakes.fetch_add(1); }
  std::atomic<int> iWakes{0};
};

TEST(EventTest, OneSetReleasesOneWaitAndSetsDoNotAccumulate) {
  PwEvent event;
  EXPECT_FALSE(event.IsSet());
  EXPECT_FALSE(event.TryWait());
  event.Set();
  event.Set();
  EXPECT_TRUE(event.IsSet());
  EXPECT_TRUE(event.IsSet()) << "peeking does not consume";
  EXPECT_TRUE(event.TryWait());
  EXPECT_FALSE(event.TryWait()) << "auto-reset: two Sets are one signal";
  EXPECT_FALSE(event.Wait(0));

  event.Set();
  event.Reset();
  EXPECT_FALSE(event.Wait(10));
  event.Set();
  EXPECT_TRUE(event.Wait(0));
  EXPECT_FALSE(event.IsSet());
}

TEST(EventTest, SetFromAnotherThreadReleasesAnUnlimitedWait) {
  PwEvent event;
  std::atomic<bool> released{false};
  std::thread waiter([&] {
    EXPECT_TRUE(event.Wait());
    released = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(released);
  event.Set();
  waiter.join();
  EXPECT_TRUE(released);
  EXPECT_FALSE(event.IsSet()) << "the waiter consumed the signal";
}

TEST(EventTest, EachSetReleasesExactlyOneOfSeveralWaiters) {
  PwEvent event;
  std::atomic<int> released{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i)
    waiters.emplace_back([&] {
      if (event.Wait(60000)) released.fetch_add(1);  // generous: ends as soon as a Set comes
    });
  for (int i = 0; i < 3; ++i) {
    event.Set();
    // Wait until some waiter has consumed this signal before giving the next.
    while (event.IsSet()) std::this_thread::yield();
  }
  for (auto& t : waiters) t.join();
  EXPECT_EQ(released.load(), 3);
}

TEST(EventTest, WakerIsToldOfEverySetUntilDetached) {
  PwEvent event;
  CCountingWaker first;
  CCountingWaker second;
  EXPECT_EQ(event.SetWaker(&first), nullptr);
  event.Set();
  event.Set();
  EXPECT_EQ(first.iWakes.load(), 2);
  EXPECT_EQ(event.SetWaker(&second), &first);
  event.Set();
  EXPECT_EQ(event.SetWaker(nullptr), &second);
  event.Set();
  EXPECT_EQ(first.iWakes.load(), 2);
  EXPECT_EQ(second.iWakes.load(), 1);
}

TEST(EventTest, DetachingWhileOtherThreadsSetNeverCallsTheOldWakerAfterwards) {
  // The waker may be destroyed right after SetWaker(nullptr) returns.
  PwEvent event;
  std::atomic<bool> stop{false};
  std::vector<std::thread> setters;
  for (int i = 0; i < 4; ++i)
    setters.emplace_back([&] {
      while (!stop) event.Set();
    });
  for (int round = 0; round < 200; ++round) {
    auto* waker = new CCountingWaker;
    event.SetWaker(waker);
    std::this_thread::yield();
    event.SetWaker(nullptr);
    delete waker;  // ASan reports a late call
  }
  stop = true;
  for (auto& t : setters) t.join();
}

}  // namespace
