#pragma once
// The window's package builder entry: the technician picks the text source
// of a package description, the binary description is written into a NewIni
// folder next to it, and a box says where it went or what failed.

#include <string>

#include "platform/messages.hpp"
#include "platform/screen.hpp"

namespace tavro::app {

// The open-file dialog's filter: INI files, then all files.
inline constexpr const char* kPackageSourceFilter = "(*.ini)|*.ini|所有文件(*.*)|*.*||";

enum class PackageBuildOutcome {
  kCancelled,      // no file chosen; nothing shown
  kWritten,        // outputPath written
  kSourceMissing,  // the chosen path is not a readable file
  kFolderFailed,   // the NewIni folder cannot be created
  kWriteFailed,    // outputPath cannot be written
};

struct PackageBuildResult {
  PackageBuildOutcome outcome = PackageBuildOutcome::kCancelled;
  std::string outputPath;  // set when a path was chosen and the folder exists
};

// Asks for the source through the screen's file chooser, builds
// <folder>/NewIni/<file name> and reports the outcome in a box (kind 0 when
// written, kind 3 otherwise; nothing when cancelled). NewIni is written
// under the lock of the source's folder (as a rule the program directory,
// whose lock other instances share).
PackageBuildResult RunIniToBinWithChooser(platform::Messages& messages, platform::Screen& screen);

}  // namespace tavro::app
