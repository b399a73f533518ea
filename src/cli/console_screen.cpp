#include "cli/console_screen.hpp"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "cli/stage_progress.hpp"
#include "platform/control_ids.hpp"
#include "platform/messages.hpp"

namespace tavro::cli {
namespace {

const char* PrefixOf(platform::MessageKind kind) {
  switch (kind) {
    case platform::kBoxError:
      return "error";
    case platform::kBoxWarning:
      return "warning";
    case platform::kBoxYesNo:
    case platform::kBoxOkCancel:
      return "question";
    default:
      return "info";
  }
}

const char* ButtonName(int button) {
  switch (button) {
    case platform::kButtonOk:
      return "OK";
    case platform::kButtonCancel:
      return "Cancel";
    case platform::kButtonYes:
      return "Yes";
    case platform::kButtonNo:
      return "No";
    default:
      return "";
  }
}

int Accept(platform::MessageKind kind) {
  return kind == platform::kBoxYesNo ? platform::kButtonYes : platform::kButtonOk;
}
int Decline(platform::MessageKind kind) {
  return kind == platform::kBoxYesNo ? platform::kButtonNo : platform::kButtonCancel;
}

}  // namespace

std::string OneLine(const std::string& text) {
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      while (i + 1 < text.size() && (text[i + 1] == '\r' || text[i + 1] == '\n'))
        ++i;
      if (!line.empty())
        line += " / ";
    } else {
      line += text[i];
    }
  }
  return line;
}

ConsoleScreen::ConsoleScreen(loop::ConsoleLoop& loop, Answer answer, std::FILE* err)
    : loop_(loop), answer_(answer), err_(err), inPlace_(::isatty(::fileno(err)) != 0) {}

void ConsoleScreen::SetStopForDeclined(std::function<bool(const std::string&)> goesOnWhenDeclined,
                                       std::function<void()> stop) {
  goesOnWhenDeclined_ = std::move(goesOnWhenDeclined);
  stop_ = std::move(stop);
}

void ConsoleScreen::PrintLine(const std::string& line) {
  EndProgressLine();
  std::fprintf(err_, "%s\n", line.c_str());
  std::fflush(err_);
}

int ConsoleScreen::ShowMessageBox(const platform::MessageBoxRequest& request) {
  const std::string line = std::string(PrefixOf(request.kind)) + ": " + OneLine(request.text);
  if (request.kind == platform::kBoxError)
    ++errorBoxes_;
  if (request.kind != platform::kBoxYesNo && request.kind != platform::kBoxOkCancel) {
    PrintLine(line);
    return platform::kButtonOk;
  }
  if (answer_ == Answer::kYes) {
    PrintLine(line + " -> " + ButtonName(Accept(request.kind)));
    return Accept(request.kind);
  }
  if (answer_ == Answer::kAsk && ::isatty(STDIN_FILENO) == 1)
    return AskAtTerminal(line, request.kind);
  // --no (or nobody to ask): the answer that does not go on. Where Cancel
  // would carry on without a step, that answer is to stop here.
  if (goesOnWhenDeclined_ && goesOnWhenDeclined_(request.text)) {
    PrintLine(line + " -> not answered");
    PrintLine(
        "error: stopped at this question: Cancel would go on without it, and --no goes no "
        "further; the download had not started");
    if (stop_)
      stop_();
    std::exit(kExitFailure);  // neither answer may reach the operation
  }
  PrintLine(line + " -> " + ButtonName(Decline(request.kind)));
  return Decline(request.kind);
}

int ConsoleScreen::AskAtTerminal(const std::string& line, platform::MessageKind kind) {
  const char* choices = kind == platform::kBoxYesNo ? "[y/n]" : "[OK=y/Cancel=n]";
  EndProgressLine();
  std::fprintf(err_, "%s %s ", line.c_str(), choices);
  std::fflush(err_);
  // The loop keeps running while the technician decides, as under a modal box.
  std::string typed;
  bool answered = false;
  loop_.WatchFd(STDIN_FILENO, [&](short) {
    char c = 0;
    const ssize_t n = ::read(STDIN_FILENO, &c, 1);
    if (n <= 0 || c == '\n') {
      answered = true;
    } else {
      typed.push_back(c);
    }
  });
  loop_.RunUntil([&] { return answered; });
  loop_.UnwatchFd(STDIN_FILENO);
  const bool yes = !typed.empty() && (typed[0] == 'y' || typed[0] == 'Y');
  const int button = yes ? Accept(kind) : Decline(kind);
  std::fprintf(err_, "-> %s\n", ButtonName(button));
  std::fflush(err_);
  return button;
}

void ConsoleScreen::SetOperationRunning(bool running) {
  EndProgressLine();
  running_ = running;
  stage_.clear();
  stagePercent_ = 0;
  printedTenth_ = 0;
  transfer_.clear();
  plainText_.clear();
}

void ConsoleScreen::ShowControls(const std::vector<platform::ControlChange>& changes) {
  // The refresh that enables the operation buttons again carries the final
  // information text, which goes to stdout, not to the stage lines.
  bool operationEnded = false;
  for (const platform::ControlChange& change : changes) {
    if (change.id == platform::kDeviceInfoButton && change.state.enabled)
      operationEnded = true;
  }
  for (const platform::ControlChange& change : changes) {
    const platform::ControlState previous = shown_[change.id];
    shown_[change.id] = change.state;
    if (!running_ || operationEnded)
      continue;
    // The window's own bar counts the whole operation; the console's bar
    // follows the stage's percentage instead, so the two figures shown side
    // by side are one.
    if (change.id == platform::kInfoText && change.state.text != previous.text &&
        !change.state.text.empty())
      ShowInfoText(change.state.text);
  }
}

void ConsoleScreen::ShowInfoText(const std::string& text) {
  const std::optional<RunningStage> stage = RunningStageOf(text);
  if (!stage) {
    // Not a stage display (the device information shown afresh, a wait):
    // once per change, and a stage after it is named again.
    std::string line = OneLine(text);
    line = "  " + line.substr(std::min(line.find_first_not_of(' '), line.size()));
    if (line != plainText_)
      PrintLine(line);
    plainText_ = line;
    stage_.clear();
    return;
  }
  plainText_.clear();
  // The animated dots change the text every second; only a new stage or
  // a new percentage is news.
  if (stage->name != stage_) {
    PrintLine("  " + stage->name);
    stage_ = stage->name;
    printedTenth_ = 0;
  } else if (stage->percent == stagePercent_) {
    return;
  }
  stagePercent_ = stage->percent;
  ShowStageProgress();
}

void ConsoleScreen::ShowStageProgress() {
  if (stage_.empty()) {
    // A transfer outside a stage display: its figures alone, on a terminal.
    if (inPlace_ && !transfer_.empty()) {
      std::fprintf(err_, "\r  %s\x1b[K", transfer_.c_str());
      std::fflush(err_);
      progressLineOpen_ = true;
    }
    return;
  }
  std::string line = "  " + ProgressBar(stagePercent_) + " " +
                     std::string(stagePercent_ < 10    ? "  "
                                 : stagePercent_ < 100 ? " "
                                                       : "") +
                     std::to_string(stagePercent_) + "%";
  if (!transfer_.empty())
    line += "  " + transfer_;
  if (inPlace_) {
    std::fprintf(err_, "\r%s\x1b[K", line.c_str());
    std::fflush(err_);
    progressLineOpen_ = true;
    return;
  }
  const int tenth = stagePercent_ / 10;
  if (tenth <= printedTenth_)
    return;
  printedTenth_ = tenth;
  PrintLine(line);
}

void ConsoleScreen::ShowTransfer(const std::optional<std::string>& line, bool redraw) {
  // Only a running transfer's figures are shown: the last sample of one
  // that has ended may lack its last block.
  const bool ended = !line && !transfer_.empty();
  transfer_ = line.value_or("");
  // On a terminal the figures move with the meter; a log gets them on its
  // next progress line.
  if (inPlace_ && running_ && (redraw || ended))
    ShowStageProgress();
}

void ConsoleScreen::EndProgressLine() {
  if (!progressLineOpen_)
    return;
  std::fputc('\n', err_);
  progressLineOpen_ = false;
}

std::optional<std::string> ConsoleScreen::ChooseFile(const std::string&) {
  // The console takes file names on its command line instead.
  return std::nullopt;
}

std::optional<std::string> ConsoleScreen::ChooseFolder(const std::string&) {
  std::optional<std::string> folder = std::move(chosenFolder_);
  chosenFolder_.reset();
  return folder;
}

void ConsoleScreen::ShowNotice(const std::string& text) {
  PrintLine("  " + OneLine(text));
}

const platform::ControlState* ConsoleScreen::Control(int id) const {
  const auto it = shown_.find(id);
  return it == shown_.end() ? nullptr : &it->second;
}

bool CanAnswerQuestions(Answer answer) {
  return answer != Answer::kAsk || ::isatty(STDIN_FILENO) == 1;
}

int RefuseUnanswerable(const std::string& command) {
  std::fprintf(stderr,
               "error: %s asks questions before it changes the terminal, and stdin is not a "
               "terminal to answer them; run it again with --yes (answer OK) or --no (answer "
               "Cancel, never go on)\n",
               command.c_str());
  return kExitUsage;
}

}  // namespace tavro::cli
