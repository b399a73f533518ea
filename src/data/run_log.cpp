#include "data/run_log.hpp"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "data/file_io.hpp"
#include "data/utf8_path.hpp"
#include "link/frame.hpp"
#include "link/time_stamp.hpp"

namespace tavro::data {

namespace {

void AppendHexByte(std::string& out, std::uint8_t byte) {
  char buf[8];
  std::snprintf(buf, sizeof buf, " %02X", byte);
  out += buf;
}

}  // namespace

std::string RunLog::PathFor(const std::string& programDir, std::time_t startTime,
                            std::uint32_t comPort, int attempt) {
  std::tm tm{};
  link::LocalTime(startTime, tm);
  char name[32];
  std::strftime(name, sizeof name, "%Y%m%d%H%M%S", &tm);
  std::string path = programDir + "/Backup/AppRunLog/" + name + "-COM" + std::to_string(comPort);
  if (attempt > 1)
    path += "-" + std::to_string(attempt);
  return path + ".txt";
}

bool RunLog::Open(const std::string& programDir, std::time_t startTime, std::uint32_t comPort) {
  Close();
  std::error_code ec;
  std::filesystem::create_directories(Utf8Path(programDir) / "Backup" / "AppRunLog", ec);
  // A failure to create the folders shows up as a failure to create the file.
  for (int attempt = 1; attempt <= kMaxNameAttempts && file_ == nullptr; ++attempt) {
    path_ = PathFor(programDir, startTime, comPort, attempt);
    // Created here or not at all, even when another instance creates the
    // same name at the same moment.
    file_ = CreateNewFile(path_);
    if (file_ == nullptr && errno != EEXIST)
      break;
  }
  if (file_ == nullptr)
    return false;
  Write("AppRunLog:\r\n");
  Write("\r\nCOM" + std::to_string(comPort));
  return true;
}

void RunLog::Write(std::string_view text) {
  if (file_ == nullptr)
    return;
  std::fwrite(text.data(), 1, text.size(), file_);
  std::fflush(file_);
}

void RunLog::Close() {
  if (file_ == nullptr)
    return;
  std::fclose(file_);
  file_ = nullptr;
}

std::string FormatCommandState(std::string_view tag, const CommandCounters& counters,
                               CmdWord word) {
  std::string out = "\r\n\r\n";
  out += tag;
  out += word == CmdWord::Cmd ? "\r\ncmd=" : "\r\nCmdID=";
  out += std::to_string(counters.cmd);
  out += "\r\ngOneCmdTime=" + std::to_string(counters.oneCmdTime);
  out += "\r\ngOverTimeNum=" + std::to_string(counters.overTimeNum);
  out += "\r\ngFrameNum=" + std::to_string(counters.frameNum);
  out += "\r\ngFrameSum=" + std::to_string(counters.frameSum);
  out += "\r\n";
  return out;
}

void LogSentFrame(RunLog& log, std::uint32_t debugLevel, link::ByteView frame) {
  if (debugLevel < kLogFrameIdsLevel)
    return;
  log.Write("\r\nS-MsgID=" + std::to_string(link::FrameMsgId(frame)) + "\r\n");
  if (debugLevel < kLogSentBytesLevel)
    return;
  std::string bytes;
  bytes.reserve(frame.size() * 3 + 4);
  for (std::uint8_t b : frame)
    AppendHexByte(bytes, b);
  bytes += "\r\n\r\n";
  log.Write(bytes);
}

void LogReceivedByte(RunLog& log, std::uint32_t debugLevel, std::uint8_t byte) {
  if (debugLevel < kLogReceivedBytesLevel)
    return;
  std::string text;
  AppendHexByte(text, byte);
  log.Write(text);
}

void LogReceivedFrame(RunLog& log, std::uint32_t debugLevel, std::uint16_t msgId) {
  if (debugLevel < kLogFrameIdsLevel)
    return;
  log.Write("\r\nR-MsgID=" + std::to_string(msgId) + "\r\n");
}

}  // namespace tavro::data
