#include "platform/event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
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
  platform::ManualResetEvent event(true);
  event.Wait();  // returns at once, and leaves the event set
  EXPECT_TRUE(event.IsSet());
  event.Reset();
  EXPECT_FALSE(event.WaitFor(0ms));
  event.Set();
  EXPECT_TRUE(event.WaitFor(0ms));
}

// One Set releases every blocked waiter, and only then, even when the event
// is reset right after: the waiters usually get to run only after the Reset;
// without the guarantee some round would hang here.
TEST(ManualResetEvent, OneSetReleasesEveryWaiterEvenWhenResetRightAfter) {
  platform::ManualResetEvent event;
  for (int round = 0; round < 300; ++round) {
    std::atomic<bool> released{false};
    std::atomic<int> woken{0};
    std::atomic<int> wokeEarly{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i) {
      waiters.emplace_back([&] {
        event.Wait();
        if (!released) ++wokeEarly;
        ++woken;
      });
    }
    AwaitWaiters(event, 3);
    released = true;
    event.Set();
    event.Set();  // setting twice is harmless
    event.Reset();
    for (std::thread& t : waiters)
      t.join();
    EXPECT_EQ(woken.load(), 3);
    EXPECT_EQ(wokeEarly.load(), 0) << "a waiter returned before the event was set";
    EXPECT_FALSE(event.IsSet());
  }
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

TEST(Thread, StartThreadRunsTheBodyOnAnotherThreadAndSurvivesItsException) {
  std::thread::id ranOn;
  std::thread t = platform::StartThread([&] { ranOn = std::this_thread::get_id(); });
  const std::thread::id started = t.get_id();
  t.join();
  EXPECT_EQ(ranOn, started);

  std::atomic<bool> before{false};
  std::thread failing = platform::StartThread([&] {
    before = true;
    throw std::runtime_error("worker failed");
  });
  failing.join();  // reaching this line means the process was not terminated
  EXPECT_TRUE(before.load());
  platform::StartThread(nullptr).join();
}

}  // namespace
