#pragma once
// A whole operation in virtual time: the window model on a VirtualLoop, wired
// to the terminal simulator, with a program directory made from the shipped
// package (language file and package description built from its source).

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "app/ctavro_dlg.hpp"
#include "app/startup_sequence.hpp"
#include "loop/virtual_loop.hpp"
#include "sim/device_factory.hpp"
#include "sim/sim_rig.hpp"
#include "support/recording_screen.hpp"
#include "support/temp_dir.hpp"

namespace tavro::test {

// A device of the given generation and type whose areas are the package's.
sim::DeviceSpec PackageDevice(std::uint16_t blVersion, std::uint16_t terminalType);

class Scenario;

// The package description with another BLUpDataConfig.
void SetBlUpDataConfig(Scenario& s, std::uint32_t value);
// The simulated terminal keeps its memory map across a bootloader upgrade;
// the package then gives the 0x230 class the App area of the 0x220 class.
void SameAppAreaAfterTheUpgrade(Scenario& s);

class Scenario {
 public:
  explicit Scenario(const sim::DeviceSpec& spec, const sim::Behaviour& behaviour = {},
                    const sim::Faults& faults = {});
  explicit Scenario(const sim::Device& device, const sim::Behaviour& behaviour = {},
                    const sim::Faults& faults = {});

  // Runs the start-up sequence (the simulator's line is COM1, the only port).
  app::StartupOutcome Start();
  // Presses a button and runs until the window is idle again (the button is
  // enabled) or `limitMs` of virtual time have passed; false on the limit.
  bool Press(int buttonId, std::uint64_t limitMs = 120000);

  // Frames of `msgId` the terminal sent since the last Press began.
  std::uint32_t SentDuringPress(std::uint16_t msgId) const;

  std::string Text(const char* key) { return dlg->language().Text(key); }
  std::string Info() const { return dlg->controls().Get(platform::kInfoText).text; }
  engine::Context& ctx() { return dlg->context(); }
  sim::Terminal& terminal() { return rig->terminal(); }
  // Texts of the boxes shown so far, in order.
  std::vector<std::string> BoxTexts() const;
  // The run log's content (the sample package writes one).
  std::string RunLogText() const;

  TempDir dir;
  loop::VirtualLoop loop;
  RecordingScreen screen;
  std::unique_ptr<sim::SimRig> rig;
  std::unique_ptr<app::CTAVRODlg> dlg;
  // False once the simulated adapter is unplugged: the port list no longer
  // holds COM1.
  bool portListed = true;

 private:
  std::map<std::uint16_t, std::uint32_t> sentBeforePress_;
};

}  // namespace tavro::test
