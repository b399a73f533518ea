// How close a download comes to the serial line: the window model on the
// real serial port (as tavro-cli runs it) against tavro-sim serve on a pseudo
// terminal paced at 115200 baud, with a terminal that answers at once. Prints
// one line per stage and the peak resident memory of this process, which
// holds the window model only (the terminal runs in its own process).
//
//   stage App: 262144 B in 23.41 s = 11198 B/s = 97.2 % of line
//   cpu App: 1.20 % of a core
//   stage Data: 65536 B in 5.80 s = 11299 B/s = 98.1 % of line
//   cpu Data: 1.10 % of a core
//   peak RSS: 5.1 MiB
//
// The cpu line is this process's user and system time over the stage's wall
// time: the window model, its serial worker and their hand-overs.
//
// A stage is timed from its first payload block to the acceptance of its
// last block: the App's descriptor block and the terminal's own work before
// and after (securing and writing its data) are not payload.

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/ctavro_dlg.hpp"
#include "app/startup_sequence.hpp"
#include "bench/quiet_screen.hpp"
#include "data/file_io.hpp"
#include "data/ini_to_bin.hpp"
#include "data/package.hpp"
#include "engine/download_stage.hpp"
#include "link/com_ports.hpp"
#include "link/messages.hpp"
#include "link/port_list.hpp"
#include "link/serial_port.hpp"
#include "loop/console_loop.hpp"
#include "platform/control_ids.hpp"
#include "platform/screen.hpp"
#include "sim/device_factory.hpp"
#include "sim/profile.hpp"

extern char** environ;

namespace {

using namespace tavro;

constexpr std::uint32_t kBaud = 115200;
constexpr double kLineBytesPerSecond = kBaud / 10.0;
constexpr std::uint32_t kCom = 231;

std::string Temp(const char* name) {
  char pattern[] = "/tmp/download-bench-XXXXXX";
  const char* made = ::mkdtemp(pattern);
  return made == nullptr ? std::string() : std::string(made) + "/" + name;
}

// A terminal of `blVersion` whose areas are the sample package's, answering
// at once.
bool MakeTerminal(const std::string& dir, const std::string& package, std::uint16_t blVersion) {
  const auto bytes = data::ReadWholeFile(package);
  data::PackageValues values;
  data::AreaTable table{};
  if (!bytes || !data::ParsePackage(*bytes, 1, blVersion, values, table))
    return false;
  sim::DeviceSpec spec;
  spec.blVersion = blVersion;
  spec.terminalType = 1;
  for (std::size_t i = 0; i < table.size(); ++i)
    spec.areas[i] = {table[i].areaAddr, table[i].areaLen, table[i].areaArg, table[i].fileName};
  sim::Profile profile;
  profile.device = sim::MakeDevice(spec);
  sim::Behaviour& b = profile.behaviour;
  b.replyDelayMs = 0;
  b.blockWriteMs = 0;
  b.dataBackupMs = 0;
  b.appWriteMs = 0;
  std::string error;
  if (!data::CreateFolders(dir) || !sim::SaveProfile(dir, profile, error)) {
    std::fprintf(stderr, "download_bench: %s\n", error.c_str());
    return false;
  }
  return true;
}

// tavro-sim serve in a process of its own; its pseudo terminal becomes COM231.
class ServedTerminal {
 public:
  explicit ServedTerminal(const std::string& dir) {
    int out[2];
    if (::pipe(out) != 0)
      return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const std::string com = std::to_string(kCom);
    const char* argv[] = {TAVRO_SIM_PATH, "serve",     "--dir", dir.c_str(),
                          "--com",        com.c_str(), nullptr};
    if (posix_spawn(&pid_, TAVRO_SIM_PATH, &actions, nullptr, const_cast<char**>(argv), environ) !=
        0)
      pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    const std::string prefix = "TAVRO_COM" + com + "=";
    std::string text;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (pid_ > 0 && std::chrono::steady_clock::now() < end) {
      pollfd p{out[0], POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0)
        continue;
      char buffer[256];
      const ssize_t n = ::read(out[0], buffer, sizeof buffer);
      if (n <= 0)
        break;
      text.append(buffer, static_cast<std::size_t>(n));
      const std::size_t at = text.find(prefix);
      const std::size_t eol = at == std::string::npos ? at : text.find('\n', at);
      if (eol != std::string::npos) {
        path_ = text.substr(at + prefix.size(), eol - at - prefix.size());
        ::setenv(prefix.substr(0, prefix.size() - 1).c_str(), path_.c_str(), 1);
        break;
      }
    }
    ::close(out[0]);
  }
  ~ServedTerminal() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      int status = 0;
      ::waitpid(pid_, &status, 0);
    }
  }
  bool ok() const { return !path_.empty(); }

 private:
  pid_t pid_ = -1;
  std::string path_;
};

// User plus system time of this process (the PC side), in seconds.
double CpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct StageTime {
  std::optional<std::chrono::steady_clock::time_point> first;
  std::optional<std::chrono::steady_clock::time_point> last;
  double cpuAtFirst = 0;
  double cpuAtLast = 0;
};

// The window model on the real serial port, connected to the served
// terminal and identified.
class ConnectedWindow {
 public:
  explicit ConnectedWindow(const std::string& programDir)
      : dlg_(loop_, screen_, port_, programDir, [] { return link::ListSerialPorts(); }) {}

  bool Connect() {
    const app::StartupOutcome outcome =
        app::RunStartupSequence(dlg_, static_cast<std::uint8_t>(kCom));
    if (!outcome.portOpened || !outcome.packageReady)
      return false;
    dlg_.OnButton(platform::kDeviceInfoButton);
    return loop_.RunUntil([this] { return Idle(); }, 60000) &&
           dlg_.context().link.DevIdentified == 1;
  }
  bool Idle() const { return dlg_.controls().Get(platform::kDeviceInfoButton).enabled; }
  loop::ConsoleLoop& loop() { return loop_; }
  app::CTAVRODlg& dlg() { return dlg_; }

 private:
  loop::ConsoleLoop loop_;
  bench::QuietScreen screen_{"download_bench"};
  link::CSerialPort port_{loop_};
  app::CTAVRODlg dlg_;
};

// Connects, then runs the download stages, timing the stage whose blocks
// the counters say are payload.
std::optional<double> RunStage(const std::string& programDir, bool app, std::size_t payload) {
  ConnectedWindow window(programDir);
  if (!window.Connect())
    return std::nullopt;
  loop::ConsoleLoop& loop = window.loop();
  app::CTAVRODlg& dlg = window.dlg();
  const auto idle = [&window] { return window.Idle(); };

  engine::Context& ctx = dlg.context();
  engine::LinkState& s = ctx.link;
  s.OperationTime = loop.WallTime();
  s.DownloadApp = app ? 1 : 0;
  s.DownloadData = app ? 0 : 1;
  s.ParaPath = programDir + "/Data/InitData/E2prom";
  engine::NextDownloadStage(ctx);
  StageTime t;
  const bool done = loop.RunUntil(
      [&] {
        const auto now = std::chrono::steady_clock::now();
        const bool sending = !s.buffers.sendImage.empty();
        const bool payloadBlock =
            app ? (s.CmdID == link::CmdAppSending && s.gFrameNum >= 1 && sending)
                : (s.CmdID == link::MsgE2WriteBlock && sending);
        if (payloadBlock && !t.first) {
          t.first = now;
          t.cpuAtFirst = CpuSeconds();
        }
        const bool finished = app ? s.CmdID == link::CmdAppWriting || s.CmdID == link::CmdComplete
                                  : s.CmdID == link::CmdComplete;
        if (t.first && !t.last && (finished || !sending)) {
          t.last = now;
          t.cpuAtLast = CpuSeconds();
        }
        return t.last.has_value() || idle();
      },
      10 * 60 * 1000);
  if (!done || !t.first || !t.last)
    return std::nullopt;
  const double seconds = std::chrono::duration<double>(*t.last - *t.first).count();
  std::printf("stage %s: %zu B in %.2f s = %.0f B/s = %.1f %% of line\n", app ? "App" : "Data",
              payload, seconds, payload / seconds, 100.0 * payload / seconds / kLineBytesPerSecond);
  std::printf("cpu %s: %.2f %% of a core\n", app ? "App" : "Data",
              100.0 * (t.cpuAtLast - t.cpuAtFirst) / seconds);
  std::fflush(stdout);
  return seconds;
}

// Backup to PC from the same terminal: the receiving direction, where the
// terminal's bytes arrive a few at a time on the paced line.
bool RunBackup(const std::string& programDir) {
  ConnectedWindow window(programDir);
  if (!window.Connect())
    return false;
  const auto start = std::chrono::steady_clock::now();
  const double cpuAtStart = CpuSeconds();
  window.dlg().OnButton(platform::kBackupButton);
  if (!window.loop().RunUntil([&window] { return window.Idle(); }, 10 * 60 * 1000))
    return false;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("backup: %.2f s\ncpu Backup: %.2f %% of a core\n", seconds,
              100.0 * (CpuSeconds() - cpuAtStart) / seconds);
  std::fflush(stdout);
  return true;
}

}  // namespace

int main() {
  const std::string root = Temp("run");
  const std::string program = root + "/program";
  if (root.empty() || !data::CreateFolders(program + "/SW/Flash") ||
      !data::CreateFolders(program + "/Data/InitData/E2prom") ||
      !data::CopyFileOverwrite(TAVRO_PACKAGE_DIR "/Language.ini", program + "/Language.ini") ||
      !data::IniToBin(program + "/SwUpdate.ini", TAVRO_PACKAGE_DIR "/SwUpdate-source.ini")) {
    std::fprintf(stderr, "download_bench: cannot make the program directory\n");
    return 1;
  }
  constexpr std::size_t kAppSize = 256 * 1024;
  const link::Bytes appFile = sim::MakeAppFile(0x01000300, "TR100", kAppSize);
  const link::Bytes e2File = sim::MakeE2Image(0x01030000, "TR100", {});
  if (!data::WriteFileAtomic(program + "/SW/Flash/App.bin", appFile) ||
      !data::WriteFileAtomic(program + "/Data/InitData/E2prom/E2.dat", e2File))
    return 1;

  int status = 0;
  const struct {
    std::uint16_t blVersion;
    bool app;
    std::size_t payload;
  } stages[] = {{0x0215, true, kAppSize}, {0x0230, false, e2File.size()}};
  for (const auto& stage : stages) {
    const std::string terminal = root + "/terminal-" + std::to_string(stage.blVersion);
    if (!MakeTerminal(terminal, program + "/SwUpdate.ini", stage.blVersion)) {
      status = 1;
      continue;
    }
    ServedTerminal served(terminal);
    if (!served.ok() || !RunStage(program, stage.app, stage.payload)) {
      std::fprintf(stderr, "download_bench: the %s stage did not run\n",
                   stage.app ? "App" : "Data");
      status = 1;
    }
    if (stage.app && served.ok() && !RunBackup(program)) {
      std::fprintf(stderr, "download_bench: the backup did not run\n");
      status = 1;
    }
  }
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  std::printf("peak RSS: %.1f MiB\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
  data::DeleteTree(root.substr(0, root.rfind('/')));
  return status;
}
