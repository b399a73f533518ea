#pragma once
// Which initial parameter data a download sends, and whether it is there:
// E2PROM data (E2.dat) for terminals that keep their parameters in E2PROM,
// else the Flash images named by the area table.

#include <cstddef>
#include <cstdint>
#include <string>

#include "data/package.hpp"
#include "data/para_images.hpp"

namespace tavro::data {

struct InitDataChoice {
  std::uint16_t blVersion = 0;
  std::uint32_t blUpDataConfig = 0;
  bool newBlFile = false;  // a new bootloader image is in the package
  std::uint8_t paraFileTotalNum = 0;
};

// True when the terminal is to receive E2PROM data: bootloader 0x230 on, or
// 0x220 on when the package allows the move and brings a new bootloader.
bool UsesE2promData(const InitDataChoice& choice);

struct InitDataCheck {
  ParaForm form = ParaForm::kFlash;
  std::string paraPath;  // the initial-data folder, absolute
  bool complete = false;
  // The first file missing: its name (empty when the area table names no
  // file or a name that would leave the folder) and its area index (0 for
  // E2.dat).
  std::string missingName;
  std::size_t missingIndex = 0;

  // paraPath + " init data is not exist.\r\n"; the caller appends the
  // update-stop text.
  std::string BoxText() const;
  // The run-log line of a missing file, for DebugLevel >= 1.
  std::string LogLine() const;
};

// Chooses the folder and checks that the files exist in it: E2.dat, or the
// files of area entries 0 ... paraFileTotalNum - 1. An entry without a file
// name, beyond the table, or with a name that is not a plain file name
// counts as missing; so does a folder of that name.
InitDataCheck CheckInitData(const std::string& programDir, const InitDataChoice& choice,
                            const AreaTable& areas);

}  // namespace tavro::data
