#pragma once
// Carrying the parameter data read back from a terminal over to a newer data
// version: Flash images with the F2F rules, the move to the E2PROM with the
// first F2E rule (for 0x210..0x22F terminals that take a new bootloader
// under a package that allows it), E2PROM images with the E2E rules. Each
// step writes under Backup/TAVR<n>/Conv/<version>/<backup set>.

#include <cstdint>
#include <string>
#include <vector>

#include "data/convert_error.hpp"
#include "data/rule_chain.hpp"
#include "link/time_stamp.hpp"

namespace tavro::data {

struct TerminalConversion {
  std::string programDir;
  std::uint32_t comPort = 0;
  std::uint16_t blVersion = 0;
  std::uint32_t blUpDataConfig = 0;
  std::uint32_t dataVersion = 0;  // the terminal's parameter data version
  std::string backupFolder;       // the read-back data: the first step's source
  std::string backupSetName;      // its folder name, repeated under Conv/<version>
  link::TimeStamp stamp;          // the running operation's start
  std::uint32_t targetVersion = 0;
  bool toE2 = false;  // the data is an E2PROM image already (built from Flash images)
};

enum TerminalConversionCode : int {
  kConvertFailed = 0,
  kConvertReached = 1,  // at or above the target, also without a step
  kConvertNoRule = 2,
};

struct TerminalConversionResult {
  int code = kConvertReached;
  // The folder the download is to take the data from: the last step's
  // output; empty when no step ran.
  std::string paraPath;
  std::vector<std::string> logLines;  // for the run log, when DebugLevel >= 1
  ChainResult chain;                  // the steps, the error of a failed one, the notices
};

TerminalConversionResult ConvertTerminalData(const TerminalConversion& request);

}  // namespace tavro::data
