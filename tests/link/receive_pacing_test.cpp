// When the serial worker waits for received bytes to pile up: never for an
// answer or a fast line, only inside a long run from a slow one.

#include "link/receive_pacing.hpp"

#include <gtest/gtest.h>

namespace tavro::link {
namespace {

using namespace std::chrono_literals;
using Clock = ReceivePacing::Clock;

// Feeds `reads` reads of `count` bytes, 1 ms apart from `start`; returns
// how many of them asked to gather.
int GatheringReads(ReceivePacing& pacing, int reads, std::size_t count, Clock::time_point start) {
  int gathering = 0;
  for (int i = 0; i < reads; ++i)
    gathering += pacing.AfterRead(count, start + i * 1ms) ? 1 : 0;
  return gathering;
}

TEST(ReceivePacing, AnAnswerIsHandedOverAsItComes) {
  ReceivePacing pacing;
  // 120 bytes in 11-byte reads, as 115200 baud brings them per millisecond.
  EXPECT_EQ(GatheringReads(pacing, 11, 11, Clock::now()), 0);
}

TEST(ReceivePacing, ALongRunFromASlowLineIsGatheredAfterItsStart) {
  ReceivePacing pacing;
  const auto start = Clock::now();
  EXPECT_EQ(GatheringReads(pacing, 11, 11, start), 0);
  EXPECT_TRUE(pacing.AfterRead(11, start + 11ms));
}

TEST(ReceivePacing, APauseOrAWriteStartsANewRun) {
  const auto start = Clock::now();
  ReceivePacing paused;
  EXPECT_TRUE(paused.AfterRead(200, start));
  EXPECT_FALSE(paused.AfterRead(11, start + ReceivePacing::kPause + 1ms));

  ReceivePacing written;
  EXPECT_TRUE(written.AfterRead(200, start));
  written.AfterWrite();
  EXPECT_FALSE(written.AfterRead(11, start + 1ms));
}

TEST(ReceivePacing, AFastLineIsNeverKeptWaiting) {
  ReceivePacing pacing;
  EXPECT_EQ(GatheringReads(pacing, 20, ReceivePacing::kFastRead, Clock::now()), 0);
}

}  // namespace
}  // namespace tavro::link
