#pragma once
// The terminal side of a virtual-time test in one piece: a terminal on a
// VirtualLoop behind a VirtualWire, optionally kept in a profile folder.

#include <memory>
#include <string>

#include "loop/virtual_loop.hpp"
#include "sim/profile.hpp"
#include "sim/terminal.hpp"
#include "sim/virtual_wire.hpp"

namespace tavro::sim {

class SimRig {
 public:
  // Powers the terminal up at once (it announces itself when its behaviour says so).
  SimRig(loop::VirtualLoop& loop, Device device, Behaviour behaviour = {}, Faults faults = {},
         std::uint32_t baud = 115200);
  // A terminal whose memory is the profile folder `dir`: every accepted write
  // is saved there. Null, with `error` set, when the profile cannot be read.
  static std::unique_ptr<SimRig> FromProfile(loop::VirtualLoop& loop, const std::string& dir,
                                             std::string& error, std::uint32_t baud = 115200);

  Terminal& terminal() { return terminal_; }
  VirtualWire& wire() { return wire_; }
  // Saves every accepted write in `dir` (the folder must hold the profile).
  void PersistTo(const std::string& dir, const Behaviour& behaviour, const Faults& faults);
  // Last save failure, empty when all saves worked.
  std::string SaveError() const { return store_ ? store_->LastError() : std::string(); }

 private:
  VirtualLoopScheduler scheduler_;
  Terminal terminal_;
  VirtualWire wire_;
  std::unique_ptr<ProfileStore> store_;
};

}  // namespace tavro::sim
