#pragma once
// The demonstration set-up on Windows: a sample program directory made from
// the shipped package sources and a simulated terminal inside the process,
// behind a SerialLink at the line rate. Everything lives in one temporary
// folder removed at the end.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/loop.hpp"
#include "sim/live_wire.hpp"

namespace tavro::win32ui {

// The COM number the demo's terminal answers on: the start-up sequence
// tries the last port of the list first.
inline constexpr std::uint32_t kDemoCom = 9;

class DemoTerminal {
 public:
  // Makes the folder (under `parent`, the system's temporary folder when
  // empty), the program directory and the terminal's profile. Null with
  // `error` set when a step fails. `baud` paces the wire.
  static std::unique_ptr<DemoTerminal> Make(const std::string& packageDir, std::string& error,
                                            const std::string& parent = {},
                                            std::uint32_t baud = 115200);
  // Stops the terminal and removes the folder.
  ~DemoTerminal();
  DemoTerminal(const DemoTerminal&) = delete;
  DemoTerminal& operator=(const DemoTerminal&) = delete;

  // Starts the terminal's wire; the PC side's hand-overs go to `pcLoop`.
  // Null with `error` set when the profile cannot be read.
  sim::LiveWire* Start(platform::Loop& pcLoop, std::string& error);
  // Ends the terminal (before the loop it hands over to goes).
  void Stop();

  const std::string& programDir() const { return programDir_; }
  const std::string& folder() const { return folder_; }
  sim::LiveWire* wire() { return wire_.get(); }

 private:
  DemoTerminal() = default;

  std::string folder_;
  std::string programDir_;
  std::string terminalDir_;
  std::uint32_t baud_ = 115200;
  std::unique_ptr<sim::LiveWire> wire_;
};

}  // namespace tavro::win32ui
