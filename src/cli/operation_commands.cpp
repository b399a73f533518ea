#include "cli/operation_commands.hpp"

#include <memory>
#include <string>
#include <string_view>

#include "cli/rollback_command.hpp"
#include "cli/transfer_operation.hpp"
#include "cli/window_session.hpp"
#include "operations/registry.hpp"

namespace tavro::cli {
namespace {

// Connects when the operation needs it, presses its button, and prints the
// information area once it ended without an error box: every file an
// operation writes is verified before its closing box.
int RunOperationRow(const GlobalOptions& options, const operations::OperationRow& row) {
  WindowSession session(options);
  if (const auto early = session.Start())
    return *early;
  if (row.needsConnection) {
    if (const int connected = session.Connect(); connected != kExitOk)
      return connected;
  }
  const int status = session.RunOperation(row.controlId, row.consoleLimitMs);
  // After a failure the area holds a stage line that the error box already
  // superseded.
  if (status != kExitOk)
    return status;
  session.PrintInfoText();
  return status;
}

std::function<int(const GlobalOptions&)> RunnerFor(const operations::OperationRow& row) {
  const std::string_view command = row.command;
  // A download is done only once the terminal reports that its new App runs.
  if (command == "download" || command == "upgrade") {
    return [&row](const GlobalOptions& options) {
      return RunUntilRunReport(options, row.controlId, row.command);
    };
  }
  // A roll back is done only once the terminal reports its backup App runs.
  if (command == "rollback")
    return RunRollback;
  return [&row](const GlobalOptions& options) { return RunOperationRow(options, row); };
}

}  // namespace

std::vector<Command> AddOperationCommands(CLI::App& app) {
  std::vector<Command> commands;
  for (const operations::OperationRow& row : operations::OperationRows()) {
    CLI::App* sub = app.add_subcommand(row.command, row.commandHelp);
    if (std::string_view(row.command) == "restore") {
      // The folder the window would ask for comes on the command line.
      auto folder = std::make_shared<std::string>();
      sub->add_option("FOLDER", *folder, "The data backup folder to restore (see backups)")
          ->required();
      commands.push_back(Command{sub, [&row, folder](const GlobalOptions& options) {
                                   return RunUntilRunReport(options, row.controlId, row.command,
                                                            *folder);
                                 }});
      continue;
    }
    commands.push_back(Command{sub, RunnerFor(row)});
  }
  return commands;
}

}  // namespace tavro::cli
