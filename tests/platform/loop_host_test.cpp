// The headless loop host: its queue, its quit message and a wait that never misses a wake.
#include "platform/loop_host.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

TEST(HeadlessLoopHostTest, MessagesAreDispatchedInOrderAndQuitCarriesItsCode) {
  PwHeadlessLoopHost host;
  std::vector<int> seen;
  int32_t code = -1;
  EXPECT_EQ(host.DispatchMessage(code), MLoopHost::ENoMessage);
  host.Post([&] {
    seen.push_back(1);
    host.Post([&] { seen.push_back(3); });  // posting from a handler queues behind the rest
  });
  host.Post([&] { seen.push_back(2); });
  host.PostQuit(5);
  host.Post(nullptr);  // an empty message is dispatched as nothing
  EXPECT_EQ(host.PendingMessages(), 4u);

  EXPECT_EQ(host.DispatchMessage(code), MLoopHost::EDispatched);
  EXPECT_EQ(host.DispatchMessage(code), MLoopHost::EDispatched);
  EXPECT_EQ(host.DispatchMessage(code), MLoopHost::EQuit);
  EXPECT_EQ(code, 5);
  EXPECT_EQ(host.DispatchMessage(code), MLoopHost::EDispatched);
  EXPECT_EQ(host.DispatchMessage(code), MLoopHost::EDispatched);
  EXPECT_EQ(host.DispatchMessage(code), MLoopHost::ENoMessage);
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
}

TEST(HeadlessLoopHostTest, WaitReturnsForAWakeOrAMessageThatCameFirst) {
  PwHeadlessLoopHost host;
  host.Wake();
  host.Wait();  // the wake before the wait is not lost
  host.Post([] {});
  host.Wait();  // a queued message counts as input
  int32_t code = 0;
  EXPECT_EQ(host.DispatchMessage(code), MLoopHost::EDispatched);
}

TEST(HeadlessLoopHostTest, WaitBlocksUntilAnotherThreadWakesOrPosts) {
  PwHeadlessLoopHost host;
  for (int round = 0; round < 2; ++round) {
    std::atomic<bool> sent{false};
    std::thread other([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      sent = true;
      if (round == 0) {
        host.Wake();
      } else {
        host.Post([] {});
      }
    });
    host.Wait();
    EXPECT_TRUE(sent);
    other.join();
  }
}

TEST(HeadlessLoopHostTest, EventsSetFromManyThreadsAlwaysEndTheWait) {
  // The scheduler's pattern: look at the events, wait on the host, look again.
  PwHeadlessLoopHost host;
  PwEvent event;
  event.SetWaker(&host);
  constexpr int kThreads = 4;
  constexpr int kSets = 2000;
  std::atomic<int> done{0};
  std::vector<std::thread> setters;
  for (int t = 0; t < kThreads; ++t)
    setters.emplace_back([&] {
      for (int i = 0; i < kSets; ++i) event.Set();
      done.fetch_add(1);
      host.Wake();
    });
  int taken = 0;
  while (done.load() < kThreads || event.IsSet()) {
    if (event.TryWait()) {
      ++taken;
      continue;
    }
    // Every setter is done: the loop condition takes what the last Sets left, if anything.
    // (Breaking out here would miss a Set that came after the TryWait above.)
    if (done.load() == kThreads) continue;
    host.Wait();
  }
  for (auto& t : setters) t.join();
  event.SetWaker(nullptr);
  EXPECT_GE(taken, 1);
  EXPECT_FALSE(event.IsSet());
}

}  // namespace
