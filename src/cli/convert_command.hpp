#pragma once
// tavro-cli convert --rule FILE --from DIR --to DIR [--header-kind 0|1|2]
// [--time Y,M,D,h,m,s]: one conversion step, for package authors checking a
// new rule file. Prints the versions and the images written.

#include <CLI/CLI.hpp>

#include <iosfwd>
#include <optional>
#include <string>

#include "cli/command.hpp"
#include "link/time_stamp.hpp"

namespace tavro::cli {

Command AddConvertCommand(CLI::App& app);

// The header kind a rule's folder implies: F2F 0, F2E 1, E2E 2; 0 for any
// other folder.
int HeaderKindOfRuleFolder(const std::string& rulePath);

// "Y,M,D,h,m,s" with a four-digit year and a real month, day and time of
// day; nullopt otherwise.
std::optional<link::TimeStamp> ParseTimeOption(const std::string& text);

}  // namespace tavro::cli
