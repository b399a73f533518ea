#pragma once
// The link state: the current command, its counters and the step fields the
// transfer steps and operations share. Widths are part of the behaviour:
// counters wrap at their width.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "link/byte_order.hpp"
#include "platform/loop.hpp"

namespace tavro::engine {

// Timer numbers; each has one meaning for the whole program.
enum TimerId : int {
  kTimerDevBackup = 1,   // terminal's own data backup watchdog (121 s)
  kTimerBlockSend = 2,   // started and stopped by block senders only
  kTimerSilence = 3,     // silence watch: resend at 8 and 16 s, give up at 18 s
  kTimerGoBack = 4,      // roll-back watchdog (121 s)
  kTimerReadBack = 5,    // started and stopped by read-back only
  kTimerHeaderPace = 6,  // next Flash header read after 3 ticks
  kTimerAnswer = 7,      // answer time-out: 9 ticks
  kTimerE2Pace = 8,      // E2PROM header step after 6 ticks
  kTimerProgress = 9,    // download/upgrade elapsed time and progress
  kTimerBackupProgress = 10,
  kTimerLinkPoll = 12,  // link-query poll
};

// The timers of one command (1..8): a new command and a retry overflow stop
// them.
inline constexpr std::array<int, 8> kCommandTimers = {
    kTimerDevBackup, kTimerBlockSend,  kTimerSilence, kTimerGoBack,
    kTimerReadBack,  kTimerHeaderPace, kTimerAnswer,  kTimerE2Pace};
// The timers of a running operation (1..10): the return to idle stops them.
// The link-query poll (12) runs on its own.
inline constexpr std::array<int, 10> kOperationTimers = {
    kTimerDevBackup,  kTimerBlockSend, kTimerSilence, kTimerGoBack,   kTimerReadBack,
    kTimerHeaderPace, kTimerAnswer,    kTimerE2Pace,  kTimerProgress, kTimerBackupProgress};

inline void StopTimers(platform::Loop& loop, std::span<const int> timers) {
  for (int id : timers)
    loop.StopTimer(id);
}

// What a "1 ms" timer means: the platform's shortest window-timer period.
// Desktop window timers tick no faster than this, and the pacing of the
// header reads and the link-query poll relies on it: a 1 ms poll would resend
// (and purge) before the terminal can answer.
inline constexpr std::uint32_t kShortestTimerMs = 16;

// Heap blocks owned by the link state; released by whoever ends a command.
struct TransferBuffers {
  link::Bytes sendImage;
  link::Bytes backupImage;
  link::Bytes backupImage2;

  void ReleaseAll() {
    link::Bytes().swap(sendImage);
    link::Bytes().swap(backupImage);
    link::Bytes().swap(backupImage2);
  }
};

// The link state in parts, each written by the code that owns it. The
// parts keep the field names the engine's steps have always used; a step
// that works on one part takes that part.

// The current command and its counters: the command start and the timers.
struct CommandState {
  std::uint32_t CmdID = 0;
  std::uint16_t gOneCmdTime = 0;  // ticks of the running command timer
  std::uint8_t gOverTimeNum = 0;  // retries after silence
  std::uint16_t CrcErrNum = 0;
  std::uint16_t FrameRetryNum = 0;  // refused blocks in a row
  std::uint32_t PollCount = 0;      // link-query polls of one identification
  std::uint32_t Rx12007Run = 0;     // receive time-outs in a row
  // Connects sent again because a hello came without the announcement.
  std::uint8_t ConnectRepeats = 0;
};

// Whether the terminal is connected and identified: the receive path and the
// identification.
struct LinkFlags {
  std::uint8_t LinkUp = 0;
  std::uint8_t DevIdentified = 0;
  std::uint32_t TerminalType = 0;  // from the link query
  std::uint8_t ParaAltAddr = 0;    // the headers are read at their second copies
};

// The block transfer under way: the block senders and receivers.
struct BlockTransfer {
  std::uint16_t gFrameNum = 0;
  std::uint16_t gFrameSum = 0;
  std::uint8_t ImageLoaded = 0;
  std::uint16_t StepIndex = 0;
  std::uint16_t LastBlockNo = 0xFFFF;
  TransferBuffers buffers;
  std::uint32_t ImageLen = 0;   // bytes of sendImage that are sent
  std::uint32_t FlashBase = 0;  // address in every Flash or E2PROM write block
  // Read-back.
  std::uint8_t FirstBlock = 0;
  std::uint32_t BackupOffset = 0;  // bytes stored in backupImage
  std::uint32_t ReadAddr = 0;
  std::uint32_t ReadLen = 0;
  std::uint32_t ReadOffset = 0;  // bytes stored in backupImage2
  // The reply whose blocks the pending read takes (0: no read pending since
  // the command started); blocks of any other read are not stored.
  std::uint16_t PendingBlockId = 0;
};

// The progress display: the timers 9 and 10 and the stage display.
struct ProgressState {
  std::uint16_t ElapsedSec = 0;
  std::uint32_t ProgressPos = 0;
  double ParaReadProgress = 0.0;  // never reset while the program runs
  std::string TotalTimeText;
  std::string Dots;
};

// What a download sends, as its set-up and data decision chose it.
struct DownloadPlan {
  std::int64_t OperationTime = 0;  // start of the running operation, seconds since 1970
  std::uint8_t DownloadApp = 0;
  std::uint8_t DownloadData = 0;
  std::uint32_t FlashCopyPending = 0;  // copy E2.dat into Flash before the E2PROM write
  std::uint32_t NewBlFile = 0;         // 1: Data/Bl holds a new bootloader image
  std::string FileVersion;             // version of the App image to be downloaded
  // Folder of the parameter data to send; none when no data goes in.
  std::optional<std::string> ParaPath;
  // An App backup file to send instead of the package's App: the image as
  // the terminal kept it, its header bytes included.
  std::optional<std::string> AppBackupToSend;
};

// What the terminal reported on its own: the reply handlers.
struct TerminalReports {
  std::int32_t RunResult = -1;         // the terminal's last run report; -1 none yet
  std::int32_t GoBackResult = -1;      // the terminal's last roll-back report; 3 in progress
  std::uint8_t DownloadCompleted = 0;  // 1 once a download's completion ran; a run report follows
  std::uint8_t E2CheckFailed = 0;      // 1 from a failed E2PROM check until it is shown
};

// Where the last read-back put its files: the read-back.
struct ReadBackFiles {
  std::string BackupFolderName;  // time stamp and suffix of the data folder
  std::string BackupFolder;      // folder of the file written last
  std::string AppBackupFile;
  std::string DataBackupFolder;
};

struct LinkState : CommandState,
                   LinkFlags,
                   BlockTransfer,
                   ProgressState,
                   DownloadPlan,
                   TerminalReports,
                   ReadBackFiles {};

}  // namespace tavro::engine
