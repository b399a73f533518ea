#include "loop/console_loop.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace tavro::loop {
namespace {

// Real time: bounds are generous so a loaded machine cannot make these flaky.
constexpr std::uint32_t kPatienceMs = 10000;

TEST(ConsoleLoop, TimerTicksInRealTimeUntilStopped) {
  loop::ConsoleLoop loop;
  ASSERT_TRUE(loop.Valid());
  std::vector<int> ticks;
  loop.SetTickHandler([&](int id) {
    ticks.push_back(id);
    if (ticks.size() == 3)
      loop.StopTimer(id);
  });
  const auto start = loop.NowMs();
  loop.StartTimer(5, 20);
  EXPECT_TRUE(loop.RunUntil([&] { return ticks.size() == 3; }, kPatienceMs));
  EXPECT_GE(loop.NowMs() - start, 55u);  // three periods of 20 ms, at least
  EXPECT_FALSE(loop.TimerRunning(5));
  loop.RunFor(60);
  EXPECT_EQ(ticks, (std::vector<int>{5, 5, 5}));
}

TEST(ConsoleLoop, SleepBlocksTicks) {
  loop::ConsoleLoop loop;
  int ticks = 0;
  loop.SetTickHandler([&](int) { ++ticks; });
  loop.StartTimer(1, 1);
  loop.Sleep(30);
  EXPECT_EQ(ticks, 0);
  EXPECT_TRUE(loop.RunUntil([&] { return ticks > 0; }, kPatienceMs));
}

TEST(ConsoleLoop, HandOverFromAWorkerRunsOnTheLoopThreadAndWaits) {
  loop::ConsoleLoop loop;
  std::atomic<int> handled{0};
  std::thread::id ranOn;
  std::vector<int> order;
  std::thread worker([&] {
    for (int i = 0; i < 50; ++i) {
      loop.RunOnDecisionThread([&, i] {
        ranOn = std::this_thread::get_id();
        order.push_back(i);
        ++handled;
      });
      // Synchronous: the byte has been handled when the call returns.
      EXPECT_EQ(handled.load(), i + 1);
    }
  });
  EXPECT_TRUE(loop.RunUntil([&] { return handled == 50; }, kPatienceMs));
  worker.join();
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  ASSERT_EQ(order.size(), 50u);
  for (int i = 0; i < 50; ++i)
    EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
}

TEST(ConsoleLoop, HandOverOnTheLoopThreadRunsAtOnce) {
  loop::ConsoleLoop loop;
  bool ran = false;
  loop.RunOnDecisionThread([&] { ran = true; });
  EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace tavro::loop
