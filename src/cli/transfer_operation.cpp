#include "cli/transfer_operation.hpp"

#include <cstdio>

#include "cli/command.hpp"
#include "cli/console_screen.hpp"
#include "cli/window_session.hpp"
#include "data/file_io.hpp"
#include "platform/control_ids.hpp"

namespace tavro::cli {
namespace {

// Every stage has its own time-outs (the terminal's data backup alone may
// take 121 s); this only bounds a run that no longer moves at all.
constexpr std::uint32_t kOperationLimitMs = 60 * 60 * 1000;
// After the completion the terminal restarts and reports whether its App runs.
constexpr std::uint32_t kRunReportLimitMs = 60 * 1000;

// The information area on stderr: after a failure it explains, but it is
// no result.
void PrintInfoTextAsContext(WindowSession& session) {
  const std::string text = InfoTextLines(session.dlg().controls().Get(platform::kInfoText).text);
  std::string indented;
  for (std::size_t begin = 0; begin < text.size();) {
    std::size_t end = text.find('\n', begin);
    if (end == std::string::npos)
      end = text.size();
    if (end > begin)
      indented += "  " + text.substr(begin, end - begin) + "\n";
    begin = end + 1;
  }
  std::fputs(indented.c_str(), stderr);
}

}  // namespace

int RunUntilRunReport(const GlobalOptions& options, int buttonId, const char* command,
                      const std::optional<std::string>& folder) {
  if (!CanAnswerQuestions(options.answer))
    return RefuseUnanswerable(command);
  WindowSession session(options);
  if (const auto early = session.Start())
    return *early;
  if (folder)
    session.screen().SetChosenFolder(*folder);
  if (const int connected = session.Connect(); connected != kExitOk)
    return connected;
  engine::Context& ctx = session.dlg().context();
  ctx.link.RunResult = -1;
  ctx.link.DownloadCompleted = 0;
  if (const int status = session.RunOperation(buttonId, kOperationLimitMs); status != kExitOk)
    return status;
  if (ctx.link.DownloadCompleted == 0) {
    // A question answered with Cancel, or a terminal that restarted (lost
    // its power) mid-operation and was shown afresh.
    PrintInfoTextAsContext(session);
    std::fprintf(stderr,
                 "error: the operation ended before its completion (a question answered with "
                 "Cancel, or the terminal restarted)\n");
    // Said only when a download record is left, in the words the window uses.
    if (const auto record = ctx.operations.ResumableRecord(); record && data::FileExists(*record))
      std::fprintf(stderr, "%s\n", ctx.Text("Ext_ResumeHint").c_str());
    return kExitFailure;
  }
  if (!session.WaitFor([&ctx] { return ctx.link.RunResult >= 0; }, kRunReportLimitMs)) {
    std::fprintf(stderr, "error: the terminal did not report whether its App runs\n");
    return kExitFailure;
  }
  if (ctx.link.RunResult != 1) {
    PrintInfoTextAsContext(session);
    return kExitFailure;
  }
  session.PrintInfoText();
  return kExitOk;
}

}  // namespace tavro::cli
