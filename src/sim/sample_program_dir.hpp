#pragma once
// A program directory to try the tool on: made from the shipped package
// sources, for the demos of both windows.

#include <string>

namespace tavro::sim {

// Builds a program directory in `programDir` (created if missing) from the
// package sources in `packageDir`: every file and folder is copied, except
// the package source "SwUpdate-source.ini", from which SwUpdate.ini is built,
// and hidden files. False with `error` set when something cannot be made.
bool MakeSampleProgramDir(const std::string& packageDir, const std::string& programDir,
                          std::string& error);

// The demos' whole set-up: the sample program directory in `programDir`, a
// terminal profile in `terminalDir` whose areas follow that directory's
// package, and a package ready to download, so every button has something
// to do. False with `error` set when a step fails.
bool MakeDemoSetUp(const std::string& packageDir, const std::string& programDir,
                   const std::string& terminalDir, std::string& error);

}  // namespace tavro::sim
