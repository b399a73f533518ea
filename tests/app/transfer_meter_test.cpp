// The line beside the progress bar: what it says and how often it is due.

#include "app/transfer_meter.hpp"

#include <gtest/gtest.h>

#include "app/window_fixture.hpp"
#include "link/messages.hpp"

namespace tavro::app {
namespace {

TransferState App(std::uint64_t done) {
  return TransferState{"App", done, 100000, {}};
}

TEST(TransferLine, BytesThenRateAndTimeLeftOnceKnown) {
  EXPECT_EQ(TransferLine(App(0), std::nullopt), "App: 0/100000 B");
  EXPECT_EQ(TransferLine(App(40000), 10000.0), "App: 40000/100000 B, 10000 B/s, 0:06 left");
  EXPECT_EQ(TransferLine(TransferState{"Data E2.dat", 0, 1200000, {}}, 10000.0),
            "Data E2.dat: 0/1200000 B, 10000 B/s, 2:00 left");
  EXPECT_EQ(TransferLine(App(100000), 10000.0), "App: 100000/100000 B, 10000 B/s, 0:00 left");
}

TEST(TransferLine, TheLanguagesWordsAndTheTimeWhereTheirWordingPutsIt) {
  TransferState s{"应用程序", 40000, 100000, {"字节", "字节/秒", "剩余 %1"}};
  EXPECT_EQ(TransferLine(s, 10000.0), "应用程序: 40000/100000 字节, 10000 字节/秒, 剩余 0:06");
  s.words.left = "left";  // a wording without the place for the time still shows it
  EXPECT_EQ(TransferLine(s, 10000.0), "应用程序: 40000/100000 字节, 10000 字节/秒, 0:06 left");
}

TEST(TransferMeter, AtMostEveryTwoHundredMillisecondsAndClearedOnceItEnds) {
  TransferMeter meter;
  ASSERT_EQ(meter.Update(App(0), 1000), std::nullopt) << "a start is no progress yet";
  const auto first = meter.Update(App(4096), 1100);
  ASSERT_TRUE(first);
  EXPECT_EQ(*first, "App: 4096/100000 B, 40960 B/s, 0:03 left");
  EXPECT_EQ(meter.Update(App(8192), 1250), std::nullopt) << "150 ms after the last line";
  EXPECT_TRUE(meter.Update(App(8192), 1400)) << "moved since the last line, 300 ms ago";
  EXPECT_EQ(meter.Update(App(8192), 1450), std::nullopt) << "nothing moved since";
  // The transfer ends between two lines: its last sample lacks the blocks
  // that followed, so the line is cleared rather than left half-way.
  ASSERT_EQ(meter.Update(App(12288), 1500), std::nullopt) << "100 ms after the last line";
  const auto last = meter.Update(std::nullopt, 1550);
  ASSERT_TRUE(last);
  EXPECT_EQ(*last, "");
  EXPECT_EQ(meter.Update(std::nullopt, 2000), std::nullopt) << "cleared once";
  // The next transfer shows its own figures as soon as they move.
  EXPECT_EQ(meter.Update(App(0), 2100), std::nullopt);
  const auto next = meter.Update(App(4096), 2200);
  ASSERT_TRUE(next);
  EXPECT_EQ(next->rfind("App: 4096/100000 B", 0), 0u) << *next;
}

TEST(TransferMeter, ANewStageStartsItsRateAfresh) {
  TransferMeter meter;
  meter.Update(App(0), 0);
  meter.Update(App(50000), 1000);
  meter.Update(TransferState{"Data 1.dat", 0, 9000, {}}, 1100);
  EXPECT_EQ(meter.Rate(), std::nullopt);
  meter.Update(TransferState{"Data 1.dat", 4608, 9000, {}}, 1500);
  ASSERT_TRUE(meter.Rate());
  EXPECT_DOUBLE_EQ(*meter.Rate(), 4608 * 1000.0 / 400);
}

class RunningTransferTest : public test::WindowFixture {};

TEST_F(RunningTransferTest, TheCountersOfTheRunningCommandGiveTheBytes) {
  engine::LinkState& s = link();
  EXPECT_EQ(RunningTransfer(ctx()), std::nullopt);
  MarkOperationRunning();
  s.CmdID = link::CmdAppSending;
  EXPECT_EQ(RunningTransfer(ctx()), std::nullopt) << "no image loaded yet";
  s.buffers.sendImage.assign(10000, 0);
  s.ImageLen = 10000;
  s.gFrameNum = 2;
  auto t = RunningTransfer(ctx());
  ASSERT_TRUE(t);
  EXPECT_EQ(t->stage, "App");
  EXPECT_EQ(t->done, 8192u) << "the header and one data block";
  EXPECT_EQ(t->total, 14096u);
  s.CmdID = link::CmdParaSending;
  s.StepIndex = 1;
  s.gFrameNum = 1;
  t = RunningTransfer(ctx());
  ASSERT_TRUE(t);
  EXPECT_EQ(t->stage, "Data 2.dat");
  EXPECT_EQ(t->done, 512u);
  s.CmdID = link::MsgE2Read;
  s.ReadLen = 32;
  EXPECT_EQ(RunningTransfer(ctx()), std::nullopt) << "a header read is no transfer to watch";
  s.ReadLen = 0x10000;
  s.ReadOffset = 0x4000;
  t = RunningTransfer(ctx());
  ASSERT_TRUE(t);
  EXPECT_EQ(t->done, 0x4000u);
  // An error or a removal ends the operation with the counters left as they
  // were: they describe no transfer any more.
  s.CmdID = link::CmdAppSending;
  ASSERT_TRUE(RunningTransfer(ctx()));
  ctx().operations.Remove();
  EXPECT_EQ(RunningTransfer(ctx()), std::nullopt);
}

}  // namespace
}  // namespace tavro::app
