#pragma once
// The commands of tavro-sim, apart from their command line so that tests
// can run them.

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

namespace tavro::sim {

struct InitOptions {
  std::string dir;
  std::uint16_t blVersion = 0x0215;
  std::optional<std::uint16_t> terminalType = 1;
  std::string packageDir;  // program directory whose SwUpdate.ini gives the areas
  std::uint32_t appVersion = 0x01000200;
  std::uint32_t dataVersion = 0x01020000;
  std::uint8_t sizeCode = 0x10;
  std::string model = "TR100";
  bool force = false;  // replace a profile already in the folder
};

struct PackageOptions {
  std::string programDir;  // holds SwUpdate.ini already
  std::uint32_t appVersion = 0x01000300;
  std::uint32_t dataVersion = 0x01030000;
  std::string model = "TR100";
};

// Writes a sample download package into a program directory, for trying a
// download against the simulator: an App for both generations, the initial
// Flash and E2PROM data, the destination data version and the marker that
// a package is ready. Returns the process exit code.
int RunPackage(const PackageOptions& options, std::ostream& out, std::ostream& err);

// Creates a consistent profile; returns the process exit code, messages on `err`.
int RunInit(const InitOptions& options, std::ostream& out, std::ostream& err);
int RunShow(const std::string& dir, std::ostream& out, std::ostream& err);

}  // namespace tavro::sim
