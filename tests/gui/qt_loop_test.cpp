#include "gui/qt_loop.hpp"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace tavro::gui {
namespace {

// Real time: only lower bounds on durations, generous limits on waits, so a
// loaded machine cannot make these fail.
constexpr int kPatienceMs = 10000;

TEST(QtLoop, TimerTicksWithItsNumberUntilStopped) {
  QtLoop loop;
  std::vector<int> ticks;
  loop.SetTickHandler([&](int id) {
    ticks.push_back(id);
    if (ticks.size() == 3)
      loop.StopTimer(id);
  });
  QElapsedTimer clock;
  clock.start();
  loop.StartTimer(7, 20);
  EXPECT_TRUE(loop.TimerRunning(7));
  EXPECT_FALSE(loop.TimerRunning(6));
  ASSERT_TRUE(QTest::qWaitFor([&] { return ticks.size() == 3; }, kPatienceMs));
  EXPECT_GE(clock.elapsed(), 55);  // three periods of 20 ms
  EXPECT_FALSE(loop.TimerRunning(7));
  QTest::qWait(60);
  EXPECT_EQ(ticks, (std::vector<int>{7, 7, 7}));
}

TEST(QtLoop, StartingARunningTimerCountsAnewFromNow) {
  QtLoop loop;
  QElapsedTimer sinceRestart;
  qint64 tickedAfter = -1;
  loop.SetTickHandler([&](int) {
    if (tickedAfter < 0)
      tickedAfter = sinceRestart.elapsed();
  });
  loop.StartTimer(4, 200);
  QThread::msleep(150);  // no events: the first count keeps running
  loop.StartTimer(4, 200);
  sinceRestart.start();
  ASSERT_TRUE(QTest::qWaitFor([&] { return tickedAfter >= 0; }, kPatienceMs));
  // Kept counting from the first start, it would have ticked after ~50 ms.
  EXPECT_GE(tickedAfter, 190);
}

TEST(QtLoop, TickHandlerCanRestartItsOwnTimerWithAnotherPeriod) {
  QtLoop loop;
  int ticks = 0;
  loop.SetTickHandler([&](int id) {
    ++ticks;
    loop.StartTimer(id, 60000);  // the next tick is a minute away
  });
  loop.StartTimer(12, 10);
  ASSERT_TRUE(QTest::qWaitFor([&] { return ticks == 1; }, kPatienceMs));
  QTest::qWait(100);  // kept at 10 ms, it would have ticked several times more
  EXPECT_EQ(ticks, 1);
  EXPECT_TRUE(loop.TimerRunning(12));
}

TEST(QtLoop, NumbersOutsideOneToTwelveAreIgnored) {
  QtLoop loop;
  int ticks = 0;
  loop.SetTickHandler([&](int) { ++ticks; });
  for (int id : {-1, 0, 13, 100}) {
    loop.StartTimer(id, 1);
    EXPECT_FALSE(loop.TimerRunning(id));
    loop.StopTimer(id);
  }
  QTest::qWait(30);
  EXPECT_EQ(ticks, 0);
}

TEST(QtLoop, SleepBlocksTicksAndMovesTheClock) {
  QtLoop loop;
  int ticks = 0;
  loop.SetTickHandler([&](int) { ++ticks; });
  const std::uint64_t before = loop.NowMs();
  loop.StartTimer(1, 0);  // 0 counts as 1 ms
  loop.Sleep(40);
  EXPECT_EQ(ticks, 0);
  EXPECT_GE(loop.NowMs() - before, 40u);
  ASSERT_TRUE(QTest::qWaitFor([&] { return ticks > 0; }, kPatienceMs));
  const std::time_t now = std::time(nullptr);
  EXPECT_LE(std::abs(static_cast<long>(loop.WallTime() - now)), 1L);
}

TEST(QtLoop, HandOverFromAWorkerRunsOnTheGuiThreadAndWaitsForIt) {
  QtLoop loop;
  std::atomic<bool> returned{false};
  QThread* ranOn = nullptr;
  int value = 0;
  std::thread worker([&] {
    loop.RunOnDecisionThread([&] {
      ranOn = QThread::currentThread();
      value = 42;
    });
    returned = true;
  });
  // The GUI thread handles no events for a while: the worker must wait.
  QThread::msleep(50);
  EXPECT_FALSE(returned.load());
  EXPECT_EQ(value, 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return returned.load(); }, kPatienceMs));
  worker.join();
  EXPECT_EQ(value, 42);
  EXPECT_EQ(ranOn, QCoreApplication::instance()->thread());
}

TEST(QtLoop, HandOversOfSeveralWorkersAllRunInTheirOrderPerWorker) {
  QtLoop loop;
  std::vector<int> seen;
  std::atomic<int> finished{0};
  std::vector<std::thread> workers;
  for (int w = 0; w < 3; ++w) {
    workers.emplace_back([&, w] {
      for (int i = 0; i < 50; ++i)
        loop.RunOnDecisionThread([&, w, i] { seen.push_back(w * 100 + i); });
      ++finished;
    });
  }
  ASSERT_TRUE(QTest::qWaitFor([&] { return finished.load() == 3; }, kPatienceMs));
  for (std::thread& t : workers)
    t.join();
  ASSERT_EQ(seen.size(), 150u);
  for (int w = 0; w < 3; ++w) {
    int last = -1;
    for (int v : seen) {
      if (v / 100 == w) {
        EXPECT_EQ(v % 100, last + 1);
        last = v % 100;
      }
    }
  }
}

TEST(QtLoop, OnTheGuiThreadAHandOverRunsAtOnce) {
  QtLoop loop;
  bool ran = false;
  loop.RunOnDecisionThread([&] { ran = true; });
  EXPECT_TRUE(ran);
}

TEST(QtLoop, DestroyingTheLoopReleasesAWaitingWorkerWithoutRunningItsWork) {
  auto loop = std::make_unique<QtLoop>();
  QtLoop* raw = loop.get();
  std::atomic<bool> ran{false};
  std::thread worker([&] { raw->RunOnDecisionThread([&] { ran = true; }); });
  QElapsedTimer clock;
  clock.start();
  while (raw->HandOversInFlight() == 0 && clock.elapsed() < kPatienceMs)
    QThread::yieldCurrentThread();
  EXPECT_EQ(raw->HandOversInFlight(), 1);
  loop.reset();
  worker.join();  // would hang if the worker were still waiting
  EXPECT_FALSE(ran.load());
}

}  // namespace
}  // namespace tavro::gui
