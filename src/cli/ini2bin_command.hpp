#pragma once
// tavro-cli ini2bin SOURCE.ini: builds the binary package description from
// its text source into <folder of SOURCE>/NewIni/<file name> and prints the
// path written.

#include <iosfwd>
#include <string>

#include "cli/command.hpp"

namespace tavro::cli {

Command AddIni2BinCommand(CLI::App& app);

// The command's work, apart from parsing: writes the description of
// `source` and prints the absolute output path to `out`, or
// "error: <reason>" to `err`. Returns the exit code. NewIni is written
// under the lock of the source's folder (as a rule the program directory,
// whose lock other instances share).
int RunIni2Bin(const std::string& source, std::ostream& out, std::ostream& err);

}  // namespace tavro::cli
