#pragma once
// How a console command plugs into tavro-cli: it adds its sub-command (with
// its own options) to the parser and hands back what runs it afterwards.

#include <CLI/CLI.hpp>

#include <functional>

#include "cli/global_options.hpp"

namespace tavro::cli {

struct Command {
  CLI::App* parser = nullptr;
  // Returns the process exit code.
  std::function<int(const GlobalOptions&)> run;
};

}  // namespace tavro::cli
