// The received byte stream through the whole window model: frame assembly,
// the CRC check, dispatch and every reply handler registered, with the
// timers of the virtual loop running in between.
//
// Input layout:
//   byte 0   bits 0-2  how far a scripted identification goes first (0: idle
//                      with the port open, 1: View device information
//                      pressed, 2..6: the terminal's first replies played,
//                      7: a stage script, below)
//            bits 3-4  bootloader version the script announces
//            bit 5     the rest is raw bytes (0) or frame records (1)
//            bits 6-7  terminal type the script's link query reply gives
//   stage script (bits 0-2 = 7): bits 3-4 and 6-7 pick one of kStages. A
//            simulated terminal takes the window through Upgrade, Download
//            or Roll back until the stage's command reaches it for the
//            (byte 1 % 4 + 1)th time; then the terminal is taken off the
//            line and the rest of the input answers instead. The window
//            must be idle again once every time-out had its time.
//   raw:     byte 1 paces the clock (bits 0-5: bytes between advances,
//            bits 6-7: 16 ms steps per advance); every further byte is a
//            received byte.
//   records: a tag byte, then
//            00-BF  frame of reply kReplies[tag % n]: length byte (FF: a
//                   16-bit length follows), payload, good CRC
//            C0-DF  the same with a 16-bit message id from the input
//            E0-EF  clock advance by (byte + 1) * 16 ms
//            F0-F7  raw run: count byte, that many received bytes
//            F8-FB  a reply frame as for 00-BF whose CRC is broken
//            FC-FF  a user action: View device information, the port
//                   button, or the port's device removed or back
// Afterwards the clock runs on 20 s, so every time-out that was armed ends.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/ctavro_dlg.hpp"
#include "app/startup_sequence.hpp"
#include "chaos/bench.hpp"
#include "chaos/terminal_plan.hpp"
#include "data/file_io.hpp"
#include "data/ini_to_bin.hpp"
#include "fuzz_support.hpp"
#include "link/frame.hpp"
#include "link/messages.hpp"
#include "link/payloads.hpp"
#include "link/port_list.hpp"
#include "loop/virtual_loop.hpp"
#include "platform/control_ids.hpp"
#include "platform/loop.hpp"
#include "platform/messages.hpp"

#ifndef TAVRO_FUZZ_PACKAGE_DIR
#error "TAVRO_FUZZ_PACKAGE_DIR must name the package/ folder of the source tree"
#endif

namespace {

using namespace tavro;

// Every reply a terminal sends.
constexpr std::array<std::uint16_t, 32> kReplies = {
    link::MsgHello,           link::MsgRxTimeout,         link::MsgText,
    link::MsgBlUpgradeReady,  link::MsgBlBlockAck,        link::MsgBlHello,
    link::MsgLinkQueryReply,  link::MsgAppInfo,           link::MsgDataInfo,
    link::MsgNoDataInfo,      link::MsgAppBackupBlock,    link::MsgAppBackupNone,
    link::MsgParaBackupBlock, link::MsgParaIntegErr,      link::MsgParaUploadErr,
    link::MsgAppBlockAck,     link::MsgDataBackupState,   link::MsgGoBackResult,
    link::MsgParaBlockAck,    link::MsgParaDownloadState, link::MsgParaDownloadErr,
    link::MsgRamBlockAck,     link::MsgRunResult,         link::MsgFlashReadBlock,
    link::MsgFlashReadErr,    link::MsgFlashWriteAck,     link::MsgE2ReadBlock,
    link::MsgE2ReadErr,       link::MsgE2WriteAck,        link::MsgRamHello,
    link::MsgRamContinue,     link::MsgE2CheckResult};

// One of each bootloader class: Flash parameter areas below 0x230, E2PROM
// from there on.
constexpr std::array<std::uint16_t, 4> kBlVersions = {0x0150, 0x0205, 0x0221, 0x0230};
constexpr std::array<std::uint16_t, 4> kTerminalTypes = {0, 1, 2, 0xFFFF};

constexpr std::uint64_t kRunOutMs = 20000;

// Answers every box with its affirmative button, as a technician who
// clicks through would; draws nothing.
class AnsweringScreen : public platform::Screen {
 public:
  int ShowMessageBox(const platform::MessageBoxRequest& request) override {
    ++boxes;
    switch (request.kind) {
      case platform::kBoxYesNo:
        return platform::kButtonYes;
      case platform::kBoxNone:
        return platform::kNoButton;
      default:
        return platform::kButtonOk;
    }
  }
  void ShowControls(const std::vector<platform::ControlChange>&) override {}
  std::optional<std::string> ChooseFile(const std::string&) override { return std::nullopt; }
  void ShowNotice(const std::string&) override {}

  int boxes = 0;
};

// The line: opens every port, hands the fuzzer's bytes to the window and
// checks every frame the window sends.
class CheckingLink : public link::SerialLink {
 public:
  void SetByteHandler(ByteHandler onByte) override { onByte_ = std::move(onByte); }
  bool Open(std::uint32_t, const link::LineSettings&) override {
    open_ = true;
    return true;
  }
  bool StartWorker() override { return open_; }
  void WriteFrame(link::ByteView frame) override {
    ++written;
    // Whatever state the window is in, what it sends is a whole frame with a
    // good CRC (the resend request declares a shorter DataLen on purpose).
    FUZZ_CHECK(frame.size() >= link::kFrameOverhead);
    FUZZ_CHECK(frame.size() == std::size_t{link::GetU16(frame.data() + 2)} + 6);
    if (link::FrameMsgId(frame) != link::MsgResendRequest)
      FUZZ_CHECK(link::CheckReceivedCrc(frame) == link::CrcCheck::kGood);
  }
  void RequestStop() override { open_ = false; }
  void ForceStop() override { open_ = false; }
  bool IsOpen() const override { return open_; }

  void Deliver(link::ByteView bytes) {
    for (std::uint8_t b : bytes) {
      if (onByte_)
        onByte_(b);
    }
  }

  int written = 0;

 private:
  ByteHandler onByte_;
  bool open_ = false;
};

// The program directory of the sample package, made once per process.
const std::string& ProgramDir() {
  static const std::string dir = [] {
    const std::string root = fuzz::ScratchFolder() + "/program";
    const std::string package = TAVRO_FUZZ_PACKAGE_DIR;
    FUZZ_CHECK(data::CreateFolders(root));
    for (const char* folder : app::kProgramTree)
      FUZZ_CHECK(data::CreateFolder(root + folder));
    FUZZ_CHECK(data::CopyFileOverwrite(package + "/Language.ini", root + "/Language.ini"));
    FUZZ_CHECK(data::IniToBin(root + "/SwUpdate.ini", package + "/SwUpdate-source.ini"));
    const std::string version = "[DestPara]\r\nDestParaVer=0x00010000\r\n";
    FUZZ_CHECK(data::WriteFileAtomic(root + "/Data/DataVer.ini",
                                     std::vector<std::uint8_t>(version.begin(), version.end())));
    return root;
  }();
  return dir;
}

struct Window {
  Window()
      : dlg(loop, screen, serial, ProgramDir(), [this] {
          return portPresent ? std::vector<link::PortEntry>{{1, "/dev/fuzz", "COM1"}}
                             : std::vector<link::PortEntry>{};
        }) {
    FUZZ_CHECK(dlg.SetUpWindow());
    dlg.FinishWindowSetUp();
    dlg.OnButton(platform::kPortButton);
    FUZZ_CHECK(dlg.context().port.open);
  }

  void Frame(std::uint16_t msgId, const link::Bytes& payload) {
    serial.Deliver(link::BuildTerminalFrame(msgId, payload));
  }
  void Press(int button) {
    if (dlg.controls().Get(button).enabled)
      dlg.OnButton(button);
  }
  void Deliver(link::ByteView bytes) { serial.Deliver(bytes); }
  void Remove() {
    portPresent = false;
    dlg.OnDeviceRemoved();
  }
  void Back() { portPresent = true; }

  loop::VirtualLoop loop;
  AnsweringScreen screen;
  CheckingLink serial;
  bool portPresent = true;
  app::CTAVRODlg dlg;
};

// A read-back block of `data` in the long form, as the terminal answers a
// Flash or E2PROM read.
link::Bytes OneBlock(const link::Bytes& data) {
  return link::EncodeReadBackLong(0, 1, 0, data);
}

// The terminal's side of an identification, up to `steps` replies.
void PlayIdentification(Window& w, int steps, std::uint16_t blVersion, std::uint16_t terminalType) {
  if (steps >= 1)
    w.Press(platform::kDeviceInfoButton);
  if (steps >= 2) {
    link::BlHello hello;
    hello.chipNum = {'F', 'Z', '0', '1'};
    hello.companyNum = {'T', 'V', 'R', 'O'};
    hello.blVersion = blVersion;
    hello.sizeCode = 0x08;
    w.Frame(link::MsgBlHello, link::EncodeBlHello(hello));
  }
  if (steps >= 3)
    w.Frame(link::MsgHello, {});
  if (steps >= 4)
    w.Frame(link::MsgLinkQueryReply, link::StatusPayload(terminalType));
  if (steps >= 5) {
    link::AppInfo info;
    info.current.present = 1;
    info.current.version = 0x01020304;
    info.current.model = {'M', 'O', 'D', 'E', 'L', '-', 'A', '1'};
    info.backup = info.current;
    info.backup.version = 0x01020300;
    w.Frame(link::MsgAppInfo, link::EncodeAppInfo(info));
  }
  if (steps >= 6) {
    // An intact header: integrity word, version and model where the
    // identification reads them.
    link::Bytes header(64, 0);
    link::PutU16(header.data(), blVersion >= 0x230 ? 0x55AA : 0x0001);
    link::PutU32(header.data() + 6, 0x00010203);
    for (int i = 0; i < 8; ++i)
      header[10 + i] = static_cast<std::uint8_t>('P' + i);
    if (blVersion >= 0x230) {
      header.resize(32);
      w.Frame(link::MsgE2ReadBlock, OneBlock(header));
    } else {
      w.Frame(link::MsgFlashReadBlock, OneBlock(header));
    }
  }
}

link::Bytes Payload(fuzz::Input& in) {
  std::size_t length = in.Byte();
  if (length == 0xFF)
    length = in.U16();
  const auto bytes = in.Take(length);
  return link::Bytes(bytes.begin(), bytes.end());
}

template <typename W>
void RunRecords(W& w, fuzz::Input& in) {
  while (!in.Empty()) {
    const std::uint8_t tag = in.Byte();
    if (tag < 0xC0) {
      const std::uint16_t id = kReplies[tag % kReplies.size()];
      w.Frame(id, Payload(in));
    } else if (tag < 0xE0) {
      const std::uint16_t id = in.U16();
      w.Frame(id, Payload(in));
    } else if (tag < 0xF0) {
      w.loop.Advance((std::uint64_t{in.Byte()} + 1) * 16);
    } else if (tag < 0xF8) {
      w.Deliver(in.Take(in.Byte()));
    } else if (tag < 0xFC) {
      const std::uint16_t id = kReplies[in.Byte() % kReplies.size()];
      const link::Bytes payload = Payload(in);
      link::Bytes frame = link::BuildTerminalFrame(id, payload);
      frame[link::kPayloadOffset + payload.size()] ^= 0x01;
      w.Deliver(frame);
    } else {
      switch (in.Byte() % 4) {
        case 0:
          w.Press(platform::kDeviceInfoButton);
          break;
        case 1:
          w.Press(platform::kPortButton);
          break;
        case 2:
          w.Remove();
          break;
        default:
          w.Back();
          break;
      }
    }
  }
}

template <typename W>
void RunRaw(W& w, fuzz::Input& in) {
  const std::uint8_t pace = in.Byte();
  const std::size_t chunk = 1 + (pace & 0x3F);
  const std::uint64_t stepMs = 16 * (1 + (pace >> 6));
  while (!in.Empty()) {
    w.Deliver(in.Take(chunk));
    w.loop.Advance(stepMs);
  }
}

// ---- stage scripts -----------------------------------------------------------

// A stage of a download, an upgrade, a backup or a roll back, and the
// command from the PC that shows the window has got there.
struct Stage {
  const char* name;
  std::uint16_t blVersion;
  bool resource;       // the package carries a resource image
  bool newBootloader;  // the package moves the data into E2PROM
  int button;
  std::uint16_t reached;  // 0: the completion's box
};

constexpr Stage kStages[] = {
    {"App", 0x0215, false, false, platform::kUpgradeButton, link::MsgAppBlock},
    {"Flash areas", 0x0215, false, false, platform::kUpgradeButton, link::MsgParaBlock},
    {"E2PROM", 0x0230, false, false, platform::kUpgradeButton, link::MsgE2WriteBlock},
    {"resources", 0x0215, true, false, platform::kDownloadButton, link::MsgFlashWriteBlock},
    {"RAM loader", 0x0225, false, true, platform::kUpgradeButton, link::MsgRamBlock},
    {"bootloader", 0x0225, false, true, platform::kUpgradeButton, link::MsgBlImageBlock},
    {"E2PROM copy", 0x0230, false, false, platform::kDownloadButton, link::MsgFlashWriteBlock},
    {"marker", 0x0205, false, false, platform::kDownloadButton, link::MsgFlashWriteBlock},
    {"run report", 0x0215, false, false, platform::kUpgradeButton, 0},
    {"roll back", 0x0215, false, false, platform::kRollBackAction, link::MsgGoBack},
    {"App read-back", 0x0215, false, false, platform::kBackupButton, link::MsgAppBackupAck},
    {"area read-back", 0x0215, false, false, platform::kBackupButton, link::MsgParaBackupAck},
    {"E2PROM read-back", 0x0230, false, false, platform::kBackupButton, link::MsgE2ReadAck},
    {"data backup wait", 0x0215, false, false, platform::kUpgradeButton, link::MsgAppDownloadStart},
    {"data download start", 0x0215, false, false, platform::kDownloadButton,
     link::MsgParaDownloadStart},
    {"E2PROM resume", 0x0230, false, false, platform::kUpgradeButton, link::MsgE2Read},
};

chaos::TerminalPlan StagePlan(const Stage& stage) {
  chaos::TerminalPlan plan;
  plan.blVersion = stage.blVersion;
  plan.areaData = stage.newBootloader ? std::vector<std::size_t>{120, 90}
                                      : std::vector<std::size_t>{1500, 4200};
  plan.terminalApp = 5000;
  plan.packageApp = 6000;
  plan.resource = stage.resource ? 5000 : 0;
  plan.newBootloader = stage.newBootloader;
  return plan;
}

// The window with a simulated terminal until the stage is reached, then
// the fuzzer's bytes instead of the terminal.
struct StageWindow {
  StageWindow(const Stage& stage, std::uint32_t nth)
      : plan(StagePlan(stage)), bench(plan, chaos::MakeTerminal(plan), TAVRO_FUZZ_PACKAGE_DIR) {
    FUZZ_CHECK(bench.Start());
    FUZZ_CHECK(data::WriteFileAtomic(bench.dir() + "/QZDownload.bin", link::Bytes(16, 0)));
    bench.window().OnButton(stage.button);
    const std::string completed = bench.Text("Dis_DevRestart");
    reached = bench.loop.RunUntil(
        [&] {
          if (stage.reached == 0) {
            const auto& boxes = bench.screen.boxes();
            return std::find(boxes.begin(), boxes.end(), completed) != boxes.end();
          }
          return bench.terminal().ReceivedCount(stage.reached) >= nth;
        },
        1800000);
    bench.tap->Detach();
    bench.tap->Record(true);
  }

  void Frame(std::uint16_t msgId, const link::Bytes& payload) {
    Deliver(link::BuildTerminalFrame(msgId, payload));
  }
  void Deliver(link::ByteView bytes) { bench.tap->Deliver(bytes); }
  void Press(int button) {
    if (bench.window().controls().Get(button).enabled)
      bench.window().OnButton(button);
  }
  void Remove() { bench.Unplug(); }
  void Back() { bench.Replug(); }

  chaos::TerminalPlan plan;
  chaos::Bench bench;
  loop::VirtualLoop& loop = bench.loop;
  bool reached = false;
};

void RunStage(std::uint8_t mode, fuzz::Input& in) {
  const std::size_t pick = ((mode >> 3) & 0x03) | ((mode >> 4) & 0x0C);
  const Stage& stage = kStages[pick % std::size(kStages)];
  const std::uint32_t nth = in.Byte() % 4 + 1;
  auto window = std::make_unique<StageWindow>(stage, nth);
  StageWindow& w = *window;
  if ((mode & 0x20) != 0) {
    RunRecords(w, in);
  } else {
    RunRaw(w, in);
  }
  // Every time-out armed has had its time: the longest is two minutes.
  w.loop.Advance(kRunOutMs + 180000);
  static const bool trace = std::getenv("TAVRO_FUZZ_TRACE") != nullptr;
  if (trace) {
    std::fprintf(stderr, "stage %s (#%u) %s, boxes %zu, last: %s\ntimers running:", stage.name, nth,
                 w.reached ? "reached" : "not reached", w.bench.screen.boxes().size(),
                 w.bench.screen.boxes().empty() ? "" : w.bench.screen.boxes().back().c_str());
    for (int id = 1; id <= platform::kLastTimer; ++id) {
      if (w.loop.TimerRunning(id))
        std::fprintf(stderr, " %d", id);
    }
    const auto log = data::ReadWholeFile(w.bench.window().runLog().Path());
    std::fprintf(stderr, "\nrun log:\n%s\n",
                 log ? std::string(log->begin(), log->end()).c_str() : "");
  }
  FUZZ_CHECK(!w.loop.Faulted());
  FUZZ_CHECK(w.bench.Idle());
  FUZZ_CHECK(w.bench.window().context().rx.StoredCount() <= link::kMaxRxFrame);
  for (const link::Bytes& frame : w.bench.tap->TakeFrames()) {
    FUZZ_CHECK(frame.size() >= link::kFrameOverhead);
    FUZZ_CHECK(frame.size() == std::size_t{link::GetU16(frame.data() + 2)} + 6);
    if (link::FrameMsgId(frame) != link::MsgResendRequest)
      FUZZ_CHECK(link::CheckReceivedCrc(frame) == link::CrcCheck::kGood);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  const std::uint8_t mode = in.Byte();
  if ((mode & 0x07) == 0x07) {
    RunStage(mode, in);
    return 0;
  }

  auto window = std::make_unique<Window>();
  Window& w = *window;
  PlayIdentification(w, mode & 0x07, kBlVersions[(mode >> 3) & 0x03], kTerminalTypes[mode >> 6]);
  if ((mode & 0x20) != 0) {
    RunRecords(w, in);
  } else {
    RunRaw(w, in);
  }
  w.loop.Advance(kRunOutMs);

  // A callback that re-arms itself at one instant would hang the window.
  FUZZ_CHECK(!w.loop.Faulted());
  FUZZ_CHECK(w.dlg.context().rx.StoredCount() <= link::kMaxRxFrame);
  // Where an input got to, for whoever writes seeds.
  static const bool trace = std::getenv("TAVRO_FUZZ_TRACE") != nullptr;
  if (trace) {
    std::fprintf(stderr, "frames sent %d, boxes %d, CmdID %u, info:\n%s\n", w.serial.written,
                 w.screen.boxes, static_cast<unsigned>(w.dlg.context().link.CmdID),
                 w.dlg.context().InfoText().c_str());
  }
  w.dlg.Close();
  return 0;
}
