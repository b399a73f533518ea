#pragma once
// The terminal a campaign seed works on and the program directory that
// serves it: generation, parameter areas, App sizes, resources and whether
// the package carries a new bootloader that moves the data into E2PROM.

#include <cstdint>
#include <string>
#include <vector>

#include "chaos/choices.hpp"
#include "link/byte_order.hpp"
#include "sim/behaviour.hpp"
#include "sim/device_model.hpp"

namespace tavro::chaos {

inline constexpr std::uint32_t kTerminalData = 0x01020000;
inline constexpr std::uint32_t kPackageData = 0x01030000;
inline constexpr std::uint8_t kConvertedMark = 0x5A;

struct TerminalPlan {
  std::uint16_t blVersion = 0x0215;
  std::vector<std::size_t> areaData;  // data bytes of each Flash parameter area
  std::size_t terminalApp = 4096;     // the App the terminal holds
  std::size_t packageApp = 4096;      // the App the package carries
  std::size_t resource = 0;           // bytes of the one resource image, 0: none
  bool newBootloader = false;         // the package moves the data into E2PROM
  sim::Behaviour behaviour;

  bool UsesE2() const { return sim::KeepsDataInE2(blVersion); }
  // Bytes that one upgrade moves over the line at most, for time bounds.
  std::size_t Volume() const;
  std::string Describe() const;
};

// `maxApp` caps the App sizes drawn.
TerminalPlan DrawTerminal(Choices& choices, std::uint32_t maxApp = 1 << 20);
sim::Device MakeTerminal(const TerminalPlan& plan);

// Writes the program directory for `plan` into `dir`: the language file from
// `packageDir`, the package description, App, initial data, data version,
// conversion rules and, as drawn, a resource image and a new bootloader.
// False when a file cannot be written.
bool WriteProgramDir(const TerminalPlan& plan, const std::string& dir,
                     const std::string& packageDir);

// The App the package of `plan` carries.
link::Bytes PackageApp(const TerminalPlan& plan);

}  // namespace tavro::chaos
