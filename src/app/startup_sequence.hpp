#pragma once
// What the window does once before it waits for the user: set itself up,
// open a port, check the package, create the folder tree, open the run log.

#include <cstdint>
#include <optional>
#include <string>

#include "app/ctavro_dlg.hpp"

namespace tavro::app {

struct StartupOutcome {
  bool languageReady = false;  // false: Language.ini missing, nothing else was done
  bool portOpened = false;
  bool packageReady = false;   // the package check passed; the tree exists
  bool exitRequested = false;  // the run log could not be created: the program ends
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

StartupOutcome RunStartupSequence(CTAVRODlg& dlg,
                                  std::optional<std::uint8_t> onlyPort = std::nullopt);

}  // namespace tavro::app
