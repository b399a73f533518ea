#include "engine/context.hpp"

#include "data/file_io.hpp"

namespace tavro::engine {

int Context::MessageBox(const std::string& text, platform::MessageKind kind) {
  Refresh();
  // An error that leaves a download record behind says how to go on from it.
  const std::optional<std::string> record = operations.ResumableRecord();
  if (kind == platform::kBoxError && record && data::FileExists(*record)) {
    return messages.MessageBox(text + "\r\n\r\n" + Text("Ext_ResumeHint"), kind);
  }
  return messages.MessageBox(text, kind);
}

void Context::Log(std::uint32_t level, std::string_view text) {
  if (DebugAtLeast(level))
    runLog.Write(text);
}

std::string WaitingForLockText(platform::Messages& messages, const std::string& holder) {
  std::string text = messages.Text("Ext_WaitingForLock");
  const std::size_t at = text.find("%1");
  if (at != std::string::npos)
    text.replace(at, 2, holder);
  return text;
}

data::ProgramDirLock Context::LockSharedFiles() {
  return data::ProgramDirLock(programDir, [this](const std::string& holder) {
    const std::string text = WaitingForLockText(messages, holder);
    Log(1, "\r\nDirLockWait: " + text);
    screen.ShowNotice(text);
  });
}

data::CommandCounters Context::Counters() const {
  return {link.CmdID, link.gOneCmdTime, link.gOverTimeNum, link.gFrameNum, link.gFrameSum};
}

void Context::LogCommandState(std::uint32_t level, std::string_view tag, data::CmdWord word) {
  if (DebugAtLeast(level))
    runLog.Write(data::FormatCommandState(tag, Counters(), word));
}

void Context::Send(std::uint16_t msgId, link::ByteView payload) {
  SendFrame(link::BuildFrame(msgId, payload, frameTemplate));
}

void Context::SendFrame(link::ByteView frame) {
  data::LogSentFrame(runLog, package.debugLevel, frame);
  serial.WriteFrame(frame);
}

void Context::Refresh() {
  if (controls.HasChanges())
    screen.ShowControls(controls.TakeChanges());
}

}  // namespace tavro::engine
