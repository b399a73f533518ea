#pragma once
// The window model's Screen on a console: every message box is one line
// ("error: ...", "question: ... -> OK"), the running stage lines and a
// progress bar go to stderr, and questions are answered by --yes/--no, at the
// terminal, or with Cancel/No when nobody can answer.

#include <cstdio>
#include <map>
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
  void ShowNotice(const std::string& text) override;

  // While an operation runs, information text changes are shown as stage
  // lines on stderr.
  void SetOperationRunning(bool running) { running_ = running; }
  int errorBoxes() const { return errorBoxes_; }
  // The running transfer's line (bytes, rate, time left): redrawn in place
  // on a terminal, else printed every few seconds.
  void ShowTransfer(const std::string& line, std::uint64_t nowMs);
  // Whether the transfer line is redrawn in place (stderr is a terminal).
  void SetInPlace(bool inPlace) { inPlace_ = inPlace; }
  // Ends a transfer line drawn in place (before anything else is printed).
  void EndTransferLine();
  const platform::ControlState* Control(int id) const;

 private:
  int AskAtTerminal(const std::string& line, platform::MessageKind kind);
  void ShowProgress(const platform::ControlState& bar);

  loop::ConsoleLoop& loop_;
  Answer answer_;
  std::FILE* err_;
  bool inPlace_ = false;
  bool running_ = false;
  int errorBoxes_ = 0;
  int lastPercent_ = -1;
  static constexpr std::uint64_t kLoggedTransferEveryMs = 5000;
  bool transferLineOpen_ = false;
  std::uint64_t lastTransferMs_ = 0;
  std::map<int, platform::ControlState> shown_;
};

// A box's text on one line: line breaks become " / ".
std::string OneLine(const std::string& text);

}  // namespace tavro::cli
