#pragma once
// tavro-cli rules show FILE: a rule file as readable text, or exactly where
// and why it is malformed (exit 1).

#include <CLI/CLI.hpp>

#include <iosfwd>
#include <string>

#include "cli/command.hpp"

namespace tavro::cli {

Command AddRulesCommand(CLI::App& app);

// The command's work: the description to `out`, or "error: ..." to `err`.
// Returns the exit code.
int RunRulesShow(const std::string& path, std::ostream& out, std::ostream& err);

}  // namespace tavro::cli
