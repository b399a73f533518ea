#pragma once
// The window model's Screen on a console: every message box is one line
// ("error: ...", "question: ... -> OK"), the running stage and its progress
// go to stderr, and questions are answered by --yes/--no or at the terminal.
//
// Progress: a line names each stage as it starts; below it a bar shows the
// stage's own percentage (the figure the window prints beside the stage)
// with the running transfer's bytes, rate and time left. On a terminal that
// line is redrawn in place; into a log or a pipe it is printed once per 10 %
// of the stage, so a whole upgrade stays a few dozen lines.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "cli/global_options.hpp"
#include "loop/console_loop.hpp"
#include "platform/screen.hpp"

namespace tavro::cli {

class ConsoleScreen : public platform::Screen {
 public:
  // Boxes, questions and stage lines go to `err`; the final information is
  // the command's to print.
  ConsoleScreen(loop::ConsoleLoop& loop, Answer answer, std::FILE* err = stderr);

  int ShowMessageBox(const platform::MessageBoxRequest& request) override;
  void ShowControls(const std::vector<platform::ControlChange>& changes) override;
  std::optional<std::string> ChooseFile(const std::string& filter) override;
  // The folder given on the command line, once; cancelled without one.
  std::optional<std::string> ChooseFolder(const std::string& start) override;
  void ShowNotice(const std::string& text) override;
  void SetChosenFolder(std::string folder) { chosenFolder_ = std::move(folder); }

  // While an operation runs, information text changes are shown as stage
  // and progress lines.
  void SetOperationRunning(bool running);
  int errorBoxes() const { return errorBoxes_; }
  // The running transfer's figures ("App: 4096/45133 B, 5265 B/s, 0:08
  // left"), nullopt when none runs. `redraw`: the figures are due on a
  // terminal (the transfer meter paces them).
  void ShowTransfer(const std::optional<std::string>& line, bool redraw);
  // Whether the progress line is redrawn in place (stderr is a terminal).
  void SetInPlace(bool inPlace) { inPlace_ = inPlace; }
  // Ends a progress line drawn in place (before anything else is printed).
  void EndProgressLine();
  const platform::ControlState* Control(int id) const;

  // A question whose Cancel goes on without a step (the App backup, the
  // initial data of a damaged terminal) is not answered when the answer is
  // "do not go on": `stop` is called instead and must not return.
  // `goesOnWhenDeclined` tells such questions by their text.
  void SetStopForDeclined(std::function<bool(const std::string&)> goesOnWhenDeclined,
                          std::function<void()> stop);

 private:
  int AskAtTerminal(const std::string& line, platform::MessageKind kind);
  void ShowInfoText(const std::string& text);
  void ShowStageProgress();
  void PrintLine(const std::string& line);

  loop::ConsoleLoop& loop_;
  Answer answer_;
  std::FILE* err_;
  bool inPlace_ = false;
  bool running_ = false;
  int errorBoxes_ = 0;
  // The running stage as last shown.
  std::string stage_;
  int stagePercent_ = 0;
  int printedTenth_ = 0;  // pipe: the last 10 % step printed for the stage
  std::string transfer_;
  std::string plainText_;  // the last information text that was no stage display
  bool progressLineOpen_ = false;
  std::function<bool(const std::string&)> goesOnWhenDeclined_;
  std::function<void()> stop_;
  std::map<int, platform::ControlState> shown_;
  std::optional<std::string> chosenFolder_;
};

// A box's text on one line: line breaks become " / ".
std::string OneLine(const std::string& text);

// Whether questions can be answered: --yes or --no given, or stdin is a
// terminal to ask at.
bool CanAnswerQuestions(Answer answer);
// For a command that asks before it changes the terminal, run where nobody
// can answer: the refusal, on stderr, and the exit code (kExitUsage).
int RefuseUnanswerable(const std::string& command);

}  // namespace tavro::cli
