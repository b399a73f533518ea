#pragma once
// A program directory for Upgrade software: an App image, the initial data,
// the data version file and rules that carry the simulated terminal's own
// data from its version to the package's. The rules rewrite the first data
// byte of every image and copy the rest, so converted data is told from the
// terminal's own at a glance.

#include <cstdint>
#include <string>
#include <vector>

#include "link/byte_order.hpp"
#include "scenarios/scenario.hpp"
#include "sim/device_model.hpp"

namespace tavro::test {

inline constexpr std::uint32_t kTerminalData = 0x01020000;
inline constexpr std::uint32_t kPackageData = 0x01030000;
// The first data byte of every converted image.
inline constexpr std::uint8_t kConvertedMark = 0x5A;

struct UpgradePackage {
  link::Bytes app;
};

// Writes `relative` under the scenario's program directory.
bool PutFile(Scenario& s, const std::string& relative, const link::Bytes& bytes);

// The package for the scenario's terminal: App, initial data at
// `destVersion`, DataVer.ini, and (with `withRules`) the F2F and E2E rules
// from kTerminalData to kPackageData sized for the terminal's data.
UpgradePackage MakeUpgradePackage(Scenario& s, std::uint32_t destVersion = kPackageData,
                                  bool withRules = true, std::size_t appSize = 3 * 4096 + 100);

// The terminal's data as an upgrade from kTerminalData leaves it: each
// image's data with its first byte replaced by kConvertedMark (headers and
// time stamps are not compared).
link::Bytes ConvertedData(const link::Bytes& image, std::size_t headerSize);

// Connects (start-up and Device Info) with no box; false otherwise.
bool ConnectQuietly(Scenario& s);

// Presses Upgrade and lets the terminal report its run.
bool RunUpgrade(Scenario& s, std::uint64_t limitMs = 900000);

// A terminal with small data areas (one data block each) and a two-block
// App: quick to upgrade, so whole upgrades can be repeated many times.
inline constexpr std::size_t kSmallAppSize = 4096 + 300;
sim::Device SmallTerminal(std::uint16_t blVersion);

// The terminal's data with the download's time stamps blanked: Flash area
// headers keep them at 48..63, the E2PROM header at 18..31.
std::vector<link::Bytes> DataOf(const sim::Device& d);

// What an uninterrupted upgrade leaves on a SmallTerminal of this generation.
const std::vector<link::Bytes>& UninterruptedUpgradeData(std::uint16_t blVersion);

}  // namespace tavro::test
