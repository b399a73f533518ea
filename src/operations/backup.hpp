#pragma once
// Backup to PC: the terminal's current App and its parameter data, read back
// into timestamped folders under Backup/TAVR<n>, using what the last View
// device information found out about the terminal.

#include <memory>
#include <string>

#include "engine/context.hpp"
#include "engine/operation.hpp"

namespace tavro::operations {

// `identified` is what the last identification found: it stands again once
// the backup is over.
std::shared_ptr<engine::Operation> MakeBackup(const engine::DeviceInfo& identified);

// Button "Backup".
void StartBackup(engine::Context& ctx);

// The end of a backup: idle, elapsed time, what was backed up and where,
// and the closing box.
void ShowBackupSummary(engine::Context& ctx);

// A path for the information area: before the last separator within each
// further 75 characters a line break is put, so no line is much longer.
std::string WrapPath(const std::string& path);

}  // namespace tavro::operations
