// tavro-cli: the console front end. Global options first, then one command.
// Exit codes: 0 success, 1 the command failed (an error box), 2 the command
// line is wrong (or lacks --yes/--no where nobody can answer a question), 3
// no serial port could be opened.

#include <CLI/CLI.hpp>

#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/backups_command.hpp"
#include "cli/command.hpp"
#include "cli/convert_command.hpp"
#include "cli/global_options.hpp"
#include "cli/ini2bin_command.hpp"
#include "cli/operation_commands.hpp"
#include "cli/path_checks.hpp"
#include "cli/ports_command.hpp"
#include "cli/prepare_command.hpp"
#include "cli/rules_command.hpp"
#include "data/utf8_path.hpp"
#include "platform/arguments.hpp"

namespace {

using tavro::cli::Answer;
using tavro::cli::Command;
using tavro::cli::GlobalOptions;

// "COM<n>" with n from 1 to 255, letters in any case; empty text when it
// fits. A port number the tool cannot hold is refused, never wrapped onto
// another port.
std::string CheckComPort(const std::string& text) {
  if (text.size() > 3 && text.size() <= 6 && (text[0] == 'C' || text[0] == 'c') &&
      (text[1] == 'O' || text[1] == 'o') && (text[2] == 'M' || text[2] == 'm') && text[3] != '0' &&
      text.find_first_not_of("0123456789", 3) == std::string::npos &&
      std::stoi(text.substr(3)) <= 255) {
    return {};
  }
  return "expected COM<n> with n from 1 to 255, got " + text;
}

// The first word of the command line that is neither a global option nor
// an option's value, when it names no command; CLI11 would only say that a
// command is required.
std::optional<std::string> UnknownCommand(int argc, char** argv,
                                          const std::vector<Command>& commands) {
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--dir" || word == "--port") {
      ++i;  // its value
      continue;
    }
    if (word.empty() || word[0] == '-')
      continue;
    for (const Command& command : commands) {
      if (command.parser->get_name() == word)
        return std::nullopt;
    }
    return word;
  }
  return std::nullopt;
}

std::string CommandNames(const std::vector<Command>& commands) {
  std::string names;
  for (const Command& command : commands)
    names += (names.empty() ? "" : ", ") + command.parser->get_name();
  return names;
}

std::string ProgramDir(const std::string& given) {
  std::filesystem::path dir = given.empty()
                                  ? std::filesystem::current_path()
                                  : std::filesystem::absolute(tavro::data::Utf8Path(given));
  std::string text = tavro::data::Utf8Of(dir.lexically_normal());
  while (text.size() > 1 && text.back() == '/')
    text.pop_back();
  return text;
}

int Run(int argc, char** argv) {
  CLI::App app{"TAVRO service tool, console front end"};
  app.set_version_flag("--version", std::string("tavro-cli ") + TAVRO_VERSION);
  app.require_subcommand(1);
  app.fallthrough();  // global options may also follow the command

  std::string dir;
  std::string port;
  bool yes = false;
  bool no = false;
  app.add_option("--dir", dir, "Program directory (default: the current directory)")
      ->check(tavro::cli::kExistingFolder);
  app.add_option("--port", port, "Serial port, COM<n>")->check(CheckComPort);
  CLI::Option* yesFlag = app.add_flag("--yes,-y", yes, "Answer every question with OK (Yes)");
  CLI::Option* noFlag = app.add_flag(
      "--no", no,
      "Answer every question with Cancel (No), the answer that does not go on. Where Cancel "
      "would still go on without a step (the App backup question, the damaged-data question), "
      "stop the operation there, before anything is downloaded: whoever types --no expects the "
      "terminal to stay as it is (to skip only the App backup, answer at the terminal). An "
      "upgrade that resumes asks nothing and goes on");
  yesFlag->excludes(noFlag);
  app.footer(
      "Without --yes or --no the questions are asked at the terminal; when stdin is not a "
      "terminal, download, upgrade, restore and rollback refuse to start (exit status 2).\n"
      "Stage lines, boxes and progress go to stderr (one line per stage and per 10 % of it when "
      "stderr is no terminal); stdout gets the final result of a successful command only.\n"
      "Exit status: 0 done, 1 ended with an error, 2 wrong command line (or no way to answer "
      "questions), 3 no serial port could be opened.");

  std::vector<Command> commands;
  commands.push_back(tavro::cli::AddPortsCommand(app));
  for (Command& command : tavro::cli::AddOperationCommands(app))
    commands.push_back(std::move(command));
  commands.push_back(tavro::cli::AddBackupsCommand(app));
  commands.push_back(tavro::cli::AddIni2BinCommand(app));
  commands.push_back(tavro::cli::AddPrepareCommand(app));
  commands.push_back(tavro::cli::AddConvertCommand(app));
  commands.push_back(tavro::cli::AddRulesCommand(app));

  if (const std::optional<std::string> unknown = UnknownCommand(argc, argv, commands)) {
    std::cerr << "error: unknown command '" << *unknown << "'; the commands are "
              << CommandNames(commands) << " (see --help)\n";
    return tavro::cli::kExitUsage;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);  // prints help, or the error with a usage hint
    return code == 0 ? tavro::cli::kExitOk : tavro::cli::kExitUsage;
  }

  GlobalOptions options;
  options.programDir = ProgramDir(dir);
  if (!port.empty())
    options.comPort = std::stoi(port.substr(3));
  options.answer = yes ? Answer::kYes : (no ? Answer::kNo : Answer::kAsk);

  for (const Command& command : commands) {
    if (command.parser->parsed())
      return command.run(options);
  }
  return tavro::cli::kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  // File names on the command line reach the program as UTF-8 everywhere.
  tavro::platform::Utf8Arguments arguments(argc, argv);
  try {
    return Run(arguments.argc(), arguments.argv());
  } catch (const std::exception& e) {
    std::cerr << "error: " << e.what() << '\n';
    return tavro::cli::kExitFailure;
  }
}
