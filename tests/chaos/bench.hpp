#pragma once
// One window at the bench: the window model on a virtual loop, wired to a
// simulated terminal, in a program directory of its own. Everything a
// campaign does goes through what a technician has: buttons, the port, the
// terminal's power and its adapter; it reads the screen and the terminal.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/ctavro_dlg.hpp"
#include "chaos/terminal_plan.hpp"
#include "link/serial_link.hpp"
#include "loop/virtual_loop.hpp"
#include "platform/screen.hpp"
#include "sim/sim_rig.hpp"

namespace tavro::chaos {

// Answers every box as a technician who clicks OK would and keeps the texts
// of the boxes shown since the last Clear; draws nothing.
class BenchScreen : public platform::Screen {
 public:
  int ShowMessageBox(const platform::MessageBoxRequest& request) override;
  void ShowControls(const std::vector<platform::ControlChange>&) override {}
  std::optional<std::string> ChooseFile(const std::string&) override { return std::nullopt; }
  void ShowNotice(const std::string&) override {}

  const std::vector<std::string>& boxes() const { return boxes_; }
  void Clear() { boxes_.clear(); }

 private:
  std::vector<std::string> boxes_;
};

// The line as the window sees it: the virtual wire, with every frame the
// window writes kept while recording, and a way to hand the window bytes of
// our own once the terminal is taken off the line.
class TapLink : public link::SerialLink {
 public:
  explicit TapLink(link::SerialLink& inner) : inner_(inner) {}

  void SetByteHandler(ByteHandler onByte) override;
  bool Open(std::uint32_t port, const link::LineSettings& settings) override;
  bool StartWorker() override { return detached_ ? open_ : inner_.StartWorker(); }
  void WriteFrame(link::ByteView frame) override;
  void RequestStop() override;
  void ForceStop() override;
  bool IsOpen() const override { return detached_ ? open_ : inner_.IsOpen(); }

  // From now on nothing passes to or from the terminal; Deliver feeds the
  // window instead.
  void Detach();
  void Deliver(link::ByteView bytes);

  void Record(bool on) { recording_ = on; }
  std::vector<link::Bytes> TakeFrames();
  std::uint64_t FramesWritten() const { return written_; }

 private:
  link::SerialLink& inner_;
  ByteHandler onByte_;
  bool detached_ = false;
  bool open_ = false;
  bool recording_ = false;
  std::vector<link::Bytes> frames_;
  std::uint64_t written_ = 0;
};

class Bench {
 public:
  Bench(const TerminalPlan& plan, const sim::Device& device, const std::string& packageDir);
  ~Bench();
  Bench(const Bench&) = delete;
  Bench& operator=(const Bench&) = delete;

  // Writes the program directory and runs the start-up sequence; the
  // terminal's announcement at power-up is identified on its own. False
  // when the directory or the package cannot be made.
  bool Start();

  // True while no operation runs: the operation buttons are enabled.
  bool Idle() const;
  bool PortOpen();
  // Presses `button` (or fires the menu action) and runs until the window
  // is idle again or `limitMs` of virtual time have passed; false on the limit.
  bool Press(int button, std::uint64_t limitMs);

  // The technician's hands: the terminal's power and the adapter.
  void PowerCycle(std::uint32_t offMs);
  void Unplug();
  void Replug();
  bool Plugged() const { return rig_->wire().Plugged(); }

  sim::Terminal& terminal() { return rig_->terminal(); }
  app::CTAVRODlg& window() { return *dlg_; }
  std::string Text(const char* key) { return dlg_->language().Text(key); }
  std::string Info() const;
  const std::string& dir() const { return dir_; }

  loop::VirtualLoop loop;
  BenchScreen screen;
  std::unique_ptr<TapLink> tap;
  // Called with the trace notes of the terminal ("fault: ...").
  std::function<void(std::string_view note)> onNote;
  // Called when the terminal loses its power or its adapter through a fault.
  std::function<void()> onPowerCut;
  std::function<void()> onUnplugged;

 private:
  TerminalPlan plan_;
  std::string packageDir_;
  std::string dir_;
  bool portListed_ = true;
  std::unique_ptr<sim::SimRig> rig_;
  std::unique_ptr<app::CTAVRODlg> dlg_;
};

// A folder of its own under /dev/shm (or TMPDIR), for a bench's program
// directory; empty when none could be made.
std::string MakeScratchFolder();
void RemoveFolder(const std::string& path);

}  // namespace tavro::chaos
