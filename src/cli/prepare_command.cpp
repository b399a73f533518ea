#include "cli/prepare_command.hpp"

#include <cstdio>
#include <string>
#include <vector>

#include "app/ctavro_dlg.hpp"
#include "app/startup_sequence.hpp"
#include "cli/console_screen.hpp"
#include "link/serial_link.hpp"
#include "loop/console_loop.hpp"

namespace tavro::cli {
namespace {

// The preparation never talks to a terminal; the window model still needs a
// line to hold.
class NoSerialLink : public link::SerialLink {
 public:
  void SetByteHandler(ByteHandler) override {}
  bool Open(std::uint32_t, const link::LineSettings&) override { return false; }
  bool StartWorker() override { return false; }
  void WriteFrame(link::ByteView) override {}
  void RequestStop() override {}
  void ForceStop() override {}
  bool IsOpen() const override { return false; }
};

// A run-log line as one console line: without its line breaks.
std::string LogText(const std::string& line) {
  std::string text;
  for (const char c : line) {
    if (c != '\r' && c != '\n')
      text += c;
  }
  return text;
}

int RunPrepare(const GlobalOptions& options) {
  loop::ConsoleLoop loop;
  ConsoleScreen screen(loop, options.answer);
  NoSerialLink line;
  app::CTAVRODlg dlg(loop, screen, line, options.programDir,
                     [] { return std::vector<link::PortEntry>{}; });
  if (!dlg.SetUpWindow()) {
    std::fprintf(stderr, "  looked in %s/Language.ini; pass --dir PROGRAM_DIR\n",
                 options.programDir.c_str());
    return kExitFailure;
  }
  if (!app::CheckPackageAndCreateTree(dlg.context()))
    return kExitFailure;
  const data::PrepareResult result = app::PrepareStartupData(dlg.context());
  const bool ok = result.code == data::kPrepared;
  // Only a finished preparation is a result; after a failure what was done
  // explains the error already shown.
  std::FILE* out = ok ? stdout : stderr;
  for (const std::string& action : result.actions)
    std::fprintf(out, "%s\n", action.c_str());
  for (const std::string& logLine : result.logLines)
    std::fprintf(out, "log: %s\n", LogText(logLine).c_str());
  if (!ok)
    std::fprintf(stderr, "error: the preparation ended with result %d\n", result.code);
  std::fflush(out);
  return ok ? kExitOk : kExitFailure;
}

}  // namespace

Command AddPrepareCommand(CLI::App& app) {
  CLI::App* sub = app.add_subcommand(
      "prepare", "Bring the initial data to the destination data version, as at start-up");
  return Command{sub, RunPrepare};
}

}  // namespace tavro::cli
