#include "link/port_monitor.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "link/serial_test_support.hpp"

namespace tavro::link {
namespace {

using namespace std::chrono_literals;
using test::ScopedEnv;

// The terminal side closing while the port is held open: the device file
// goes away, and its number cannot be taken by a new pseudo terminal while
// the port still holds it.
class PortMonitorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(watched.ok());
    ASSERT_TRUE(other.ok());
    baseThreads = test::ThreadCount();
  }
  void TearDown() override {
    monitor.Stop();
    loop.Close();
    EXPECT_TRUE(test::ThreadsSettleAt(baseThreads));
  }

  test::Pty watched;
  test::Pty other;
  ScopedEnv aliasWatched{"TAVRO_COM220", watched.path()};
  ScopedEnv aliasOther{"TAVRO_COM221", other.path()};
  test::TestLoop loop;
  std::vector<PortRemoval> removals;
  std::thread::id testThread = std::this_thread::get_id();
  PortMonitor monitor{loop, [this](const PortRemoval& r) {
                        EXPECT_EQ(std::this_thread::get_id(), testThread);
                        removals.push_back(r);
                      }};
  std::size_t baseThreads = 0;
};

TEST_F(PortMonitorTest, ClosedPseudoTerminalLooksLikeRemovedAdapter) {
  ASSERT_TRUE(monitor.Start(10ms));
  EXPECT_TRUE(monitor.IsRunning());
  EXPECT_FALSE(loop.RunOne(50ms));  // nothing is gone yet
  const std::string path = watched.path();
  watched.CloseMaster();
  ASSERT_TRUE(loop.RunUntil([&] { return !removals.empty(); }));
  ASSERT_EQ(removals.size(), 1u);
  EXPECT_EQ(removals[0].devicePath, path);
  EXPECT_EQ(removals[0].comNumber, 220u);
  EXPECT_FALSE(loop.RunOne(50ms));  // reported once
  monitor.Stop();
  EXPECT_FALSE(monitor.IsRunning());
  EXPECT_TRUE(test::ThreadsSettleAt(baseThreads));
}

TEST_F(PortMonitorTest, CheckOnDemandReportsEachLossOnce) {
  ASSERT_TRUE(monitor.Start(std::chrono::hours(1)));
  EXPECT_TRUE(monitor.CheckGone().empty());
  other.CloseMaster();
  const auto gone = monitor.CheckGone();
  ASSERT_EQ(gone.size(), 1u);
  EXPECT_EQ(gone[0].comNumber, 221u);
  EXPECT_TRUE(monitor.CheckGone().empty());
}

TEST_F(PortMonitorTest, StopDoesNotWaitForPendingHandOver) {
  ASSERT_TRUE(monitor.Start(10ms));
  watched.CloseMaster();
  ASSERT_TRUE(loop.WaitPending());
  {
    test::HangGuard guard(loop);
    monitor.Stop();  // the decision thread has not taken the removal
    ASSERT_FALSE(guard.fired());
  }
  EXPECT_FALSE(monitor.IsRunning());
  EXPECT_TRUE(loop.RunOne());
  EXPECT_TRUE(removals.empty());  // a stopped monitor reports nothing
  EXPECT_TRUE(test::WaitFor([&] {
    monitor.Stop();
    return test::ThreadCount() == baseThreads;
  }));
}

TEST_F(PortMonitorTest, RestartTakesAFreshSnapshot) {
  ASSERT_TRUE(monitor.Start(std::chrono::hours(1)));
  watched.CloseMaster();
  ASSERT_TRUE(monitor.Start(std::chrono::hours(1)));
  // The alias was already gone when the snapshot was taken.
  EXPECT_TRUE(monitor.CheckGone().empty());
}

}  // namespace
}  // namespace tavro::link
