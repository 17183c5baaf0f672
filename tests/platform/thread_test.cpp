// Threads with a real stack size and a join that gives up after a time limit.
#include "platform/thread.h"

#include <gtest/gtest.h>

#include <pthread.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "platform/event.h"

namespace {

TEST(ThreadTest, BodyRunsWithAtLeastTheMinimumStackAndJoins) {
  EXPECT_EQ(PwThread::KStopWaitMs, 15000);
  for (size_t requested : {size_t{20480}, size_t{1024 * 1024}}) {
    PwThread thread;
    size_t stack = 0;
    bool current = false;
    ASSERT_TRUE(thread.Start(
        [&] {
          pthread_attr_t attr;
          ASSERT_EQ(pthread_getattr_np(pthread_self(), &attr), 0);
          pthread_attr_getstacksize(&attr, &stack);
          pthread_attr_destroy(&attr);
          current = thread.IsCurrent();
        },
        requested));
    EXPECT_TRUE(thread.IsAttached());
    EXPECT_TRUE(thread.Join());
    EXPECT_FALSE(thread.IsAttached());
    EXPECT_GE(stack, std::max(requested, PwThread::KMinStackBytes));
    EXPECT_TRUE(current);
    EXPECT_FALSE(thread.IsCurrent());
  }
}

TEST(ThreadTest, StartRefusesASecondThreadAndAnEmptyBody) {
  PwThread thread;
  PwEvent go;
  EXPECT_FALSE(thread.Start(nullptr));
  ASSERT_TRUE(thread.Start([&] { go.Wait(); }));
  EXPECT_FALSE(thread.Start([] {}));
  go.Set();
  EXPECT_TRUE(thread.Join());
  // Free again after the join.
  ASSERT_TRUE(thread.Start([] {}));
  EXPECT_TRUE(thread.Join(-1));
  EXPECT_TRUE(thread.Join()) << "joining nothing succeeds";
}

TEST(ThreadTest, JoinGivesUpOnAStuckThreadWhichThenEndsOnItsOwn) {
  PwEvent release;
  std::atomic<bool> finished{false};
  auto shared = std::make_shared<int>(7);  // captured state must live as long as the thread
  {
    PwThread thread;
    ASSERT_TRUE(thread.Start([&, shared] {
      release.Wait();
      finished = *shared == 7;
    }));
    EXPECT_FALSE(thread.HasEnded());
    EXPECT_FALSE(thread.Join(50));
    EXPECT_FALSE(thread.IsAttached()) << "abandoned after the limit";
    // A new thread can be started on the same object at once.
    ASSERT_TRUE(thread.Start([] {}));
    EXPECT_TRUE(thread.Join());
  }
  release.Set();
  for (int i = 0; i < 3000 && !finished; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(finished);
}

TEST(ThreadTest, EscapingExceptionEndsOnlyTheThread) {
  PwThread thread;
  ASSERT_TRUE(thread.Start([] { throw std::runtime_error("reader failed"); }));
  EXPECT_TRUE(thread.Join());
}

TEST(ThreadTest, DestructorJoinsAFinishingThread) {
  std::atomic<bool> ran{false};
  {
    PwThread thread;
    ASSERT_TRUE(thread.Start([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      ran = true;
    }));
  }
  EXPECT_TRUE(ran);
}

TEST(ThreadTest, LockExcludesOtherThreads) {
  PwLock lock;
  int counter = 0;
  PwThread a;
  PwThread b;
  auto body = [&] {
    for (int i = 0; i < 20000; ++i) {
      PwLockGuard guard(lock);
      ++counter;
    }
  };
  ASSERT_TRUE(a.Start(body));
  ASSERT_TRUE(b.Start(body));
  EXPECT_TRUE(a.Join());
  EXPECT_TRUE(b.Join());
  EXPECT_EQ(counter, 40000);
  ASSERT_TRUE(lock.TryLock());
  bool otherGot = true;
  std::thread([&] { otherGot = lock.TryLock(); }).join();
  EXPECT_FALSE(otherGot);
  lock.Unlock();
}

}  // namespace
