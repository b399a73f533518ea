#pragma once
// Everything a step of the command engine works on: the three platform
// outputs, the texts and boxes, the run log, and the state records. The
// window model owns one Context; the engine's units are free functions that
// take it.

#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "data/package.hpp"
#include "data/run_log.hpp"
#include "engine/device_info.hpp"
#include "engine/link_state.hpp"
#include "link/frame.hpp"
#include "link/frame_assembler.hpp"
#include "link/serial_link.hpp"
#include "platform/control_ids.hpp"
#include "platform/control_table.hpp"
#include "platform/loop.hpp"
#include "platform/messages.hpp"
#include "platform/screen.hpp"

namespace tavro::engine {

// Handlers keyed by message or command identifier. Units register their rows;
// an identifier without a row does nothing.
struct HandlerTables {
  // Reply handlers by MsgID; they get the frame's payload (DataLen bytes).
  std::map<std::uint16_t, std::function<void(link::ByteView)>> onMessage;
  // First frame of a command, by CmdID.
  std::map<std::uint32_t, std::function<void()>> sendFirst;
  // What the terminal needs after a frame of the command failed its CRC.
  std::map<std::uint32_t, std::function<void()>> resendAfterCrc;
  // Block senders by CmdID: the current block again (silence watch, receive
  // time-out, hello while identified).
  std::map<std::uint32_t, std::function<void()>> blockSender;
  // The package and folder check every operation runs before it talks to the
  // terminal; true = go on. Set by the operations.
  std::function<bool()> fileSetCheck;
  // The handshake step of command 12002 (next parameter-header read).
  std::function<void()> handshakeStep;
  // The E2PROM header step that timer 8 runs after a read-back.
  std::function<void()> e2HeaderStep;
  // Saves a whole E2PROM image read back (the backup folder's E2.dat).
  std::function<void()> saveE2Image;
  // The resume check of an upgrade once the Flash headers are read.
  std::function<void()> resumeFlashCheck;
  // Where an identification goes on when it belongs to a running download,
  // upgrade or backup (the terminal was already identified).
  std::function<void()> continueIdentified;
};

// The serial port as the window keeps it.
struct PortState {
  std::uint8_t number = 1;
  link::LineSettings line;
  bool open = false;  // the port counts as open for the user
};

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
  HandlerTables handlers;

  // ---- texts and boxes
  std::string Text(std::string_view key) { return messages.Text(key); }
  // Shows the controls first, so the box never stands over stale texts.
  int MessageBox(const std::string& text, int kind);

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
};

}  // namespace tavro::engine
