#pragma once
// Upgrade software: the package goes onto the connected terminal while the
// terminal keeps its own parameter data, read back and converted to the
// package's data version. An upgrade whose data download was interrupted
// (its download record is still in Backup/TAVR<n>) resumes the data download
// from the data set saved on the PC instead of reading the terminal's half
// written data again.

#include <memory>

#include "engine/context.hpp"
#include "engine/operation.hpp"

namespace tavro::operations {

std::shared_ptr<engine::Operation> MakeUpgrade();

// Button "Upgrade"; also run again by the resume checks once they have
// deleted a record that does not fit the terminal.
void StartUpgrade(engine::Context& ctx);

// The Flash headers read for the resume check against the record.
void CheckResumeFlash(engine::Context& ctx);
// The E2PROM header just read (ParaIntact, ParaTimestamp) against the
// record; without a record the read-back of a fresh upgrade follows.
void CheckResumeE2(engine::Context& ctx);

}  // namespace tavro::operations
