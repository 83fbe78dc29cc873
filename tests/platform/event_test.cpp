#include "platform/event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/thread.h"

namespace {

using namespace std::chrono_literals;

// Blocks until `count` threads wait on the event: the ordering the tests
// rely on comes from this, not from sleeping.
void AwaitWaiters(const platform::ManualResetEvent& event, std::size_t count) {
  while (event.WaiterCount() < count)
    std::this_thread::yield();
}

TEST(ManualResetEvent, StaysSetUntilReset) {
  platform::ManualResetEvent event;
  EXPECT_FALSE(event.IsSet());
  event.Set();
  event.Set();  // setting twice is harmless
  EXPECT_TRUE(event.IsSet());
  event.Wait();  // returns at once, and leaves the event set
  EXPECT_TRUE(event.WaitFor(0ms));
  EXPECT_TRUE(event.IsSet());
  event.Reset();
  EXPECT_FALSE(event.IsSet());
  EXPECT_FALSE(event.WaitFor(0ms));

  platform::ManualResetEvent initiallySet(true);
  EXPECT_TRUE(initiallySet.IsSet());
}

TEST(ManualResetEvent, WaitForTimesOutWhenNotSignalled) {
  platform::ManualResetEvent event;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(event.WaitFor(30ms));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 30ms);
  EXPECT_FALSE(event.WaitFor(-5ms));
  EXPECT_EQ(event.WaiterCount(), 0u);
}

TEST(ManualResetEvent, WaiterStaysBlockedUntilSetFromAnotherThread) {
  platform::ManualResetEvent event;
  std::atomic<bool> released{false};
  std::atomic<bool> sawRelease{false};
  std::atomic<bool> woke{false};
  std::thread waiter([&] {
    event.Wait();
    sawRelease = released.load();
    woke = true;
  });
  AwaitWaiters(event, 1);
  EXPECT_FALSE(woke.load());
  released = true;
  event.Set();
  waiter.join();
  EXPECT_TRUE(woke.load());
  EXPECT_TRUE(sawRelease.load()) << "the waiter returned before the event was set";
}

TEST(ManualResetEvent, WaitForReturnsTrueWhenSetDuringTheWait) {
  platform::ManualResetEvent event;
  std::atomic<bool> result{false};
  std::thread waiter([&] { result = event.WaitFor(std::chrono::minutes(5)); });
  AwaitWaiters(event, 1);
  event.Set();
  waiter.join();
  EXPECT_TRUE(result.load());
}

TEST(ManualResetEvent, OneSetReleasesEveryWaiter) {
  platform::ManualResetEvent event;
  constexpr int kWaiters = 6;
  std::atomic<int> woken{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < kWaiters; ++i) {
    waiters.emplace_back([&, i] {
      if (i % 2 == 0) {
        event.Wait();
      } else {
        EXPECT_TRUE(event.WaitFor(std::chrono::minutes(5)));
      }
      ++woken;
    });
  }
  AwaitWaiters(event, kWaiters);
  EXPECT_EQ(woken.load(), 0);
  event.Set();
  for (std::thread& t : waiters)
    t.join();
  EXPECT_EQ(woken.load(), kWaiters);
}

TEST(ManualResetEvent, ResetRightAfterSetStillReleasesBlockedWaiters) {
  // The waiters usually get to run only after the Reset; without the
  // guarantee some round would hang here.
  platform::ManualResetEvent event;
  for (int round = 0; round < 300; ++round) {
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i) {
      waiters.emplace_back([&] {
        event.Wait();
        ++woken;
      });
    }
    AwaitWaiters(event, 3);
    event.Set();
    event.Reset();
    for (std::thread& t : waiters)
      t.join();
    EXPECT_EQ(woken.load(), 3);
    EXPECT_FALSE(event.IsSet());
  }
}

TEST(ManualResetEvent, WaitAfterResetBlocksUntilSetAgain) {
  platform::ManualResetEvent event(true);
  event.Reset();
  EXPECT_FALSE(event.WaitFor(20ms));

  std::atomic<bool> woke{false};
  std::thread waiter([&] {
    event.Wait();
    woke = true;
  });
  AwaitWaiters(event, 1);
  EXPECT_FALSE(woke.load());
  event.Set();
  waiter.join();
  EXPECT_TRUE(woke.load());
}

// The driver's hand-over: the host posts on `request` and waits on `done`;
// the worker serves and answers. The plain counter is guarded only by the
// events, so the thread sanitizer checks they order the two threads.
TEST(ManualResetEvent, PingPongHandOverBetweenTwoThreads) {
  platform::ManualResetEvent request;
  platform::ManualResetEvent done;
  constexpr int kRounds = 5000;
  int counter = 0;
  bool stop = false;

  std::thread worker = platform::StartThread([&] {
    for (;;) {
      request.Reset();
      done.Set();
      request.Wait();
      if (stop) return;
      ++counter;
    }
  });
  done.Wait();  // worker idle
  for (int round = 0; round < kRounds; ++round) {
    EXPECT_EQ(counter, round);
    done.Reset();
    request.Set();
    done.Wait();
  }
  stop = true;
  done.Reset();
  request.Set();
  worker.join();
  EXPECT_EQ(counter, kRounds);
}

TEST(Thread, StartThreadRunsTheBodyOnAnotherThread) {
  std::thread::id ranOn;
  std::thread t = platform::StartThread([&] { ranOn = std::this_thread::get_id(); });
  const std::thread::id started = t.get_id();
  t.join();
  EXPECT_EQ(ranOn, started);
  EXPECT_NE(ranOn, std::this_thread::get_id());
}

TEST(Thread, ExceptionInTheBodyEndsOnlyThatThread) {
  std::atomic<bool> before{false};
  std::thread t = platform::StartThread([&] {
    before = true;
    throw std::runtime_error("worker failed");
  });
  t.join();  // reaching this line means the process was not terminated
  EXPECT_TRUE(before.load());

  std::thread empty = platform::StartThread(nullptr);
  empty.join();
}

TEST(Thread, SleepLastsAtLeastTheRequestedTime) {
  const auto start = std::chrono::steady_clock::now();
  platform::Sleep(20ms);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 20ms);
}

}  // namespace
