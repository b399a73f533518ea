// tavro: the service tool's dialog window.
//
//   tavro [--dir PROGRAM_DIR] [--demo] [--screenshot FILE [--screenshot-after
//   info|backup|download|upgrade|restore]]
//
// Exit status: the close box ends with the close routine's status (1), Esc
// with 0, --screenshot with 0 when the picture was written; 2 for a wrong
// command line, 3 when there is no display to show the window on, 128 + n
// after signal n (SIGINT, SIGTERM).

#include <CLI/CLI.hpp>
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "gui/demo.hpp"
#include "gui/screenshot.hpp"
#include "gui/session.hpp"
#include "gui/stop_signals.hpp"
#include "platform/control_ids.hpp"

namespace {

// The package sources of the build tree, else those the installed package
// ships.
std::string DemoPackageDir() {
  return std::filesystem::is_directory(TAVRO_PACKAGE_DIR) ? TAVRO_PACKAGE_DIR
                                                          : TAVRO_INSTALLED_PACKAGE_DIR;
}

constexpr int kExitUsage = 2;
constexpr int kExitNoDisplay = 3;
constexpr int kScreenshotLimitMs = 60000;

constexpr const char* kNoDisplayHint =
    "tavro: no display to show the window on.\n"
    "Use the console front end (tavro-cli), run under a desktop session, or set\n"
    "QT_QPA_PLATFORM=offscreen for an invisible window.\n";

bool DisplayAvailable() {
  auto set = [](const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr && *v != '\0';
  };
  return set("QT_QPA_PLATFORM") || set("DISPLAY") || set("WAYLAND_DISPLAY");
}

// Qt ends the process when its platform cannot start (a DISPLAY that does
// not answer); say what to do instead of leaving only Qt's own words.
void StartupMessageHandler(QtMsgType type, const QMessageLogContext&, const QString& message) {
  std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
  if (type == QtFatalMsg) {
    std::fputs(kNoDisplayHint, stderr);
    std::_Exit(kExitNoDisplay);
  }
}

std::string ProgramDir(const std::string& given) {
  std::filesystem::path dir =
      given.empty() ? std::filesystem::current_path() : std::filesystem::absolute(given);
  std::string text = dir.lexically_normal().string();
  while (text.size() > 1 && text.back() == '/')
    text.pop_back();
  return text;
}

struct Options {
  std::string dir;
  bool demo = false;
  std::string screenshot;
  std::string screenshotAfter = "info";
};

int Run(int argc, char** argv, const Options& options) {
  qInstallMessageHandler(StartupMessageHandler);
  QApplication application(argc, argv);
  qInstallMessageHandler(nullptr);
  // The close box ends the run through the window model's close routine.
  QApplication::setQuitOnLastWindowClosed(false);
  tavro::gui::EndEventLoopOnStopSignals();

  // The demo terminal must be serving, and its alias set, before the port
  // list is first read.
  std::unique_ptr<tavro::gui::DemoTerminal> demo;
  std::string programDir = ProgramDir(options.dir);
  if (options.demo) {
    std::string error;
    demo = tavro::gui::DemoTerminal::Start(DemoPackageDir(), error);
    if (!demo) {
      std::cerr << "tavro: demo: " << error << '\n';
      return 1;
    }
    std::cerr << "tavro: demo terminal on COM" << demo->comNumber() << ", program directory "
              << demo->programDir() << '\n';
    programDir = demo->programDir();
  }

  tavro::gui::Session session(programDir);
  QTimer::singleShot(0, &session.window(), [&] {
    const tavro::app::StartupOutcome outcome = session.Start();
    if (outcome.exitRequested) {
      // The sequence has run the close routine already.
      QCoreApplication::exit(tavro::app::kCloseExitStatus);
      return;
    }
    if (options.screenshot.empty())
      return;
    std::vector<int> buttons;
    if (outcome.portOpened && demo != nullptr &&
        session.model().context().port.number == demo->comNumber()) {
      buttons.push_back(tavro::platform::kDeviceInfoButton);
      if (options.screenshotAfter == "backup")
        buttons.push_back(tavro::platform::kBackupButton);
      if (options.screenshotAfter == "download")
        buttons.push_back(tavro::platform::kDownloadButton);
      if (options.screenshotAfter == "upgrade")
        buttons.push_back(tavro::platform::kUpgradeButton);
      if (options.screenshotAfter == "restore") {
        // A backup, an upgrade over it, then the backup restored from the
        // Tools menu; each after the terminal was connected again.
        for (int button : {tavro::platform::kBackupButton, tavro::platform::kDeviceInfoButton,
                           tavro::platform::kUpgradeButton, tavro::platform::kDeviceInfoButton,
                           tavro::platform::kRestoreAction})
          buttons.push_back(button);
      }
    }
    tavro::gui::TakeScreenshot(session, QString::fromStdString(options.screenshot),
                               std::move(buttons), kScreenshotLimitMs, [&](bool written) {
                                 session.model().Close();
                                 QCoreApplication::exit(written ? 0 : 1);
                               });
  });
  return QApplication::exec();
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App cli{"TAVRO service tool"};
  cli.set_version_flag("--version", std::string("tavro ") + TAVRO_VERSION);
  Options options;
  CLI::Option* dir =
      cli.add_option("--dir", options.dir, "Program directory (default: the current directory)")
          ->check(CLI::ExistingDirectory);
  cli.add_flag("--demo", options.demo,
               "Start a simulated terminal on a pseudo terminal with a sample program directory")
      ->excludes(dir);
  cli.add_option("--screenshot", options.screenshot,
                 "Save a picture of the window to FILE (PNG) and quit; with --demo after "
                 "viewing the device information");
  cli.add_option("--screenshot-after", options.screenshotAfter,
                 "With --demo --screenshot: the last operation before the picture")
      ->check(CLI::IsMember({"info", "backup", "download", "upgrade", "restore"}));
  try {
    cli.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = cli.exit(e);
    return code == 0 ? 0 : kExitUsage;
  }
  if (!DisplayAvailable()) {
    std::cerr << kNoDisplayHint;
    return kExitNoDisplay;
  }
  try {
    return Run(argc, argv, options);
  } catch (const std::exception& e) {
    std::cerr << "tavro: " << e.what() << '\n';
    return 1;
  }
}
