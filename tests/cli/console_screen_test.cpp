// The console's screen on its own: the running stage read from the stage
// display, the progress a log receives, and how questions are answered.

#include "cli/console_screen.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/stage_progress.hpp"
#include "platform/control_ids.hpp"
#include "platform/messages.hpp"

namespace tavro::cli {
namespace {

TEST(StageProgress, TheRunningStageIsTheFirstUnfinishedLineWithAPercentage) {
  struct Case {
    std::string text;
    std::optional<std::string> name;
    int percent;
  };
  const std::vector<Case> cases = {
      {"  Reading device information(0%)\r\n\r\n  Backing up to the PC\r\n\r\n  Downloading",
       "Reading device information", 0},
      {"√Reading device information(100%)\r\n\r\n√Backing up to the PC(100%)\r\n\r\n"
       "√Converting data(100%)\r\n\r\n  Downloading(30%)..\r\n\r\n  Starting the terminal",
       "Downloading", 30},
      // The completion's waiting line has no dots.
      {"√Downloading(100%)\r\n\r\n  Starting the terminal(50%)", "Starting the terminal", 50},
      // A backup of a terminal without an intact App: the first line is a
      // state, not a stage.
      {"Current App: incomplete or damaged\r\n\r\n  Parameter data backup(40%).",
       "Parameter data backup", 40},
      // Early rows of a wait compute figures below zero or past the end.
      {"√A(100%)\r\n\r\n  Downloading(-2345%)...", "Downloading", 0},
      {"  Downloading(130%)", "Downloading", 100},
      // All finished: the final text, no stage runs.
      {"√Reading device information(100%)\r\n\r\n√Starting the terminal(100%)", std::nullopt, 0},
      // Information that is no stage display.
      {"Bootloader version: 2.15\r\nParameter data version: 1.2.0.0", std::nullopt, 0},
      {"  Reading device information", std::nullopt, 0},
      {"Backup App (1.0.1.0) present", std::nullopt, 0},
      {"  (30%)", std::nullopt, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::optional<RunningStage> stage = RunningStageOf(c.text);
    ASSERT_EQ(stage.has_value(), c.name.has_value());
    if (stage) {
      EXPECT_EQ(stage->name, *c.name);
      EXPECT_EQ(stage->percent, c.percent);
    }
  }
  EXPECT_EQ(ProgressBar(0), "[--------------------]");
  EXPECT_EQ(ProgressBar(47), "[#########-----------]");
  EXPECT_EQ(ProgressBar(100), "[####################]");
}

// A screen whose stderr is a file, as when the console's output goes to a
// log.
class LoggedScreen : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(log_, nullptr); }
  void TearDown() override {
    if (log_ != nullptr)
      std::fclose(log_);
  }

  void Info(const std::string& text) {
    platform::ControlState state;
    state.text = text;
    screen_.ShowControls({{platform::kInfoText, state}});
  }
  std::vector<std::string> Lines() {
    std::fflush(log_);
    std::rewind(log_);
    std::vector<std::string> lines;
    std::string line;
    for (int c = std::fgetc(log_); c != EOF; c = std::fgetc(log_)) {
      if (c == '\n') {
        lines.push_back(line);
        line.clear();
      } else {
        line += static_cast<char>(c);
      }
    }
    EXPECT_TRUE(line.empty()) << "an unfinished line: " << line;
    return lines;
  }

  std::FILE* log_ = std::tmpfile();
  loop::ConsoleLoop loop_;
  ConsoleScreen screen_{loop_, Answer::kYes, log_};
};

// The stage display as the window model redraws it every second while a
// transfer runs: finished stages ticked, the running one with its own
// percentage and the animated dots.
std::string Row(const std::vector<std::string>& stages, std::size_t running, int percent,
                int tick) {
  std::string text;
  for (std::size_t i = 0; i < stages.size(); ++i) {
    if (i > 0)
      text += "\r\n\r\n";
    if (i < running)
      text += "√" + stages[i] + "(100%)";
    else if (i == running)
      text += "  " + stages[i] + "(" + std::to_string(percent) + "%)" +
              std::string(static_cast<std::size_t>(tick % 3 + 1), '.');
    else
      text += "  " + stages[i];
  }
  return text;
}

TEST_F(LoggedScreen, AWholeTransferIsOneLinePerStageAndPerTenthWithTheStagesOwnFigure) {
  const std::vector<std::string> stages = {"Reading device information", "Backing up to the PC",
                                           "Converting data", "Downloading",
                                           "Starting the terminal"};
  screen_.SetOperationRunning(true);
  int tick = 0;
  for (std::size_t running = 0; running < stages.size(); ++running) {
    for (int percent = 0; percent < 100; ++percent) {
      // Several redraws at one figure: only the dots move.
      for (int redraw = 0; redraw < 3; ++redraw) {
        screen_.ShowTransfer("App: " + std::to_string(percent * 100) + "/10000 B", true);
        Info(Row(stages, running, percent, tick++));
      }
    }
  }
  screen_.ShowTransfer(std::nullopt, true);
  screen_.SetOperationRunning(false);

  const std::vector<std::string> lines = Lines();
  // Each stage named once, then its figure at 10 %, 20 % ... 90 %.
  ASSERT_EQ(lines.size(), stages.size() * 10) << ::testing::PrintToString(lines);
  const std::regex progress(R"(  \[([#-]{20})\] +([0-9]+)%  App: ([0-9]+)/10000 B)");
  for (std::size_t i = 0; i < stages.size(); ++i) {
    EXPECT_EQ(lines[i * 10], "  " + stages[i]);
    for (int tenth = 1; tenth <= 9; ++tenth) {
      const std::string& line = lines[i * 10 + static_cast<std::size_t>(tenth)];
      std::smatch m;
      ASSERT_TRUE(std::regex_match(line, m, progress)) << line;
      const int percent = std::stoi(m[2]);
      EXPECT_EQ(percent, tenth * 10) << line;
      // The bar and the figure beside it are one.
      EXPECT_EQ(std::count(line.begin(), line.end(), '#'), percent / 5) << line;
      EXPECT_EQ(std::stoi(m[3]), percent * 100) << "the running transfer's figures: " << line;
    }
  }
}

TEST_F(LoggedScreen, OtherInformationIsShownOnceAndAStageAfterItIsNamedAgain) {
  screen_.SetOperationRunning(true);
  Info("  Reading device information");
  Info("  Reading device information");
  Info("  Downloading(30%).");
  Info("Bootloader version: 2.15\r\nChip number: QZA100");
  Info("  Downloading(30%)..");
  // The refresh that ends the operation carries the result, not a stage.
  platform::ControlState done;
  done.text = "√Downloading(100%)";
  platform::ControlState enabled;
  screen_.ShowControls({{platform::kDeviceInfoButton, enabled}, {platform::kInfoText, done}});
  screen_.SetOperationRunning(false);
  Info("  Downloading(60%).");
  EXPECT_EQ(Lines(), (std::vector<std::string>{"  Reading device information", "  Downloading",
                                               "  [######--------------]  30%",
                                               "  Bootloader version: 2.15 / Chip number: QZA100",
                                               "  Downloading", "  [######--------------]  30%"}));
}

platform::MessageBoxRequest Question(const std::string& text,
                                     platform::MessageKind kind = platform::kBoxOkCancel) {
  platform::MessageBoxRequest request;
  request.text = text;
  request.kind = kind;
  return request;
}

struct StoppedAtQuestion : std::runtime_error {
  StoppedAtQuestion() : std::runtime_error("stopped") {}
};

TEST(ConsoleAnswers, NoAnswersEveryQuestionWithItsStopAndStopsWhereCancelWouldGoOn) {
  std::FILE* log = std::tmpfile();
  ASSERT_NE(log, nullptr);
  loop::ConsoleLoop loop;
  ConsoleScreen no(loop, Answer::kNo, log);
  no.SetStopForDeclined(
      [](const std::string& text) {
        return text.find("Cancel: go on without") != std::string::npos;
      },
      [] { throw StoppedAtQuestion(); });
  EXPECT_EQ(no.ShowMessageBox(Question("Download?\r\nOK: start. Cancel: stop.")),
            platform::kButtonCancel);
  EXPECT_EQ(no.ShowMessageBox(Question("Go on without the backup?", platform::kBoxYesNo)),
            platform::kButtonNo);
  EXPECT_THROW(
      no.ShowMessageBox(Question("App 1.0.2.0\r\nOK: back up first. Cancel: go on without it.")),
      StoppedAtQuestion);
  // An error box is no question: it is shown and acknowledged.
  EXPECT_EQ(no.ShowMessageBox(Question("Failed.", platform::kBoxError)), platform::kButtonOk);
  EXPECT_EQ(no.errorBoxes(), 1);

  ConsoleScreen yes(loop, Answer::kYes, log);
  yes.SetStopForDeclined([](const std::string&) { return true; },
                         [] { throw StoppedAtQuestion(); });
  EXPECT_EQ(yes.ShowMessageBox(Question("OK: back up first. Cancel: go on without it.")),
            platform::kButtonOk);
  EXPECT_EQ(yes.ShowMessageBox(Question("Go on?", platform::kBoxYesNo)), platform::kButtonYes);

  std::fflush(log);
  std::rewind(log);
  std::string text;
  for (int c = std::fgetc(log); c != EOF; c = std::fgetc(log))
    text += static_cast<char>(c);
  std::fclose(log);
  EXPECT_EQ(text,
            "question: Download? / OK: start. Cancel: stop. -> Cancel\n"
            "question: Go on without the backup? -> No\n"
            "question: App 1.0.2.0 / OK: back up first. Cancel: go on without it. -> not answered\n"
            "error: stopped at this question: Cancel would go on without it, and --no goes no "
            "further; the download had not started\n"
            "error: Failed.\n"
            "question: OK: back up first. Cancel: go on without it. -> OK\n"
            "question: Go on? -> Yes\n");
}

}  // namespace
}  // namespace tavro::cli
