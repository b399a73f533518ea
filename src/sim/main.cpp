// tavro-sim: a simulated radio terminal for the service tool.
//   tavro-sim init  --dir DEV --bl 0x0215 [--type N] [--package PROGRAM_DIR]
//   tavro-sim serve --dir DEV [--com N] [--fast] [--trace FILE] [--baud B] [--fault K=V]...
//   tavro-sim show  --dir DEV

#include <CLI/CLI.hpp>
#include <csignal>
#include <iostream>

#include "sim/commands.hpp"
#include "sim/pty_server.hpp"
#include "sim/text_util.hpp"

namespace {

tavro::sim::ServeSession* g_session = nullptr;

void OnSignal(int) {
  if (g_session != nullptr)
    g_session->Stop();
}

bool Number(const std::string& text, std::uint32_t& out, const char* what,
            std::uint32_t max = 0xFFFFFFFF) {
  if (tavro::sim::ParseUnsigned(text, out) && out <= max)
    return true;
  std::cerr << what << ": not a number up to " << max << ": " << text << "\n";
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Simulated radio terminal for the TAVRO service tool"};
  app.set_version_flag("--version", std::string("tavro-sim ") + TAVRO_VERSION);
  app.require_subcommand(1);

  tavro::sim::InitOptions init;
  std::string bl = "0x0215", type = "1", appVersion = "0x01000200", dataVersion = "0x01020000";
  std::string sizeCode = "0x10";
  bool noType = false;
  CLI::App* initCmd = app.add_subcommand("init", "create a terminal profile in a folder");
  initCmd->add_option("--dir", init.dir, "profile folder")->required();
  initCmd->add_option("--bl", bl, "bootloader version (0x0230 and up: parameter data in E2PROM)")
      ->required();
  initCmd->add_option("--type", type, "terminal type answered to the link query");
  initCmd->add_flag("--no-type", noType, "leave the link query unanswered");
  initCmd->add_option("--package", init.packageDir,
                      "program folder whose SwUpdate.ini gives the area table");
  initCmd->add_option("--app-version", appVersion, "version of the current App (BCD)");
  initCmd->add_option("--data-version", dataVersion, "version of the parameter data (BCD)");
  initCmd->add_option("--size-code", sizeCode, "App header size in 256-byte units");
  initCmd->add_option("--model", init.model, "model text (at most 8 characters)");
  initCmd->add_flag("--force", init.force, "replace a profile already in the folder");

  tavro::sim::PackageOptions package;
  std::string packageApp = "0x01000300", packageData = "0x01030000";
  CLI::App* packageCmd =
      app.add_subcommand("package", "write a sample download package into a program directory");
  packageCmd->add_option("--dir", package.programDir, "program directory (holds SwUpdate.ini)")
      ->required();
  packageCmd->add_option("--app-version", packageApp, "version of the sample App (BCD)");
  packageCmd->add_option("--data-version", packageData, "version of the initial data (BCD)");

  tavro::sim::ServeOptions serve;
  CLI::App* serveCmd = app.add_subcommand("serve", "serve the terminal on a pseudo terminal");
  serveCmd->add_option("--dir", serve.dir, "profile folder")->required();
  serveCmd->add_option("--com", serve.com, "COM number announced for the front ends");
  serveCmd->add_flag("--fast", serve.fast, "do not pace replies to the line rate");
  serveCmd->add_option("--trace", serve.tracePath, "write every frame, decoded, to this file");
  serveCmd->add_option("--baud", serve.baud, "line rate")
      ->check(CLI::IsMember({9600, 19200, 38400, 57600, 115200}));
  serveCmd->add_option("--link", serve.linkPath, "symbolic link kept pointing at the port");
  serveCmd->add_option("--fault", serve.faults, "fault as in the profile's [Faults], Key=Value");
  serveCmd->add_option("--replug-ms", serve.replugMs, "adapter removal: time until it is back");
  serveCmd->add_option("--power-off-ms", serve.powerOffMs, "power cut: time until power is back");

  std::string showDir;
  CLI::App* showCmd = app.add_subcommand("show", "print the terminal's state");
  showCmd->add_option("--dir", showDir, "profile folder")->required();

  // A usage error exits with 2, as tavro-cli's does; a word that names no
  // command is named.
  if (argc > 1 && argv[1][0] != '-') {
    const std::string word = argv[1];
    if (word != "init" && word != "package" && word != "serve" && word != "show") {
      std::cerr << "error: unknown command '" << word
                << "'; the commands are init, package, serve, show\n";
      return 2;
    }
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 2;
  }

  if (initCmd->parsed()) {
    std::uint32_t v = 0;
    if (!Number(bl, v, "--bl", 0xFFFF))
      return 2;
    init.blVersion = static_cast<std::uint16_t>(v);
    if (noType) {
      init.terminalType.reset();
    } else {
      if (!Number(type, v, "--type", 0xFFFF))
        return 2;
      init.terminalType = static_cast<std::uint16_t>(v);
    }
    if (!Number(appVersion, init.appVersion, "--app-version") ||
        !Number(dataVersion, init.dataVersion, "--data-version") ||
        !Number(sizeCode, v, "--size-code", 0xFF)) {
      return 2;
    }
    init.sizeCode = static_cast<std::uint8_t>(v);
    if (init.model.size() > 8) {
      std::cerr << "--model: at most 8 characters\n";
      return 2;
    }
    return tavro::sim::RunInit(init, std::cout, std::cerr);
  }
  if (showCmd->parsed())
    return tavro::sim::RunShow(showDir, std::cout, std::cerr);
  if (packageCmd->parsed()) {
    if (!Number(packageApp, package.appVersion, "--app-version") ||
        !Number(packageData, package.dataVersion, "--data-version"))
      return 2;
    return tavro::sim::RunPackage(package, std::cout, std::cerr);
  }

  tavro::sim::ServeSession session(serve);
  g_session = &session;
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  std::signal(SIGPIPE, SIG_IGN);
  const int code = session.Run(std::cout, std::cerr);
  g_session = nullptr;
  return code;
}
