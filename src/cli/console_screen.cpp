#include "cli/console_screen.hpp"

#include <unistd.h>

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

int ConsoleScreen::ShowMessageBox(const platform::MessageBoxRequest& request) {
  const std::string line = std::string(PrefixOf(request.kind)) + ": " + OneLine(request.text);
  if (request.kind == platform::kBoxError)
    ++errorBoxes_;
  if (request.kind != platform::kBoxYesNo && request.kind != platform::kBoxOkCancel) {
    EndTransferLine();
    std::fprintf(err_, "%s\n", line.c_str());
    std::fflush(err_);
    return platform::kButtonOk;
  }
  int button = Decline(request.kind);
  if (answer_ == Answer::kYes) {
    button = Accept(request.kind);
  } else if (answer_ == Answer::kAsk && ::isatty(STDIN_FILENO) == 1) {
    return AskAtTerminal(line, request.kind);
  }
  EndTransferLine();
  std::fprintf(err_, "%s -> %s\n", line.c_str(), ButtonName(button));
  std::fflush(err_);
  return button;
}

int ConsoleScreen::AskAtTerminal(const std::string& line, platform::MessageKind kind) {
  const char* choices = kind == platform::kBoxYesNo ? "[y/n]" : "[OK=y/Cancel=n]";
  EndTransferLine();
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
    if (change.id == platform::kInfoText && change.state.text != previous.text &&
        !change.state.text.empty()) {
      EndTransferLine();
      std::fprintf(err_, "  %s\n", OneLine(change.state.text).c_str());
      std::fflush(err_);
    }
    if (change.id == platform::kProgressBar && change.state.visible)
      ShowProgress(change.state);
  }
}

void ConsoleScreen::ShowProgress(const platform::ControlState& bar) {
  const int span = bar.rangeMax - bar.rangeMin;
  if (span <= 0)
    return;
  const int percent = (bar.pos - bar.rangeMin) * 100 / span;
  if (percent == lastPercent_)
    return;
  lastPercent_ = percent;
  const int filled = percent / 5;
  std::string drawn(static_cast<std::size_t>(std::max(0, std::min(20, filled))), '#');
  drawn.resize(20, '-');
  EndTransferLine();
  std::fprintf(err_, "  [%s] %d%%\n", drawn.c_str(), percent);
  std::fflush(err_);
}

void ConsoleScreen::ShowTransfer(const std::string& line, std::uint64_t nowMs) {
  if (!inPlace_) {
    // A log or a pipe gets a line now and then, not one every 200 ms.
    if (lastTransferMs_ != 0 && nowMs - lastTransferMs_ < kLoggedTransferEveryMs)
      return;
    lastTransferMs_ = nowMs;
    std::fprintf(err_, "  %s\n", line.c_str());
  } else {
    std::fprintf(err_, "\r  %s\x1b[K", line.c_str());
    transferLineOpen_ = true;
  }
  std::fflush(err_);
}

void ConsoleScreen::EndTransferLine() {
  if (!transferLineOpen_)
    return;
  std::fputc('\n', err_);
  transferLineOpen_ = false;
}

std::optional<std::string> ConsoleScreen::ChooseFile(const std::string&) {
  // The console takes file names on its command line instead.
  return std::nullopt;
}

void ConsoleScreen::ShowNotice(const std::string& text) {
  EndTransferLine();
  std::fprintf(err_, "  %s\n", OneLine(text).c_str());
  std::fflush(err_);
}

const platform::ControlState* ConsoleScreen::Control(int id) const {
  const auto it = shown_.find(id);
  return it == shown_.end() ? nullptr : &it->second;
}

}  // namespace tavro::cli
