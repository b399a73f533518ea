#include "chaos/bench.hpp"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "app/startup_sequence.hpp"
#include "link/frame.hpp"
#include "link/port_list.hpp"
#include "platform/control_ids.hpp"

namespace tavro::chaos {

int BenchScreen::ShowMessageBox(const platform::MessageBoxRequest& request) {
  boxes_.push_back(request.text);
  switch (request.kind) {
    case platform::kBoxYesNo:
      return platform::kButtonYes;
    case platform::kBoxNone:
      return platform::kNoButton;
    default:
      return platform::kButtonOk;
  }
}

void TapLink::SetByteHandler(ByteHandler onByte) {
  onByte_ = std::move(onByte);
  if (!onByte_) {
    inner_.SetByteHandler(nullptr);
    return;
  }
  inner_.SetByteHandler([this](std::uint8_t b) {
    if (!detached_ && onByte_)
      onByte_(b);
  });
}

bool TapLink::Open(std::uint32_t port, const link::LineSettings& settings) {
  if (detached_) {
    open_ = true;
    return true;
  }
  return inner_.Open(port, settings);
}

void TapLink::WriteFrame(link::ByteView frame) {
  ++written_;
  if (recording_)
    frames_.emplace_back(frame.begin(), frame.end());
  if (!detached_)
    inner_.WriteFrame(frame);
}

void TapLink::RequestStop() {
  open_ = false;
  if (!detached_)
    inner_.RequestStop();
}

void TapLink::ForceStop() {
  open_ = false;
  if (!detached_)
    inner_.ForceStop();
}

void TapLink::Detach() {
  open_ = inner_.IsOpen();
  detached_ = true;
}

void TapLink::Deliver(link::ByteView bytes) {
  for (const std::uint8_t b : bytes) {
    if (open_ && onByte_)
      onByte_(b);
  }
}

std::vector<link::Bytes> TapLink::TakeFrames() {
  std::vector<link::Bytes> out;
  out.swap(frames_);
  return out;
}

std::string MakeScratchFolder() {
  std::string base = "/dev/shm";
  if (::access(base.c_str(), W_OK) != 0) {
    const char* tmp = std::getenv("TMPDIR");
    base = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
  }
  std::string pattern = base + "/tavro-chaos-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr)
    return {};
  return pattern;
}

void RemoveFolder(const std::string& path) {
  std::error_code ec;
  if (!path.empty())
    std::filesystem::remove_all(path, ec);
}

Bench::Bench(const TerminalPlan& plan, const sim::Device& device, const std::string& packageDir)
    : plan_(plan), packageDir_(packageDir), dir_(MakeScratchFolder()) {
  rig_ = std::make_unique<sim::SimRig>(loop, device, plan.behaviour);
  tap = std::make_unique<TapLink>(rig_->wire());
  // TAVRO_CHAOS_TRACE=1 prints the terminal's side of every exchange.
  static const bool trace = std::getenv("TAVRO_CHAOS_TRACE") != nullptr;
  rig_->terminal().SetTrace(
      [this](std::uint64_t ms, char direction, link::ByteView frame, std::string_view note) {
        if (trace) {
          const unsigned id = frame.empty() ? 0 : link::FrameMsgId(frame);
          std::fprintf(stderr, "%8llu %c %5u %.*s\n", static_cast<unsigned long long>(ms),
                       direction, id, static_cast<int>(note.size()), note.data());
        }
        if (!note.empty() && onNote)
          onNote(note);
      });
  rig_->terminal().SetPowerCutHook([this] {
    if (onPowerCut)
      onPowerCut();
  });
  rig_->wire().SetUnplugHandler([this] {
    portListed_ = false;
    // The PC's device watcher hears of it a little later, on the window's thread.
    loop.ScheduleAfter(20, [this] { dlg_->OnDeviceRemoved(); });
    if (onUnplugged)
      onUnplugged();
  });
  dlg_ = std::make_unique<app::CTAVRODlg>(loop, screen, *tap, dir_, [this] {
    if (!portListed_)
      return std::vector<link::PortEntry>{};
    return std::vector<link::PortEntry>{{1, "/dev/sim", "COM1"}};
  });
}

Bench::~Bench() {
  if (dlg_)
    dlg_->Close();
  dlg_.reset();
  tap.reset();
  rig_.reset();
  // TAVRO_CHAOS_KEEP=1 leaves the program directories for a look.
  if (std::getenv("TAVRO_CHAOS_KEEP") != nullptr) {
    std::fprintf(stderr, "kept %s\n", dir_.c_str());
    return;
  }
  RemoveFolder(dir_);
}

bool Bench::Start() {
  if (dir_.empty() || !WriteProgramDir(plan_, dir_, packageDir_))
    return false;
  const app::StartupOutcome outcome = app::RunStartupSequence(*dlg_);
  loop.Advance(2000);
  screen.Clear();
  return outcome.packageReady && outcome.portOpened;
}

bool Bench::Idle() const {
  return dlg_->controls().Get(platform::kDeviceInfoButton).enabled;
}

bool Bench::PortOpen() {
  return dlg_->controls().Get(platform::kPortButton).text == Text("B_CloseCom");
}

bool Bench::Press(int button, std::uint64_t limitMs) {
  dlg_->OnButton(button);
  return loop.RunUntil([this] { return Idle(); }, limitMs);
}

void Bench::PowerCycle(std::uint32_t offMs) {
  terminal().PowerCut();
  loop.Advance(offMs);
  terminal().PowerUp();
}

void Bench::Unplug() {
  rig_->wire().Unplug();
}

void Bench::Replug() {
  rig_->wire().Plug();
  portListed_ = true;
}

std::string Bench::Info() const {
  return dlg_->controls().Get(platform::kInfoText).text;
}

}  // namespace tavro::chaos
