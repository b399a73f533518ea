#pragma once
// The run log: one plain-text trace file per program run, read by service
// staff after a failed upgrade. Every part of the tool writes to it through
// Write(); each write reaches the disk at once, so the file is complete up to
// the moment the program stopped.
//
// The caller decides whether there is a log at all: it calls Open() only when
// DebugLevel is non-zero at start-up. Without Open() no file or folder is
// created and every Write() is skipped, so a DebugLevel raised later by a new
// package description disturbs nothing.
//
// Texts are written byte for byte (UTF-8, with the "\r\n" line breaks the
// callers put in); the file is opened in binary mode so nothing translates them.

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>

#include "link/byte_order.hpp"

namespace tavro::data {

class RunLog {
 public:
  RunLog() = default;
  ~RunLog() { Close(); }
  RunLog(const RunLog&) = delete;
  RunLog& operator=(const RunLog&) = delete;

  // "<programDir>/Backup/AppRunLog/<%Y%m%d%H%M%S of startTime, local>-COM<port>.txt",
  // with "-<attempt>" before ".txt" from the second attempt on. The port in
  // the name keeps apart the logs of instances on one program directory
  // that started in the same second (one instance per port).
  static std::string PathFor(const std::string& programDir, std::time_t startTime,
                             std::uint32_t comPort, int attempt = 1);

  // Creates Backup and Backup/AppRunLog under programDir if missing, creates
  // a new file and writes "AppRunLog:\r\n" and "\r\nCOM<port>". A file of
  // the same name is never opened again: it belongs to another run (two
  // instances whose port could not be opened, say), and the next attempt's
  // name is tried instead. False when the folders or the file cannot be
  // created; Path() still names the file that was tried. A log already open
  // is closed first.
  bool Open(const std::string& programDir, std::time_t startTime, std::uint32_t comPort);
  // Appends `text` unchanged and flushes. Skipped while no file is open;
  // write errors are not reported.
  void Write(std::string_view text);
  void Close();
  bool IsOpen() const { return file_ != nullptr; }
  const std::string& Path() const { return path_; }

 private:
  // Names tried before giving up; more runs than this of one port in one
  // second do not happen.
  static constexpr int kMaxNameAttempts = 100;

  std::FILE* file_ = nullptr;
  std::string path_;
};

// The counters of the current command, as command-state blocks show them.
struct CommandCounters {
  std::uint32_t cmd = 0;
  std::uint32_t oneCmdTime = 0;
  std::uint32_t overTimeNum = 0;
  std::uint32_t frameNum = 0;
  std::uint32_t frameSum = 0;
};

// How the first field of a block is spelled: "cmd=" for the failure blocks,
// "CmdID=" for the Timer, CommTime and DevBakOverTime blocks.
enum class CmdWord { Cmd, CmdId };

// "\r\n\r\n<tag>\r\ncmd=<n>\r\ngOneCmdTime=<n>\r\ngOverTimeNum=<n>\r\n"
// "gFrameNum=<n>\r\ngFrameSum=<n>\r\n", the one shape of every command-state
// block in the log.
std::string FormatCommandState(std::string_view tag, const CommandCounters& counters,
                               CmdWord word = CmdWord::Cmd);

// The detail levels at which frames are traced.
inline constexpr std::uint32_t kLogFrameIdsLevel = 2;
inline constexpr std::uint32_t kLogReceivedBytesLevel = 5;
inline constexpr std::uint32_t kLogSentBytesLevel = 6;

// A frame being written to the port: "\r\nS-MsgID=<id>\r\n" from level 2,
// then " %02X" per byte and "\r\n\r\n" from level 6.
void LogSentFrame(RunLog& log, std::uint32_t debugLevel, link::ByteView frame);
// A received byte, " %02X", from level 5, before it is processed.
void LogReceivedByte(RunLog& log, std::uint32_t debugLevel, std::uint8_t byte);
// A received good frame: "\r\nR-MsgID=<id>\r\n" from level 2.
void LogReceivedFrame(RunLog& log, std::uint32_t debugLevel, std::uint16_t msgId);

}  // namespace tavro::data
