#include "cli/ports_command.hpp"

#include <cstdio>

#include "link/port_list.hpp"

namespace tavro::cli {
namespace {

int RunPorts(const GlobalOptions&) {
  const std::vector<link::PortEntry> ports = link::ListSerialPorts();
  if (ports.empty()) {
    std::fprintf(stderr, "no serial port found\n");
    return kExitOk;
  }
  for (const link::PortEntry& p : ports)
    std::printf("%-7s %s\n", p.name.c_str(), p.devicePath.c_str());
  return kExitOk;
}

}  // namespace

Command AddPortsCommand(CLI::App& app) {
  CLI::App* sub = app.add_subcommand("ports", "List the serial ports as COM numbers");
  return Command{sub, RunPorts};
}

}  // namespace tavro::cli
