#include "app/run_log_report.hpp"

#include <gtest/gtest.h>

#include "link/frame.hpp"
#include "support/recording_messages.hpp"
#include "support/temp_dir.hpp"

namespace tavro::app {
namespace {

// 2026-03-04 05:06:07 local time.
std::time_t StartTime() {
  std::tm tm{};
  tm.tm_year = 126;
  tm.tm_mon = 2;
  tm.tm_mday = 4;
  tm.tm_hour = 5;
  tm.tm_min = 6;
  tm.tm_sec = 7;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

constexpr const char* kLogFile = "Backup/AppRunLog/20260304050607.txt";

TEST(RunLog, OpenCreatesTheFoldersAndWritesTheOpeningLines) {
  test::TempDir dir;
  data::RunLog log;
  EXPECT_FALSE(log.IsOpen());
  ASSERT_TRUE(log.Open(dir.Path(), StartTime(), 7));
  EXPECT_TRUE(log.IsOpen());
  EXPECT_EQ(log.Path(), dir.PathOf(kLogFile));
  // Flushed at once: readable while the log is still open.
  EXPECT_EQ(dir.Read(kLogFile), "AppRunLog:\r\n\r\nCOM7");
  log.Write("\r\nUTF-8: 设备\r\n");
  EXPECT_EQ(dir.Read(kLogFile), "AppRunLog:\r\n\r\nCOM7\r\nUTF-8: 设备\r\n");
}

TEST(RunLog, NothingIsCreatedOrWrittenWithoutOpen) {
  test::TempDir dir;
  {
    data::RunLog log;  // the caller opens it only when DebugLevel is non-zero
    log.Write("\r\nlost");
    data::LogSentFrame(log, 6, link::BuildFrame(12022, {}));
    EXPECT_FALSE(log.IsOpen());
  }
  EXPECT_FALSE(dir.Exists("Backup"));
}

TEST(RunLog, WritesAfterCloseAreSkipped) {
  test::TempDir dir;
  data::RunLog log;
  ASSERT_TRUE(log.Open(dir.Path(), StartTime(), 1));
  log.Close();
  log.Close();
  log.Write("\r\nafter close");
  EXPECT_EQ(dir.Read(kLogFile), "AppRunLog:\r\n\r\nCOM1");
}

TEST(RunLog, ASecondRunInTheSameSecondTruncatesTheFirst) {
  test::TempDir dir;
  {
    data::RunLog first;
    ASSERT_TRUE(first.Open(dir.Path(), StartTime(), 3));
    first.Write("\r\nfirst run, a long line that must not survive");
  }
  data::RunLog second;
  ASSERT_TRUE(second.Open(dir.Path(), StartTime(), 4));
  EXPECT_EQ(dir.Read(kLogFile), "AppRunLog:\r\n\r\nCOM4");
}

TEST(RunLog, CreationFailureShowsThePathAndTheLanguageText) {
  test::TempDir dir;
  // A file where the Backup folder should be: the folders cannot be created.
  ASSERT_TRUE(dir.Write("Backup", "not a folder"));
  data::RunLog log;
  test::RecordingMessages messages;
  messages.SetText("Log_CreateErr", " cannot be created.");
  EXPECT_FALSE(OpenRunLogOrReport(log, messages, dir.Path(), StartTime(), 2));
  EXPECT_FALSE(log.IsOpen());
  ASSERT_EQ(messages.boxes().size(), 1u);
  EXPECT_EQ(messages.boxes()[0],
            (test::RecordedBox{dir.PathOf(kLogFile) + " cannot be created.", platform::kBoxError}));
  log.Write("skipped");  // must not crash
}

TEST(RunLog, SuccessfulOpenShowsNoBox) {
  test::TempDir dir;
  data::RunLog log;
  test::RecordingMessages messages;
  EXPECT_TRUE(OpenRunLogOrReport(log, messages, dir.Path(), StartTime(), 2));
  EXPECT_TRUE(messages.boxes().empty());
}

TEST(CommandState, BothShapesOfTheBlock) {
  const data::CommandCounters c{12055, 3, 17, 41, 256};
  EXPECT_EQ(data::FormatCommandState("OneCmdOverTime", c),
            "\r\n\r\nOneCmdOverTime\r\ncmd=12055\r\ngOneCmdTime=3\r\ngOverTimeNum=17\r\n"
            "gFrameNum=41\r\ngFrameSum=256\r\n");
  EXPECT_EQ(data::FormatCommandState("Timer", c, data::CmdWord::CmdId),
            "\r\n\r\nTimer\r\nCmdID=12055\r\ngOneCmdTime=3\r\ngOverTimeNum=17\r\n"
            "gFrameNum=41\r\ngFrameSum=256\r\n");
  // Counters print as unsigned numbers over their whole range.
  EXPECT_EQ(data::FormatCommandState("x", {4294967295u, 65535, 255, 0, 0}),
            "\r\n\r\nx\r\ncmd=4294967295\r\ngOneCmdTime=65535\r\ngOverTimeNum=255\r\n"
            "gFrameNum=0\r\ngFrameSum=0\r\n");
}

class FrameTrace : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(log.Open(dir.Path(), StartTime(), 1)); }
  std::string Trace() {
    return dir.Read(kLogFile).substr(std::string("AppRunLog:\r\n\r\nCOM1").size());
  }

  test::TempDir dir;
  data::RunLog log;
};

TEST_F(FrameTrace, SentFrameByLevel) {
  const link::Bytes frame = link::BuildFrame(12022, std::vector<std::uint8_t>{0xAB});
  data::LogSentFrame(log, 1, frame);
  EXPECT_EQ(Trace(), "");
  data::LogSentFrame(log, 2, frame);
  EXPECT_EQ(Trace(), "\r\nS-MsgID=12022\r\n");
  data::LogSentFrame(log, 5, frame);
  EXPECT_EQ(Trace(), "\r\nS-MsgID=12022\r\n\r\nS-MsgID=12022\r\n");
  std::string bytes;
  for (std::uint8_t b : frame) {
    char buf[4];
    std::snprintf(buf, sizeof buf, " %02X", b);
    bytes += buf;
  }
  ASSERT_EQ(bytes.substr(0, 9), " 5F 5F 0D");
  data::LogSentFrame(log, 6, frame);
  EXPECT_EQ(Trace(),
            "\r\nS-MsgID=12022\r\n\r\nS-MsgID=12022\r\n\r\nS-MsgID=12022\r\n" + bytes + "\r\n\r\n");
}

TEST_F(FrameTrace, ReceivedBytesAndFramesByLevel) {
  data::LogReceivedByte(log, 4, 0x5F);
  data::LogReceivedFrame(log, 1, 12005);
  EXPECT_EQ(Trace(), "");
  data::LogReceivedByte(log, 5, 0x0A);
  data::LogReceivedFrame(log, 2, 12005);
  EXPECT_EQ(Trace(), " 0A\r\nR-MsgID=12005\r\n");
}

}  // namespace
}  // namespace tavro::app
