#pragma once
// Reading the terminal's App and its Flash parameter areas back to the PC:
// the requests, the blocks, and the backup files written after the last
// block of each. Every file is written whole and read back before the read
// goes on; a failure ends the operation with the file's path named.

#include <functional>
#include <string>

#include "engine/context.hpp"
#include "link/payloads.hpp"

namespace tavro::engine {

// Most blocks a terminal may announce: far more than any App or parameter
// area holds, and a bound on what a wrong count can make the PC allocate.
inline constexpr std::uint16_t kMaxAppBackupBlocks = 4096;  // 16 MiB
inline constexpr std::uint16_t kMaxParaBackupBlocks = 256;  // 1 MiB

// "%Y%m%d%H%M%S" of the running operation's start, local time.
std::string OperationStamp(const Context& ctx);

// The parameter areas an area read-back covers: those the package names
// and the area table holds, before the App entry.
std::size_t BackupAreaCount(const Context& ctx);

// Command MsgAppBackupStart: reads the App back into the SW backup folder;
// `onDone` runs after the file is written and verified.
void StartAppReadBack(Context& ctx, std::function<void()> onDone);
// Command MsgParaBackupStart: makes the data backup folder, then reads
// parameter areas 0 .. ParaFileTotalNum-1 into it; `onDone` runs six E2-pace ticks after
// the last area's file is written and verified.
void StartAreaReadBack(Context& ctx, std::function<void()> onDone);

// Creates the parameter backup folder for this operation and records it
// (BackupFolderName, BackupFolder, DataBackupFolder). False, with the
// folder named in a box and the window idle, when it cannot be made.
bool MakeDataBackupFolder(Context& ctx);
// Writes the first `count` bytes of `bytes` to `path` and verifies them.
// False, with the path named in a box and the window idle, on failure.
bool WriteBackupFile(Context& ctx, const std::string& path, const link::Bytes& bytes,
                     std::size_t count);

void OnAppBackupBlock(Context& ctx, link::ByteView payload);
void OnParaBackupBlock(Context& ctx, link::ByteView payload);

void RegisterBackupRead(Context& ctx);

}  // namespace tavro::engine
