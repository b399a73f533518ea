#pragma once
// Everything a step of the command engine works on: the three platform
// outputs, the texts and boxes, the run log, and the state records. The
// window model owns one Context; the engine's units are free functions that
// take it.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "data/package.hpp"
#include "data/program_dir_lock.hpp"
#include "data/run_log.hpp"
#include "engine/device_info.hpp"
#include "engine/link_state.hpp"
#include "engine/operation.hpp"
#include "engine/stage_summary.hpp"
#include "link/frame.hpp"
#include "link/frame_assembler.hpp"
#include "link/serial_link.hpp"
#include "platform/control_ids.hpp"
#include "platform/control_table.hpp"
#include "platform/loop.hpp"
#include "platform/messages.hpp"
#include "platform/screen.hpp"

namespace tavro::engine {

// When the silence watch resends a command's block. The watch looks the
// command up twice, the second time after the first group's resend, so a
// resend that moves CmdID on into the second group resends that one too.
enum class SilenceResend { kFirstGroup, kSecondGroup };

// Handlers keyed by message or command identifier. Units register their rows;
// an identifier without a row does nothing.
struct HandlerTables {
  // Reply handlers by MsgID; they get the frame's payload (DataLen bytes).
  std::map<std::uint16_t, std::function<void(link::ByteView)>> onMessage;
  // First frame of a command, by CmdID.
  std::map<std::uint32_t, std::function<void()>> sendFirst;
  // Commands that send nothing and await no answer: StartCommand runs the
  // action after its checks (the completion of a download).
  std::map<std::uint32_t, std::function<void()>> runAtOnce;
  // What the terminal needs after a frame of the command failed its CRC.
  std::map<std::uint32_t, std::function<void()>> resendAfterCrc;
  // Block senders by CmdID: the current block again (silence watch, receive
  // time-out, hello while identified).
  std::map<std::uint32_t, std::function<void()>> blockSender;
  // Commands whose block the silence watch sends again.
  std::map<std::uint32_t, SilenceResend> silenceResend;
};

// A read the running step asked for: where, how much, and the step that
// runs once its last block is acknowledged and the pacing timer has run.
// The command's first frame is built from it, so one command serves a
// 32-byte header read and a whole-E2PROM read alike.
struct ReadRequest {
  std::uint32_t address = 0;
  std::uint32_t length = 0;
  std::function<void()> onDone;
};

// What the echo of received bytes knows of the information text: its length
// in UTF-16 units as of the text's revision.
struct EchoCount {
  std::uint64_t revision = ~std::uint64_t{0};
  std::size_t units = 0;
  // Received bytes that may still turn out to be a frame's start.
  std::string held;
};

// The serial port as the window keeps it.
struct PortState {
  std::uint8_t number = 1;
  link::LineSettings line;
  bool open = false;  // the port counts as open for the user
};

// What an instance shows while it waits for the program directory's lock
// held by `holder` (link::LockHolderText).
std::string WaitingForLockText(platform::Messages& messages, const std::string& holder);

struct Context {
  Context(platform::Loop& loopIn, platform::Screen& screenIn, link::SerialLink& serialIn,
          platform::Messages& messagesIn, data::RunLog& runLogIn, std::string programDirIn)
      : loop(loopIn),
        screen(screenIn),
        serial(serialIn),
        messages(messagesIn),
        runLog(runLogIn),
        programDir(std::move(programDirIn)) {}

  platform::Loop& loop;
  platform::Screen& screen;
  link::SerialLink& serial;
  platform::Messages& messages;
  data::RunLog& runLog;
  std::string programDir;  // absolute, no trailing separator

  LinkState link;
  DeviceInfo device;
  data::PackageValues package;
  data::AreaTable areas{};
  platform::ControlTable controls;
  PortState port;
  link::FrameTemplate frameTemplate;
  link::FrameAssembler rx;
  std::uint8_t RxTextEcho = 1;
  EchoCount echo;
  HandlerTables handlers;
  OperationSlot operations;
  // The controls that start operations: none may start while one runs.
  std::vector<int> operationControls;
  ReadRequest read;
  StageSummary stages;

  // ---- texts and boxes
  std::string Text(std::string_view key) { return messages.Text(key); }
  // Shows the controls first, so the box never stands over stale texts.
  int MessageBox(const std::string& text, platform::MessageKind kind);

  // ---- run log
  bool DebugAtLeast(std::uint32_t level) const { return package.debugLevel >= level; }
  // Writes `text` when DebugLevel >= level (the log skips writes while closed).
  void Log(std::uint32_t level, std::string_view text);
  data::CommandCounters Counters() const;
  // A command-state block "<tag>, cmd=..." when DebugLevel >= level.
  void LogCommandState(std::uint32_t level, std::string_view tag,
                       data::CmdWord word = data::CmdWord::Cmd);

  // ---- frames
  // Builds a frame from the template and writes it, with its trace lines.
  void Send(std::uint16_t msgId, link::ByteView payload = {});
  void SendFrame(link::ByteView frame);

  // ---- controls
  void Refresh();  // hands the changed controls to the Screen
  std::string InfoText() const { return controls.Get(platform::kInfoText).text; }
  void SetInfoText(std::string text) { controls.SetText(platform::kInfoText, std::move(text)); }
  void AppendInfoText(const std::string& text) { controls.AppendText(platform::kInfoText, text); }

  // ---- paths
  std::string Path(std::string_view relative) const { return programDir + std::string(relative); }

  // ---- files shared with other instances on the program directory
  // The program directory's lock, for as long as the result lives: around
  // the change of a shared file and nothing more (never around a box). An
  // instance that has to wait says so on the screen and in the run log.
  data::ProgramDirLock LockSharedFiles();
};

}  // namespace tavro::engine
