#pragma once
// The package and folder check every operation runs before it talks to the
// terminal: the package description must be there, and each package folder
// may hold at most one image.

#include <string>

#include "engine/context.hpp"

namespace tavro::operations {

// Folder of the App image for this terminal: "/SW/E2prom" for E2PROM
// terminals (and for 0x220..0x22F ones that take a new bootloader under a
// package that allows it), else "/SW/Flash". `newBootloader` is the caller's
// marker test of the bootloader image.
std::string AppFolder(const engine::Context& ctx, bool newBootloader);

// Whether the package's area table is checked against the terminal: only
// once the link query has told which terminal is connected.
enum class AreaCheck { kNone, kConnectedTerminal };

// Whether the folders of what a download sends (App, resources) are checked
// too: by the downloads when they start, and by every identification once
// the link query has answered.
enum class FileScope { kPackage, kWithDownloadFiles };

// Reads the package and checks the folders; true = go on. Shows its own
// message when it fails. With kWithDownloadFiles it also checks the App and
// resource folders and sets DownloadApp.
bool FileSetCheck(engine::Context& ctx, AreaCheck areaCheck = AreaCheck::kNone,
                  FileScope scope = FileScope::kPackage);

}  // namespace tavro::operations
