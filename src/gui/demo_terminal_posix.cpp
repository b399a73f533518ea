// The demo's simulated terminal on POSIX: tavro-sim's pseudo-terminal
// server, run on a thread of its own.
#include "gui/demo.hpp"

#include <stdlib.h>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <system_error>
#include <thread>
#include <vector>
#include "data/file_io.hpp"
#include "data/ini_to_bin.hpp"
#include "data/package.hpp"
#include "link/com_ports.hpp"
#include "link/port_list.hpp"
#include "sim/commands.hpp"
#include "sim/pty_server.hpp"

namespace tavro::gui {
namespace {

namespace fs = std::filesystem;

// The highest number: the start-up sequence tries the last port of the list
// first, so the demo terminal is the port it opens.
constexpr std::uint32_t kPreferredCom = link::kLastComNumber;
constexpr auto kServeStartLimit = std::chrono::seconds(10);

}  // namespace

// What the serving thread reports: the pseudo terminal once it is ready, and
// its end. Shared with the thread's callbacks, which may outlive Start().
struct ServeState {
  std::mutex mutex;
  std::condition_variable changed;
  std::string slavePath;
  bool ended = false;
};

// The simulator's serving loop on its own thread.
struct DemoTerminal::Server {
  explicit Server(sim::ServeOptions options) : session(std::move(options)) {}
  ~Server() { Stop(); }
  void Stop() {
    session.Stop();
    if (thread.joinable())
      thread.join();
  }

  sim::ServeSession session;
  std::thread thread;
  std::ostringstream out;  // read only once the thread has ended
  std::ostringstream err;
};

std::unique_ptr<DemoTerminal> DemoTerminal::Start(const std::string& packageDir,
                                                  std::string& error) {
  std::unique_ptr<DemoTerminal> demo(new DemoTerminal);
  std::error_code ec;
  std::string pattern = (fs::temp_directory_path(ec) / "tavro-demo-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (::mkdtemp(buffer.data()) == nullptr) {
    error = "cannot create a temporary folder";
    return nullptr;
  }
  demo->folder_ = buffer.data();
  demo->programDir_ = demo->folder_ + "/program";
  const std::string terminalDir = demo->folder_ + "/terminal";
  if (!sim::MakeDemoSetUp(packageDir, demo->programDir_, terminalDir, error))
    return nullptr;

  demo->com_ = FreeComNumber(kPreferredCom);
  if (demo->com_ == 0) {
    error = "no free COM number for the simulated terminal";
    return nullptr;
  }
  auto state = std::make_shared<ServeState>();
  sim::ServeOptions options;
  options.dir = terminalDir;
  options.com = demo->com_;
  // A later pseudo terminal (after a simulated adapter removal) is not
  // followed: the alias keeps naming the first one.
  options.onReady = [state](const std::string& path) {
    std::lock_guard lock(state->mutex);
    if (state->slavePath.empty())
      state->slavePath = path;
    state->changed.notify_all();
  };
  demo->server_ = std::make_unique<Server>(std::move(options));
  Server* server = demo->server_.get();
  server->thread = std::thread([server, state] {
    server->session.Run(server->out, server->err);
    std::lock_guard lock(state->mutex);
    state->ended = true;
    state->changed.notify_all();
  });

  std::string slave;
  {
    std::unique_lock lock(state->mutex);
    state->changed.wait_for(lock, kServeStartLimit,
                            [&state] { return !state->slavePath.empty() || state->ended; });
    slave = state->slavePath;
  }
  if (slave.empty()) {
    server->Stop();
    error = "simulated terminal did not start: " + server->err.str();
    return nullptr;
  }
  const std::string alias = std::string(link::kComAliasPrefix) + std::to_string(demo->com_);
  ::setenv(alias.c_str(), slave.c_str(), 1);
  demo->aliasSet_ = true;
  return demo;
}

void DemoTerminal::StopTerminal() {
  if (server_)
    server_->Stop();
}

DemoTerminal::~DemoTerminal() {
  server_.reset();
  if (aliasSet_)
    ::unsetenv((std::string(link::kComAliasPrefix) + std::to_string(com_)).c_str());
  if (!folder_.empty())
    data::DeleteTree(folder_);
}

}  // namespace tavro::gui
