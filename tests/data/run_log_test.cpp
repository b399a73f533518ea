// The run log: its file, its opening lines, command-state blocks and frame
// traces by level.

#include "data/run_log.hpp"

#include <gtest/gtest.h>

#include "link/frame.hpp"
#include "support/run_log_time.hpp"
#include "support/temp_dir.hpp"

namespace tavro::data {
namespace {

using test::RunLogFile;
using test::RunLogStartTime;

TEST(RunLog, OpenCreatesTheFoldersAndWritesTheOpeningLines) {
  test::TempDir dir;
  RunLog log;
  EXPECT_FALSE(log.IsOpen());
  ASSERT_TRUE(log.Open(dir.Path(), RunLogStartTime(), 7));
  EXPECT_TRUE(log.IsOpen());
  EXPECT_EQ(log.Path(), dir.PathOf(RunLogFile(7)));
  // Flushed at once: readable while the log is still open.
  EXPECT_EQ(dir.Read(RunLogFile(7)), "AppRunLog:\r\n\r\nCOM7");
  log.Write("\r\nUTF-8: 设备\r\n");
  EXPECT_EQ(dir.Read(RunLogFile(7)), "AppRunLog:\r\n\r\nCOM7\r\nUTF-8: 设备\r\n");
}

TEST(RunLog, NothingIsCreatedOrWrittenWithoutOpen) {
  test::TempDir dir;
  {
    RunLog log;  // the caller opens it only when DebugLevel is non-zero
    log.Write("\r\nlost");
    LogSentFrame(log, 6, link::BuildFrame(12022, {}));
    EXPECT_FALSE(log.IsOpen());
  }
  EXPECT_FALSE(dir.Exists("Backup"));
}

TEST(RunLog, WritesAfterCloseAreSkipped) {
  test::TempDir dir;
  RunLog log;
  ASSERT_TRUE(log.Open(dir.Path(), RunLogStartTime(), 1));
  log.Close();
  log.Close();
  log.Write("\r\nafter close");
  EXPECT_EQ(dir.Read(RunLogFile(1)), "AppRunLog:\r\n\r\nCOM1");
}

TEST(RunLog, InstancesOnTwoPortsStartedInOneSecondKeepTheirOwnLogs) {
  test::TempDir dir;
  RunLog first;
  RunLog second;
  ASSERT_TRUE(first.Open(dir.Path(), RunLogStartTime(), 3));
  ASSERT_TRUE(second.Open(dir.Path(), RunLogStartTime(), 4));
  first.Write("\r\nfirst");
  second.Write("\r\nsecond");
  EXPECT_EQ(first.Path(), dir.PathOf(RunLogFile(3)));
  EXPECT_EQ(second.Path(), dir.PathOf(RunLogFile(4)));
  EXPECT_EQ(dir.Read(RunLogFile(3)), "AppRunLog:\r\n\r\nCOM3\r\nfirst");
  EXPECT_EQ(dir.Read(RunLogFile(4)), "AppRunLog:\r\n\r\nCOM4\r\nsecond");
}

TEST(RunLog, ASecondRunOnThePortInTheSameSecondNeverTruncatesTheFirst) {
  test::TempDir dir;
  // Two instances whose port could not be opened both log under COM1.
  RunLog first;
  ASSERT_TRUE(first.Open(dir.Path(), RunLogStartTime(), 1));
  first.Write("\r\nfirst run, a long line that must survive");
  RunLog second;
  ASSERT_TRUE(second.Open(dir.Path(), RunLogStartTime(), 1));
  RunLog third;
  ASSERT_TRUE(third.Open(dir.Path(), RunLogStartTime(), 1));
  second.Write("\r\nsecond");
  first.Write("\r\nfirst again");
  const std::string stem = "Backup/AppRunLog/20260304050607-COM1";
  EXPECT_EQ(second.Path(), dir.PathOf(stem + "-2.txt"));
  EXPECT_EQ(third.Path(), dir.PathOf(stem + "-3.txt"));
  EXPECT_EQ(dir.Read(RunLogFile(1)),
            "AppRunLog:\r\n\r\nCOM1\r\nfirst run, a long line that must survive\r\nfirst again");
  EXPECT_EQ(dir.Read(stem + "-2.txt"), "AppRunLog:\r\n\r\nCOM1\r\nsecond");
  EXPECT_EQ(dir.Read(stem + "-3.txt"), "AppRunLog:\r\n\r\nCOM1");
}

TEST(RunLog, ReopeningOneLoggerStartsAFileOfItsOwn) {
  test::TempDir dir;
  RunLog log;
  ASSERT_TRUE(log.Open(dir.Path(), RunLogStartTime(), 5));
  log.Write("\r\nkept");
  ASSERT_TRUE(log.Open(dir.Path(), RunLogStartTime(), 5));
  EXPECT_EQ(dir.Read(RunLogFile(5)), "AppRunLog:\r\n\r\nCOM5\r\nkept");
  EXPECT_EQ(log.Path(), dir.PathOf("Backup/AppRunLog/20260304050607-COM5-2.txt"));
}

TEST(CommandState, BothShapesOfTheBlock) {
  const CommandCounters c{12055, 3, 17, 41, 256};
  EXPECT_EQ(FormatCommandState("OneCmdOverTime", c),
            "\r\n\r\nOneCmdOverTime\r\ncmd=12055\r\ngOneCmdTime=3\r\ngOverTimeNum=17\r\n"
            "gFrameNum=41\r\ngFrameSum=256\r\n");
  EXPECT_EQ(FormatCommandState("Timer", c, CmdWord::CmdId),
            "\r\n\r\nTimer\r\nCmdID=12055\r\ngOneCmdTime=3\r\ngOverTimeNum=17\r\n"
            "gFrameNum=41\r\ngFrameSum=256\r\n");
  // Counters print as unsigned numbers over their whole range.
  EXPECT_EQ(FormatCommandState("x", {4294967295u, 65535, 255, 0, 0}),
            "\r\n\r\nx\r\ncmd=4294967295\r\ngOneCmdTime=65535\r\ngOverTimeNum=255\r\n"
            "gFrameNum=0\r\ngFrameSum=0\r\n");
}

class FrameTrace : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(log.Open(dir.Path(), RunLogStartTime(), 1)); }
  std::string Trace() {
    return dir.Read(RunLogFile(1)).substr(std::string("AppRunLog:\r\n\r\nCOM1").size());
  }

  test::TempDir dir;
  RunLog log;
};

TEST_F(FrameTrace, SentFrameByLevel) {
  const link::Bytes frame = link::BuildFrame(12022, std::vector<std::uint8_t>{0xAB});
  LogSentFrame(log, 1, frame);
  EXPECT_EQ(Trace(), "");
  LogSentFrame(log, 2, frame);
  EXPECT_EQ(Trace(), "\r\nS-MsgID=12022\r\n");
  LogSentFrame(log, 5, frame);
  EXPECT_EQ(Trace(), "\r\nS-MsgID=12022\r\n\r\nS-MsgID=12022\r\n");
  std::string bytes;
  for (std::uint8_t b : frame) {
    char buf[4];
    std::snprintf(buf, sizeof buf, " %02X", b);
    bytes += buf;
  }
  ASSERT_EQ(bytes.substr(0, 9), " 5F 5F 0D");
  LogSentFrame(log, 6, frame);
  EXPECT_EQ(Trace(),
            "\r\nS-MsgID=12022\r\n\r\nS-MsgID=12022\r\n\r\nS-MsgID=12022\r\n" + bytes + "\r\n\r\n");
}

TEST_F(FrameTrace, ReceivedBytesAndFramesByLevel) {
  LogReceivedByte(log, 4, 0x5F);
  LogReceivedFrame(log, 1, 12005);
  EXPECT_EQ(Trace(), "");
  LogReceivedByte(log, 5, 0x0A);
  LogReceivedFrame(log, 2, 12005);
  EXPECT_EQ(Trace(), " 0A\r\nR-MsgID=12005\r\n");
}

}  // namespace
}  // namespace tavro::data
