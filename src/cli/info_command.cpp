#include "cli/info_command.hpp"

#include "cli/window_session.hpp"

namespace tavro::cli {
namespace {

int RunInfo(const GlobalOptions& options) {
  WindowSession session(options);
  if (const auto early = session.Start())
    return *early;
  const int status = session.Connect();
  // Only a finished identification is information; after a failure the
  // area holds a stage line that the error box already superseded.
  if (status != kExitOk)
    return status;
  session.PrintInfoText();
  return status;
}

}  // namespace

Command AddInfoCommand(CLI::App& app) {
  CLI::App* sub =
      app.add_subcommand("info", "Connect to the terminal and show its device information");
  return Command{sub, RunInfo};
}

}  // namespace tavro::cli
