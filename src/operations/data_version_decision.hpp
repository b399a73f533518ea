#pragma once
// Which parameter data the terminal receives once its own data has been read
// back: for Download software the package's initial data; for Upgrade
// software the terminal's own data, converted to the package's data version
// (or written back unchanged, or none); for damaged terminal data the initial
// data after a question. Then the download record is made and the stages
// start. A decision that ends leaves the terminal untouched.

#include "engine/context.hpp"

namespace tavro::operations {

void DataVersionDecision(engine::Context& ctx);

// Starts the stages with the data chosen: the old records are given up, a
// new record is made, and the RAM stage runs first when a new bootloader
// is to go in.
void StartDownloadStages(engine::Context& ctx);

// Gives the old records up and makes the record of the download about to
// start (under a fresh operation time); false, with the window idle and the
// box shown, when it cannot be written.
bool MakeDownloadRecord(engine::Context& ctx);

// True while the identified terminal still has the bootloader that the
// package's new one is to replace: the RAM stage has not put it in.
bool AwaitsNewBootloader(const engine::Context& ctx);

}  // namespace tavro::operations
