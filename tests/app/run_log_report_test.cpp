// Opening the run log at start-up and the box when it cannot be created.

#include "app/run_log_report.hpp"

#include <gtest/gtest.h>

#include "support/recording_messages.hpp"
#include "support/run_log_time.hpp"
#include "support/temp_dir.hpp"

namespace tavro::app {
namespace {

using test::RunLogFile;
using test::RunLogStartTime;

TEST(RunLogReport, CreationFailureShowsThePathAndTheLanguageText) {
  test::TempDir dir;
  // A file where the Backup folder should be: the folders cannot be created.
  ASSERT_TRUE(dir.Write("Backup", "not a folder"));
  data::RunLog log;
  test::RecordingMessages messages;
  messages.SetText("Log_CreateErr", " cannot be created.");
  EXPECT_FALSE(OpenRunLogOrReport(log, messages, dir.Path(), RunLogStartTime(), 2));
  EXPECT_FALSE(log.IsOpen());
  ASSERT_EQ(messages.boxes().size(), 1u);
  EXPECT_EQ(
      messages.boxes()[0],
      (test::RecordedBox{dir.PathOf(RunLogFile(2)) + " cannot be created.", platform::kBoxError}));
  log.Write("skipped");  // must not crash
}

TEST(RunLogReport, SuccessfulOpenShowsNoBox) {
  test::TempDir dir;
  data::RunLog log;
  test::RecordingMessages messages;
  EXPECT_TRUE(OpenRunLogOrReport(log, messages, dir.Path(), RunLogStartTime(), 2));
  EXPECT_TRUE(messages.boxes().empty());
}

}  // namespace
}  // namespace tavro::app
