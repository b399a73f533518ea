#pragma once
// The start-up data preparation: brings the initial parameter data in
// Data/InitData to the destination version of Data/DataVer.ini, from the
// base data in Data/BaseData and the E2E and F2F rules. Initial data already
// at the destination version is left alone. The E2PROM image comes first,
// then the Flash images.

#include <cstdint>
#include <string>
#include <vector>

#include "data/convert_error.hpp"
#include "link/time_stamp.hpp"

namespace tavro::data {

inline constexpr const char* kBaseE2promFolder = "/Data/BaseData/E2prom";
inline constexpr const char* kBaseFlashFolder = "/Data/BaseData/Flash";

struct PrepareRequest {
  std::string programDir;
  std::uint8_t requisiteNum = 0;  // Flash images a base set must have at least
  link::TimeStamp stamp;          // of the headers the conversions write
};

enum PrepareCode : int {
  kPrepared = 1,
  kPrepareE2promFailed = 2,
  kPrepareNoDataVersion = 3,  // Data/DataVer.ini is missing
  kPrepareFlashFailed = 4,
};

struct PrepareResult {
  int code = kPrepared;
  std::uint32_t destVersion = 0;
  // The run-log lines in order, for DebugLevel != 0.
  std::vector<std::string> logLines;
  // What was done, one line each, for the console.
  std::vector<std::string> actions;
  // Rule files whose versions could not be read; the search went on.
  std::vector<ConvertError> notices;
  // Why the preparation failed (codes 2 and 4).
  ConvertError error;
  // The output folder of the last conversion step; empty when none ran.
  std::string paraPath;
};

PrepareResult PrepareInitialData(const PrepareRequest& request);

}  // namespace tavro::data
