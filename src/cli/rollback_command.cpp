#include "cli/rollback_command.hpp"

#include <cstdio>

#include "cli/window_session.hpp"
#include "link/messages.hpp"
#include "platform/control_ids.hpp"

namespace tavro::cli {
namespace {

// The terminal's own watchdog (121 s) ends a roll back that never reports.
constexpr std::uint32_t kRollbackLimitMs = 5 * 60 * 1000;
// The window goes idle at the first "in progress" report; the result follows.
constexpr std::uint32_t kFinalResultLimitMs = 125 * 1000;
constexpr std::int32_t kInProgress = 3;

}  // namespace

int RunRollback(const GlobalOptions& options) {
  if (!CanAnswerQuestions(options.answer))
    return RefuseUnanswerable("rollback");
  WindowSession session(options);
  if (const auto early = session.Start())
    return *early;
  if (const int connected = session.Connect(); connected != kExitOk)
    return connected;
  engine::LinkState& link = session.dlg().context().link;
  link.GoBackResult = -1;
  int status = session.RunOperation(platform::kRollBackAction, kRollbackLimitMs);
  if (link.CmdID != link::MsgGoBack) {
    std::fprintf(stderr, "error: the roll back was not confirmed; the terminal is unchanged\n");
    return kExitFailure;
  }
  if (status == kExitOk && link.GoBackResult == kInProgress) {
    const int boxesBefore = session.screen().errorBoxes();
    session.WaitFor([&link] { return link.GoBackResult != kInProgress; }, kFinalResultLimitMs);
    if (session.screen().errorBoxes() > boxesBefore)
      status = kExitFailure;
  }
  // Only the terminal's own final report counts (0 failed, 2 no backup App).
  const bool returned = link.GoBackResult >= 0 && link.GoBackResult != 0 &&
                        link.GoBackResult != 2 && link.GoBackResult != kInProgress;
  if (status == kExitOk && !returned) {
    std::fprintf(stderr, "error: the terminal did not report that its backup App runs\n");
    return kExitFailure;
  }
  if (status == kExitOk) {
    std::printf("%s\n", session.dlg().language().Text("Run_AppGobackOk").c_str());
    std::fflush(stdout);
  }
  return status;
}

}  // namespace tavro::cli
