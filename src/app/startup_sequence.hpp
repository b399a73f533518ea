#pragma once
// What the window does once before it waits for the user: set itself up,
// open a port, check the package, create the folder tree, open the run log,
// bring the initial data to the destination data version.

#include <cstdint>
#include <optional>
#include <string>

#include "app/ctavro_dlg.hpp"
#include "data/convert_error.hpp"
#include "data/init_prepare.hpp"
#include "engine/context.hpp"

namespace tavro::app {

struct StartupOutcome {
  bool languageReady = false;  // false: Language.ini missing, nothing else was done
  bool portOpened = false;
  bool packageReady = false;   // the package check passed; the tree exists
  bool exitRequested = false;  // the run log could not be created: the program ends
  int dataPreparation = 0;     // the preparation's result code; 0 when it did not run
};

// Tries the listed ports from the last to the first (port 1 once when the
// list is empty) and keeps the first that opens; one warning box lists the
// ports that failed when none opened. `onlyPort` tries that port alone.
bool OpenStartupPort(CTAVRODlg& dlg, std::optional<std::uint8_t> onlyPort = std::nullopt);

// The folders of the program directory, created in this order.
inline constexpr const char* kProgramTree[] = {"/SW",
                                               "/Data",
                                               "/SW/E2prom",
                                               "/SW/Flash",
                                               "/Data/Bl",
                                               "/Data/Bl/CheckE2",
                                               "/Data/Res",
                                               "/Data/Rule",
                                               "/Data/Rule/E2E",
                                               "/Data/Rule/F2E",
                                               "/Data/Rule/F2F",
                                               "/Data/BaseData",
                                               "/Data/BaseData/E2prom",
                                               "/Data/BaseData/Flash",
                                               "/Data/InitData",
                                               "/Data/InitData/E2prom",
                                               "/Data/InitData/Flash"};

// The package check and the folder tree. False when the check failed: its
// box has been shown, the button states refreshed and no folder created.
bool CheckPackageAndCreateTree(engine::Context& ctx);

// Brings the initial data to the destination version (data::PrepareInitialData)
// with what the technician is told: its run-log lines, a box for each rule
// file that could not be read and for the failure, and on any result but
// success "ParaBase2DestErr_<code>" in the log, with "DataVer.ini" +
// F_NotExist in a box when the data version file is missing.
data::PrepareResult PrepareStartupData(engine::Context& ctx);

StartupOutcome RunStartupSequence(CTAVRODlg& dlg,
                                  std::optional<std::uint8_t> onlyPort = std::nullopt);

}  // namespace tavro::app
