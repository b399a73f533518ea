// Each download transfer against the simulated terminal, started as the
// download stages start it once the terminal is identified: what arrives in
// the terminal's memory, how refusals, silence and the terminal's own states
// are handled, and how the run ends.

#include <gtest/gtest.h>

#include "data/download_record.hpp"
#include "data/file_io.hpp"
#include "data/ini_file.hpp"
#include "engine/download_stage.hpp"
#include "engine/stage_control.hpp"
#include "link/messages.hpp"
#include "operations/download.hpp"
#include "operations/download_setup.hpp"
#include "operations/roll_back.hpp"
#include "platform/control_ids.hpp"
#include "scenarios/scenario.hpp"
#include "sim/device_factory.hpp"

namespace tavro::test {
namespace {

link::Bytes Counting(std::size_t size, std::uint8_t seed) {
  link::Bytes b(size);
  for (std::size_t i = 0; i < size; ++i)
    b[i] = static_cast<std::uint8_t>(seed + i * 7);
  return b;
}

// An identified terminal and a program directory ready for the stages.
struct DownloadRun {
  explicit DownloadRun(const sim::DeviceSpec& spec, const sim::Behaviour& behaviour = {},
                       const sim::Faults& faults = {})
      : s(spec, behaviour, faults) {}

  bool Connect() {
    if (!s.Start().packageReady || !s.Press(platform::kDeviceInfoButton))
      return false;
    const bool clean = s.screen.boxes().empty();
    s.screen.Clear();
    engine::LinkState& l = s.ctx().link;
    l.OperationTime = s.loop.WallTime();
    l.DownloadApp = 0;
    l.DownloadData = 0;
    l.ParaPath = s.dir.PathOf(s.ctx().device.BlVersion >= 0x230 ? "Data/InitData/E2prom"
                                                                : "Data/InitData/Flash");
    return clean && data::CreateFolders(*l.ParaPath);
  }
  bool Put(const std::string& relative, const link::Bytes& bytes) {
    const std::string path = s.dir.PathOf(relative);
    return data::CreateFolders(path.substr(0, path.rfind('/'))) &&
           data::WriteFileAtomic(path, bytes);
  }
  // Starts `cmd` as the stages do and runs until the window is idle again.
  // A download with `record` as its download record.
  void InstallDownload(std::optional<data::DownloadRecordPaths> record) {
    const auto download = operations::MakeDownload();
    auto* transfer = dynamic_cast<operations::TransferOperation*>(download.get());
    ASSERT_NE(transfer, nullptr);
    transfer->state().record = std::move(record);
    s.ctx().operations.Install(download);
  }
  bool Run(std::uint32_t cmd, std::uint64_t limitMs = 600000,
           std::optional<data::DownloadRecordPaths> record = std::nullopt) {
    InstallDownload(std::move(record));
    s.ctx().link.CmdID = cmd;
    engine::StartCommand(s.ctx());
    return s.loop.RunUntil(
        [this] { return s.dlg->controls().Get(platform::kDeviceInfoButton).enabled; }, limitMs);
  }
  bool RunStages(std::uint64_t limitMs = 600000,
                 std::optional<data::DownloadRecordPaths> record = std::nullopt) {
    InstallDownload(std::move(record));
    engine::NextDownloadStage(s.ctx());
    return s.loop.RunUntil(
        [this] { return s.dlg->controls().Get(platform::kDeviceInfoButton).enabled; }, limitMs);
  }
  const sim::Device& device() { return s.terminal().device(); }
  std::uint32_t Received(std::uint16_t ackId) const { return s.SentDuringPress(ackId); }

  Scenario s;
};

TEST(AppDownload, WholeBlocksGiveOneBlockMoreAndTheTerminalHoldsTheFile) {
  DownloadRun r(PackageDevice(0x0215, 1));
  ASSERT_TRUE(r.Connect());
  const link::Bytes app = sim::MakeAppFile(0x01000300, "TR100", 3 * 4096);
  ASSERT_TRUE(r.Put("SW/Flash/App.bin", app));
  r.s.ctx().link.DownloadApp = 1;
  ASSERT_TRUE(r.RunStages());
  EXPECT_EQ(r.s.BoxTexts(), std::vector<std::string>{r.s.Text("Dis_DevRestart")});
  EXPECT_EQ(r.device().app.image, app);
  EXPECT_EQ(r.device().app.fileLength, app.size());
  EXPECT_EQ(r.Received(link::MsgAppBlockAck), 4u) << "the header and three full blocks";
  // The terminal restarts and reports that its new App runs.
  r.s.loop.Advance(10000);
  EXPECT_EQ(r.s.BoxTexts().back(), r.s.Text("Run_RunOk"));
  EXPECT_EQ(r.s.ctx().link.LinkUp, 0);
}

TEST(AppDownload, AnE2promTerminalTakesItsAppFromItsOwnFolder) {
  DownloadRun r(PackageDevice(0x0230, 1));
  ASSERT_TRUE(r.Connect());
  const link::Bytes app = sim::MakeAppFile(0x01000300, "TR100", 1);
  ASSERT_TRUE(r.Put("SW/E2prom/App.bin", app));
  ASSERT_TRUE(r.Put("SW/Flash/Other.bin", sim::MakeAppFile(0x09000000, "XX", 100)));
  r.s.ctx().link.DownloadApp = 1;
  ASSERT_TRUE(r.RunStages());
  EXPECT_EQ(r.device().app.image, app);
  EXPECT_EQ(r.Received(link::MsgAppBlockAck), 2u) << "the header and one block of one byte";
}

// A terminal may answer the start with its hello, or cut a block short and
// ask for it again: the blocks go on and the App arrives whole.
TEST(AppDownload, AHelloForTheStartAndACutBlockStillBringTheAppWhole) {
  sim::Behaviour behaviour;
  behaviour.appStartStates = {false, true, {}};
  sim::Faults faults;
  faults.rxTimeoutOn = {true, link::MsgAppBlock, 3};
  faults.rxTimeoutBurst = 1;
  DownloadRun r(PackageDevice(0x0215, 1), behaviour, faults);
  ASSERT_TRUE(r.Connect());
  const std::uint32_t hellos = r.s.terminal().SentCount(link::MsgHello);
  const link::Bytes app = sim::MakeAppFile(0x01000300, "TR100", 4 * 4096 + 7);
  ASSERT_TRUE(r.Put("SW/Flash/App.bin", app));
  r.s.ctx().link.DownloadApp = 1;
  ASSERT_TRUE(r.RunStages());
  EXPECT_EQ(r.s.BoxTexts(), std::vector<std::string>{r.s.Text("Dis_DevRestart")});
  EXPECT_EQ(r.device().app.image, app);
  EXPECT_EQ(r.Received(link::MsgRxTimeout), 1u);
  EXPECT_EQ(r.s.terminal().SentCount(link::MsgHello), hellos + 1)
      << "the start was answered with the hello";
}

TEST(AppDownload, RefusalsAreRetriedFourTimesThenTheDownloadGivesUp) {
  for (std::uint32_t refusals : {4u, 5u}) {
    SCOPED_TRACE(refusals);
    sim::Faults faults;
    faults.refuseEnabled = true;
    faults.refuseMsgId = link::MsgAppBlock;
    faults.refuseBlock = 1;
    faults.refuseTimes = refusals;
    DownloadRun r(PackageDevice(0x0215, 1), {}, faults);
    ASSERT_TRUE(r.Connect());
    const link::Bytes app = sim::MakeAppFile(0x01000300, "TR100", 5000);
    ASSERT_TRUE(r.Put("SW/Flash/App.bin", app));
    r.s.ctx().link.DownloadApp = 1;
    ASSERT_TRUE(r.RunStages());
    if (refusals == 4) {
      EXPECT_EQ(r.device().app.image, app);
    } else {
      EXPECT_EQ(r.s.BoxTexts(), std::vector<std::string>{"Flash" + r.s.Text("Run_ErrNumOver")});
      EXPECT_NE(r.device().app.image, app);
      EXPECT_TRUE(r.s.ctx().link.buffers.sendImage.empty());
    }
  }
}

TEST(AppDownload, AFailedTerminalBackupIsTheTechniciansDecision) {
  for (int answer : {platform::kButtonYes, platform::kButtonNo}) {
    SCOPED_TRACE(answer);
    sim::Behaviour behaviour;
    behaviour.appStartStates = {false, false, {4}};
    DownloadRun r(PackageDevice(0x0215, 1), behaviour);
    ASSERT_TRUE(r.Connect());
    const link::Bytes app = sim::MakeAppFile(0x01000300, "TR100", 5000);
    ASSERT_TRUE(r.Put("SW/Flash/App.bin", app));
    r.s.ctx().link.DownloadApp = 1;
    r.s.screen.answers().Queue(answer);
    ASSERT_TRUE(r.RunStages());
    ASSERT_FALSE(r.s.screen.boxes().empty());
    EXPECT_EQ(r.s.screen.boxes()[0].text, r.s.Text("F_BackupErr"));
    EXPECT_EQ(r.s.screen.boxes()[0].kind, platform::kBoxYesNo);
    EXPECT_EQ(r.device().app.image == app, answer == platform::kButtonYes);
  }
}

TEST(AppDownload, AMissingImageStopsBeforeAnythingIsSent) {
  DownloadRun r(PackageDevice(0x0215, 1));
  ASSERT_TRUE(r.Connect());
  r.s.ctx().link.DownloadApp = 1;
  ASSERT_TRUE(r.RunStages());
  EXPECT_EQ(r.s.BoxTexts(),
            std::vector<std::string>{r.s.dir.PathOf("SW/Flash") + r.s.Text("F_AppFile") +
                                     r.s.Text("F_NotExist") + r.s.Text("Sw_UpdateStop")});
  EXPECT_EQ(r.Received(link::MsgAppBlockAck), 0u);
}

TEST(AppDownload, ASilentTerminalGetsTheBlockTwiceThenTheDownloadEnds) {
  sim::Faults faults;
  faults.silenceAfter = {true, link::MsgAppBlock, 3};
  DownloadRun r(PackageDevice(0x0215, 1), {}, faults);
  ASSERT_TRUE(r.Connect());
  ASSERT_TRUE(r.Put("SW/Flash/App.bin", sim::MakeAppFile(0x01000300, "TR100", 5 * 4096)));
  r.s.ctx().link.DownloadApp = 1;
  ASSERT_TRUE(r.RunStages());
  EXPECT_EQ(r.s.BoxTexts(), std::vector<std::string>{r.s.Text("Run_ConnectOverTime")});
  EXPECT_EQ(r.s.ctx().link.LinkUp, 0);
}

TEST(FlashDataDownload, EveryFileArrivesStampedAndIsRecordedWhenWhole) {
  DownloadRun r(PackageDevice(0x0215, 1));
  ASSERT_TRUE(r.Connect());
  std::vector<link::Bytes> files;
  for (std::size_t i = 0; i < 5; ++i) {
    // Sizes of one to five blocks, as far as each area has room.
    const std::size_t room = r.device().para[i].primary.capacity - 512;
    files.push_back(sim::MakeParaImage(i, 0x01030000, "TR100", std::min(4096 * i + 100, room), {}));
    ASSERT_TRUE(r.Put("Data/InitData/Flash/" + std::to_string(i + 1) + ".dat", files.back()));
  }
  engine::LinkState& l = r.s.ctx().link;
  const data::DownloadRecord record = data::CreateDownloadRecord(
      r.s.dir.Path(), 1, l.OperationTime, *l.ParaPath, data::ParaForm::kFlash, 5);
  ASSERT_TRUE(record.result.ok());
  l.DownloadData = 1;
  // Files 1 to 3 take at most three blocks: refusing block 3 for good stops
  // in file 4.
  r.s.terminal().faults().refuseEnabled = true;
  r.s.terminal().faults().refuseMsgId = link::MsgParaBlock;
  r.s.terminal().faults().refuseBlock = 3;
  r.s.terminal().faults().refuseTimes = 5;
  ASSERT_TRUE(r.RunStages(600000, record.paths));
  EXPECT_EQ(r.s.BoxTexts(), std::vector<std::string>{"Flash" + r.s.Text("Run_ErrNumOver")});
  const auto key = [&](const std::string& path, const char* name) {
    return data::CIni(path).GetString("Para", name, "?");
  };
  for (const std::string& path : {record.paths.record, record.paths.copy}) {
    EXPECT_EQ(key(path, "1.dat"), "1");
    EXPECT_EQ(key(path, "3.dat"), "1");
    EXPECT_EQ(key(path, "4.dat"), "0") << "its last blocks were never accepted";
    EXPECT_EQ(key(path, "5.dat"), "0");
  }

  // Again, to the end: every area as sent, stamped with the operation's time.
  r.s.terminal().faults().refuseEnabled = false;
  r.s.screen.Clear();
  l.DownloadData = 1;
  ASSERT_TRUE(r.Run(link::MsgParaDownloadStart, 600000, record.paths));
  EXPECT_EQ(r.s.BoxTexts(), std::vector<std::string>{r.s.Text("Dis_DevRestart")});
  const link::TimeStamp when = link::LocalTimeStamp(static_cast<std::time_t>(l.OperationTime));
  for (std::size_t i = 0; i < 5; ++i) {
    const link::Bytes& area = r.device().para[i].primary.bytes;
    ASSERT_EQ(area.size(), files[i].size()) << i;
    EXPECT_TRUE(std::equal(files[i].begin() + 512, files[i].end(), area.begin() + 512)) << i;
    EXPECT_EQ(link::GetU32(area.data() + 2), files[i].size() - 512) << i;
    EXPECT_EQ(link::GetU16(area.data() + 56), when.year) << i;
    EXPECT_EQ(area[62], when.second) << i;
  }
  EXPECT_FALSE(data::FileExists(record.paths.record)) << "the completion removes the record";
}

TEST(FlashDataDownload, MissingFilesAreSkippedAndNoneLeftEndsTheStage) {
  DownloadRun r(PackageDevice(0x0215, 1));
  ASSERT_TRUE(r.Connect());
  const link::Bytes two = sim::MakeParaImage(1, 0x01030000, "TR100", 300, {});
  ASSERT_TRUE(r.Put("Data/InitData/Flash/2.dat", two));
  r.s.ctx().link.DownloadData = 1;
  ASSERT_TRUE(r.RunStages());
  EXPECT_EQ(r.s.BoxTexts(), std::vector<std::string>{r.s.Text("Dis_DevRestart")});
  EXPECT_EQ(r.device().para[1].primary.bytes.size(), two.size());

  // Nothing at all to send: straight to the completion, nothing read past
  // the area table.
  r.s.screen.Clear();
  ASSERT_TRUE(data::RemoveFile(r.s.dir.PathOf("Data/InitData/Flash/2.dat")));
  r.s.ctx().link.DownloadData = 1;
  ASSERT_TRUE(r.Run(link::MsgParaDownloadStart));
  EXPECT_EQ(r.s.BoxTexts(), std::vector<std::string>{r.s.Text("Dis_DevRestart")});
}

TEST(FlashDataDownload, AFileWithoutItsWholeHeaderIsNeverSent) {
  DownloadRun r(PackageDevice(0x0215, 1));
  ASSERT_TRUE(r.Connect());
  const link::Bytes before = r.device().para[0].primary.bytes;
  ASSERT_TRUE(r.Put("Data/InitData/Flash/1.dat", link::Bytes(511, 1)));
  r.s.ctx().link.DownloadData = 1;
  ASSERT_TRUE(r.RunStages());
  EXPECT_EQ(r.s.BoxTexts(), std::vector<std::string>{r.s.dir.PathOf("Data/InitData/Flash/1.dat") +
                                                     r.s.Text("F_ReadInErr")});
  EXPECT_EQ(r.device().para[0].primary.bytes, before);
}

TEST(E2promDataDownload, SixteenFullBlocksAfterTheFlashCopy) {
  DownloadRun r(PackageDevice(0x0230, 1));
  ASSERT_TRUE(r.Connect());
  const link::Bytes e2 = sim::MakeE2Image(0x01030000, "TR100", {});
  ASSERT_EQ(e2.size(), 65536u);
  ASSERT_TRUE(r.Put("Data/InitData/E2prom/E2.dat", e2));
  engine::LinkState& l = r.s.ctx().link;
  l.DownloadData = 1;
  l.FlashCopyPending = 1;
  ASSERT_TRUE(r.RunStages());
  EXPECT_EQ(r.s.BoxTexts(), std::vector<std::string>{r.s.Text("Dis_DevRestart")});
  EXPECT_EQ(r.Received(link::MsgE2WriteAck), 16u);
  const link::Bytes& written = r.device().e2prom;
  ASSERT_EQ(written.size(), e2.size());
  EXPECT_TRUE(std::equal(e2.begin() + 32, e2.end(), written.begin() + 32));
  const link::TimeStamp when = link::LocalTimeStamp(static_cast<std::time_t>(l.OperationTime));
  EXPECT_EQ(link::GetU16(written.data() + 18), when.year);
  EXPECT_EQ(written[24], when.second);
  const link::Bytes& copy = r.device().e2Copy.bytes;
  ASSERT_GE(copy.size(), e2.size());
  EXPECT_EQ(link::GetU16(copy.data()), 0xAA55) << "marked as a valid copy";
  EXPECT_TRUE(std::equal(e2.begin() + 32, e2.end(), copy.begin() + 32));
}

TEST(E2promDataDownload, AnImageShorterThanItsHeaderOrMissingEndsAtOnce) {
  for (bool present : {true, false}) {
    SCOPED_TRACE(present);
    DownloadRun r(PackageDevice(0x0230, 1));
    ASSERT_TRUE(r.Connect());
    const std::string path = r.s.dir.PathOf("Data/InitData/E2prom/E2.dat");
    if (present) {
      ASSERT_TRUE(r.Put("Data/InitData/E2prom/E2.dat", link::Bytes(31, 1)));
    }
    r.s.ctx().link.DownloadData = 1;
    const std::uint64_t started = r.s.loop.NowMs();
    ASSERT_TRUE(r.RunStages());
    EXPECT_LT(r.s.loop.NowMs() - started, 1000u) << "no wait for an answer time-out";
    EXPECT_EQ(r.s.BoxTexts(),
              std::vector<std::string>{path + r.s.Text(present ? "F_ReadInErr" : "F_NotExist")});
    EXPECT_EQ(r.Received(link::MsgE2WriteAck), 0u);
  }
}

TEST(ResourceDownload, OneImageIsSentThenTheAppStage) {
  DownloadRun r(PackageDevice(0x0215, 1));
  ASSERT_TRUE(r.Connect());
  const link::Bytes rom = Counting(8192 + 3, 5);  // odd: the last block is padded
  ASSERT_TRUE(r.Put("Data/Res/a.rom", rom));
  ASSERT_TRUE(r.Put("Data/Res/b.rom", Counting(100, 9)));
  const link::Bytes app = sim::MakeAppFile(0x01000300, "TR100", 5000);
  ASSERT_TRUE(r.Put("SW/Flash/App.bin", app));
  r.s.ctx().link.DownloadApp = 1;
  ASSERT_TRUE(r.RunStages());
  EXPECT_EQ(r.s.BoxTexts(), std::vector<std::string>{r.s.Text("Dis_DevRestart")});
  EXPECT_EQ(r.Received(link::MsgFlashWriteAck), 3u);
  const link::Bytes& flash = r.device().resource.bytes;
  ASSERT_GE(flash.size(), rom.size());
  EXPECT_TRUE(std::equal(rom.begin(), rom.end(), flash.begin()));
  EXPECT_EQ(r.device().app.image, app);
}

TEST(MarkerWrite, OneBlockAtTheMarkerAddressThenTheAppInformation) {
  DownloadRun r(PackageDevice(0x0215, 1));
  ASSERT_TRUE(r.Connect());
  const std::uint32_t infos = r.s.terminal().SentCount(link::MsgAppInfo);
  r.s.ctx().link.CmdID = link::MsgFlashWriteBlock;
  engine::StartCommand(r.s.ctx());
  ASSERT_TRUE(r.s.loop.RunUntil(
      [&] { return r.s.terminal().SentCount(link::MsgAppInfo) == infos + 1; }, 10000));
  const link::Bytes& marker = r.device().marker.bytes;
  ASSERT_GE(marker.size(), 44u);
  EXPECT_EQ(marker[0], 0xFF);
  EXPECT_EQ(marker[1], 0xFF);
  EXPECT_EQ(marker[2], 0);
  EXPECT_EQ(r.s.ctx().link.CmdID, link::MsgReadAppInfo);
}

// Every block transfer: a terminal that falls silent gets the block again at
// 8 and 16 seconds, and the download ends at 18 with the link down.
TEST(DownloadSilence, EveryStageResendsTwiceThenEnds) {
  struct Case {
    const char* what;
    std::uint16_t blVersion;
    std::uint16_t blockId;
    std::uint32_t stage;
  };
  const Case cases[] = {
      {"Flash data", 0x0215, link::MsgParaBlock, link::MsgParaDownloadStart},
      {"E2PROM data", 0x0230, link::MsgE2WriteBlock, link::MsgE2WriteBlock},
      {"resources", 0x0215, link::MsgFlashWriteBlock, link::CmdResource},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::Faults faults;
    faults.silenceAfter = {true, c.blockId, 2};
    DownloadRun r(PackageDevice(c.blVersion, 1), {}, faults);
    ASSERT_TRUE(r.Connect());
    ASSERT_TRUE(r.Put("Data/Res/r.rom", Counting(3 * 4096, 1)));
    ASSERT_TRUE(r.Put("Data/InitData/E2prom/E2.dat", sim::MakeE2Image(0x01030000, "TR100", {})));
    ASSERT_TRUE(
        r.Put("Data/InitData/Flash/1.dat", sim::MakeParaImage(0, 0x01030000, "TR100", 5000, {})));
    r.s.ctx().link.DownloadData = 1;
    // The silent terminal takes in nothing: what the PC wrote beyond what the
    // terminal took are the resends.
    std::uint64_t taken = 0;
    r.s.terminal().SetTrace([&](std::uint64_t, char d, link::ByteView, std::string_view) {
      taken += d == '<' ? 1 : 0;
    });
    const std::uint64_t writtenBefore = r.s.rig->wire().FramesWritten();
    const std::uint64_t started = r.s.loop.NowMs();
    ASSERT_TRUE(r.Run(c.stage));
    EXPECT_EQ(r.s.BoxTexts(), std::vector<std::string>{r.s.Text("Run_ConnectOverTime")});
    EXPECT_EQ(r.s.rig->wire().FramesWritten() - writtenBefore - taken, 2u);
    EXPECT_GE(r.s.loop.NowMs() - started, 18000u);
    EXPECT_EQ(r.s.ctx().link.LinkUp, 0);
  }
}

TEST(RollBack, TheTerminalReportsProgressThenItsResult) {
  DownloadRun r(PackageDevice(0x0215, 1));
  ASSERT_TRUE(r.Connect());
  ASSERT_TRUE(r.Run(link::MsgGoBack));
  // "In progress" ends the wait without a message, as any result does.
  EXPECT_TRUE(r.s.BoxTexts().empty());
  EXPECT_FALSE(r.s.loop.TimerRunning(4));
  r.s.loop.Advance(5000);
  EXPECT_EQ(r.s.BoxTexts(), std::vector<std::string>{r.s.Text("Run_AppGobackOk")});
}

TEST(RollBack, TheMenuActionAsksFirstAndCancelSendsNothing) {
  DownloadRun r(PackageDevice(0x0215, 1));
  ASSERT_TRUE(r.Connect());
  const std::uint32_t results = r.s.terminal().SentCount(link::MsgGoBackResult);
  r.s.screen.answers().Queue(platform::kButtonCancel);
  r.s.dlg->OnButton(platform::kRollBackAction);
  r.s.loop.Advance(10000);
  ASSERT_EQ(r.s.screen.boxes().size(), 1u);
  EXPECT_EQ(r.s.screen.boxes()[0].kind, platform::kBoxOkCancel);
  EXPECT_EQ(r.s.screen.boxes()[0].text, operations::RollBackQuestion(r.s.ctx()));
  EXPECT_EQ(r.s.terminal().SentCount(link::MsgGoBackResult), results);

  r.s.screen.Clear();
  r.s.dlg->OnButton(platform::kRollBackAction);
  r.s.loop.Advance(10000);
  EXPECT_EQ(r.s.BoxTexts(), (std::vector<std::string>{operations::RollBackQuestion(r.s.ctx()),
                                                      r.s.Text("Run_AppGobackOk")}));
  EXPECT_GT(r.s.terminal().SentCount(link::MsgGoBackResult), results);
}

}  // namespace
}  // namespace tavro::test
