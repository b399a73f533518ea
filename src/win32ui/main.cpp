// tavro.exe: the service tool's window on Windows.
//
//   tavro [--dir PROGRAM_DIR] [--port COM<n>] [--demo]
//
// Exit status: the close box ends with the close routine's status (1), Esc
// with 0; 2 for a wrong command line; 1 when the window cannot be made.

#include <windows.h>

#include <CLI/CLI.hpp>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "link/port_list.hpp"
#include "platform/arguments.hpp"
#include "win32ui/demo_terminal.hpp"
#include "win32ui/session.hpp"
#include "win32ui/wide_text.hpp"

namespace {

using tavro::win32ui::Utf8;
using tavro::win32ui::Wide;

constexpr int kExitUsage = 2;
constexpr int kExitFailure = 1;

// A window program has no console: what goes wrong is said in a box.
void Complain(const std::string& text) {
  ::MessageBoxW(nullptr, Wide(text).c_str(), L"TAVRO", MB_OK | MB_ICONHAND);
}

bool IsFolder(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Absolute, without a trailing separator.
std::string FullPath(const std::string& path) {
  const std::wstring wide = Wide(path.empty() ? std::string(".") : path);
  const DWORD size = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  std::wstring full(size, L'\0');
  const DWORD length = ::GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
  full.resize(length < size ? length : 0);
  while (full.size() > 3 && (full.back() == L'\\' || full.back() == L'/'))
    full.pop_back();
  return Utf8(full);
}

// The folder the program lies in.
std::string ProgramFolder() {
  std::wstring path(32768, L'\0');
  const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(length);
  const auto slash = path.find_last_of(L"\\/");
  return Utf8(slash == std::wstring::npos ? std::wstring() : path.substr(0, slash));
}

// The package sources beside the installed program, else the source tree's.
std::string DemoPackageDir() {
  const std::string installed = ProgramFolder() + "\\package";
  return IsFolder(installed) ? installed : std::string(TAVRO_PACKAGE_DIR);
}

struct Options {
  std::string dir;
  std::string port;
  bool demo = false;
};

int Run(const Options& options) {
  std::unique_ptr<tavro::win32ui::DemoTerminal> demo;
  std::string programDir = FullPath(options.dir);
  if (options.demo) {
    std::string error;
    demo = tavro::win32ui::DemoTerminal::Make(DemoPackageDir(), error);
    if (!demo) {
      Complain("demo: " + error);
      return kExitFailure;
    }
    programDir = demo->programDir();
  }
  std::optional<std::uint8_t> port;
  if (!options.port.empty())
    port = static_cast<std::uint8_t>(*tavro::link::ComNumberOfName(options.port));
  else if (demo)
    port = static_cast<std::uint8_t>(tavro::win32ui::kDemoCom);

  tavro::win32ui::Session session(::GetModuleHandleW(nullptr), programDir, demo.get());
  const tavro::app::StartupOutcome outcome = session.Start(port);
  if (outcome.exitRequested)
    return tavro::app::kCloseExitStatus;  // the sequence has run the close routine
  return session.Run();
}

}  // namespace

int main(int argc, char** argv) {
  tavro::platform::Utf8Arguments arguments(argc, argv);
  CLI::App cli{"TAVRO service tool"};
  cli.set_version_flag("--version", std::string("tavro ") + TAVRO_VERSION);
  Options options;
  CLI::Option* dir =
      cli.add_option("--dir", options.dir, "Program directory (default: the current directory)")
          ->check([](const std::string& path) {
            return IsFolder(path) ? std::string() : "Directory does not exist: " + path;
          });
  cli.add_option("--port", options.port, "The one port to try at start-up (COM<n>)")
      ->check([](const std::string& name) {
        return tavro::link::ComNumberOfName(name) ? std::string() : "not a COM port name: " + name;
      });
  cli.add_flag("--demo", options.demo,
               "Run a simulated terminal inside the program, with a sample program directory")
      ->excludes(dir);
  try {
    cli.parse(arguments.argc(), arguments.argv());
  } catch (const CLI::ParseError& e) {
    const int code = cli.exit(e);
    return code == 0 ? 0 : kExitUsage;
  }
  try {
    return Run(options);
  } catch (const std::exception& e) {
    Complain(std::string("tavro: ") + e.what());
    return kExitFailure;
  }
}
