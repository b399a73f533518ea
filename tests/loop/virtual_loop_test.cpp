#include "loop/virtual_loop.hpp"
#include "link/time_stamp.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace tavro::loop {
namespace {

// Records "id@time" for every tick and event, in the order they ran.
class VirtualLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    loop.SetTickHandler([this](int id) { Record("T" + std::to_string(id)); });
  }
  void Record(const std::string& what) { log.push_back(what + "@" + std::to_string(loop.NowMs())); }
  std::function<void()> Event(const std::string& name) {
    return [this, name] { Record(name); };
  }

  loop::VirtualLoop loop;
  std::vector<std::string> log;
};

using Log = std::vector<std::string>;

TEST_F(VirtualLoopTest, TimersFireInTimeOrderAndKeepTheirPeriod) {
  loop.StartTimer(7, 1000);
  loop.StartTimer(12, 300);
  loop.Advance(999);
  EXPECT_EQ(log, (Log{"T12@300", "T12@600", "T12@900"}));
  EXPECT_EQ(loop.NowMs(), 999u);
  loop.Advance(2);
  EXPECT_EQ(log.back(), "T7@1000");
  EXPECT_TRUE(loop.TimerRunning(7));
}

TEST_F(VirtualLoopTest, RestartCountsAnewAndTiesRunInStartOrder) {
  loop.StartTimer(9, 1000);
  loop.StartTimer(3, 1000);
  loop.Advance(500);
  loop.StartTimer(9, 1000);  // restart: next tick at 1500
  loop.Advance(1000);
  EXPECT_EQ(log, (Log{"T3@1000", "T9@1500"}));
  log.clear();
  // Same due time: the one armed first runs first, whatever its number.
  loop.StartTimer(10, 100);
  loop.StartTimer(2, 100);
  loop.Advance(100);
  EXPECT_EQ(log, (Log{"T10@1600", "T2@1600"}));
}

TEST_F(VirtualLoopTest, RestartFromOwnTickUsesTheNewPeriod) {
  int ticks = 0;
  loop.SetTickHandler([&](int id) {
    Record("T" + std::to_string(id));
    if (++ticks == 1)
      loop.StartTimer(id, 50);
  });
  loop.StartTimer(4, 1000);
  loop.Advance(1120);
  EXPECT_EQ(log, (Log{"T4@1000", "T4@1050", "T4@1100"}));
}

TEST_F(VirtualLoopTest, StoppedTimersDoNotFire) {
  loop.SetTickHandler([&](int id) {
    Record("T" + std::to_string(id));
    if (id == 1)
      loop.StopTimer(5);  // due at the same instant, later in line
    if (id == 6)
      loop.StopTimer(6);  // stops itself
  });
  loop.StartTimer(1, 100);
  loop.StartTimer(5, 100);
  loop.StartTimer(6, 30);
  loop.Advance(250);
  EXPECT_EQ(log, (Log{"T6@30", "T1@100", "T1@200"}));
  EXPECT_FALSE(loop.TimerRunning(5));
  EXPECT_FALSE(loop.TimerRunning(6));
  loop.StopTimer(1);
  loop.Advance(10000);
  EXPECT_EQ(log.size(), 3u);
}

TEST_F(VirtualLoopTest, InvalidTimerNumbersAreIgnored) {
  loop.StartTimer(0, 10);
  loop.StartTimer(13, 10);
  EXPECT_FALSE(loop.TimerRunning(0));
  EXPECT_FALSE(loop.TimerRunning(13));
  loop.Advance(100);
  EXPECT_TRUE(log.empty());
}

TEST_F(VirtualLoopTest, SleepMovesTheClockOnlyAndOverdueTimersFireOnceLater) {
  loop.StartTimer(12, 1);
  loop.StartTimer(3, 1000);
  loop.ScheduleAfter(20, Event("E"));
  loop.Sleep(2500);
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(loop.NowMs(), 2500u);
  loop.StopTimer(12);
  loop.RunPending();
  // In the order they fell due; each timer once, then counting from now.
  EXPECT_EQ(log, (Log{"E@2500", "T3@2500"}));
  log.clear();
  loop.Advance(1000);
  EXPECT_EQ(log, (Log{"T3@3500"}));
}

TEST_F(VirtualLoopTest, ZeroPeriodCountsAsOneMillisecond) {
  loop.StartTimer(8, 0);
  loop.Advance(3);
  EXPECT_EQ(log, (Log{"T8@1", "T8@2", "T8@3"}));
}

TEST_F(VirtualLoopTest, EventsRunInTimeOrderWithTiesInScheduleOrder) {
  loop.ScheduleAt(200, Event("B"));
  loop.ScheduleAt(100, Event("A"));
  loop.ScheduleAt(200, Event("C"));
  loop.StartTimer(2, 200);  // armed after B and C
  loop.ScheduleAfter(200, Event("D"));
  loop.ScheduleAt(300, Event("late"));
  EXPECT_EQ(loop.NextDueTime(), 100u);
  loop.Advance(200);
  EXPECT_EQ(log, (Log{"A@100", "B@200", "C@200", "T2@200", "D@200"}));
  EXPECT_EQ(loop.ScheduledEventCount(), 1u);
}

TEST_F(VirtualLoopTest, EventsScheduledAtTheSameInstantRunInTheSameAdvance) {
  loop.ScheduleAt(10, [&] {
    Record("first");
    loop.ScheduleAfter(0, Event("chained"));
  });
  loop.Advance(10);
  EXPECT_EQ(log, (Log{"first@10", "chained@10"}));
}

TEST_F(VirtualLoopTest, RunUntilStopsAtTheEventThatSatisfiesIt) {
  int count = 0;
  loop.SetTickHandler([&](int) { ++count; });
  loop.StartTimer(7, 1000);
  EXPECT_TRUE(loop.RunUntil([&] { return count == 9; }, 60000));
  EXPECT_EQ(loop.NowMs(), 9000u);
  EXPECT_FALSE(loop.RunUntil([&] { return count == 100; }, 5500));
  EXPECT_EQ(loop.NowMs(), 14500u);
  EXPECT_EQ(count, 14);
  // Already true: nothing runs and the clock stays.
  EXPECT_TRUE(loop.RunUntil([] { return true; }, 1000));
  EXPECT_EQ(loop.NowMs(), 14500u);
}

TEST_F(VirtualLoopTest, SelfReschedulingAtOneInstantFaultsInsteadOfHanging) {
  std::function<void()> again = [&] { loop.ScheduleAfter(0, again); };
  loop.ScheduleAt(5, again);
  loop.StartTimer(1, 1);
  EXPECT_FALSE(loop.RunUntil([] { return false; }, 100));
  EXPECT_TRUE(loop.Faulted());
  EXPECT_NE(loop.FaultText().find("5 ms"), std::string::npos);
  const auto stuck = loop.NowMs();
  loop.Advance(100);
  EXPECT_EQ(loop.NowMs(), stuck);
}

TEST_F(VirtualLoopTest, WallTimeFollowsVirtualSeconds) {
  loop.SetWallTimeBase(1000000);
  loop.Advance(1999);
  EXPECT_EQ(loop.WallTime(), 1000001);
  const std::time_t base = loop::VirtualLoop::DefaultWallTimeBase();
  std::tm tm{};
  ASSERT_TRUE(link::LocalTime(base, tm));
  EXPECT_EQ(tm.tm_year + 1900, 2026);
  EXPECT_EQ(tm.tm_hour, 3);
  EXPECT_EQ(tm.tm_sec, 5);
}

TEST_F(VirtualLoopTest, HandOverFromAWorkerBlocksUntilTheTestThreadRunsIt) {
  std::atomic<bool> returned{false};
  std::thread::id ranOn;
  std::thread worker([&] {
    loop.RunOnDecisionThread([&] {
      ranOn = std::this_thread::get_id();
      Record("byte");
    });
    returned = true;
  });
  ASSERT_TRUE(loop.WaitForRequest(std::chrono::seconds(10)));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(returned);
  EXPECT_TRUE(log.empty());
  loop.Advance(5);
  worker.join();
  EXPECT_TRUE(returned);
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  EXPECT_EQ(log, (Log{"byte@0"}));
}

TEST_F(VirtualLoopTest, HandOverOnTheDecisionThreadRunsAtOnce) {
  loop.RunOnDecisionThread(Event("now"));
  EXPECT_EQ(log, (Log{"now@0"}));
}

TEST(VirtualLoopLifetime, DestructionReleasesAWaitingWorker) {
  auto loop = std::make_unique<loop::VirtualLoop>();
  bool ran = false;
  std::thread worker([&] { loop->RunOnDecisionThread([&] { ran = true; }); });
  ASSERT_TRUE(loop->WaitForRequest(std::chrono::seconds(10)));
  loop.reset();
  worker.join();
  EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace tavro::loop
