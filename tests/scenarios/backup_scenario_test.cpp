// Backup to PC end to end: the window model against the simulated terminal,
// for both generations, with the files compared to what the terminal holds.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "app/transfer_meter.hpp"
#include "data/file_io.hpp"
#include "link/messages.hpp"
#include "link/time_stamp.hpp"
#include "operations/backup.hpp"
#include "platform/control_ids.hpp"
#include "scenarios/scenario.hpp"

namespace tavro::test {
namespace {

namespace fs = std::filesystem;

// The frames the terminal received, by identifier.
class ReceivedFrames {
 public:
  explicit ReceivedFrames(sim::Terminal& terminal) {
    terminal.SetTrace(
        [this](std::uint64_t, char direction, link::ByteView frame, std::string_view) {
          if (direction == '<' && frame.size() >= 12)
            ++counts_[link::GetU16(frame.data() + 10)];
        });
  }
  std::uint32_t Count(std::uint16_t msgId) const {
    const auto it = counts_.find(msgId);
    return it == counts_.end() ? 0 : it->second;
  }

 private:
  std::map<std::uint16_t, std::uint32_t> counts_;
};

// A scenario connected by View device information, ready for Backup.
struct BackupRun {
  explicit BackupRun(const sim::DeviceSpec& spec, const sim::Faults& faults = {})
      : s(spec, {}, faults) {}
  explicit BackupRun(const sim::Device& device, const sim::Faults& faults = {})
      : s(device, {}, faults) {}

  bool Connect() {
    if (!s.Start().packageReady || !s.Press(platform::kDeviceInfoButton))
      return false;
    const bool clean = s.screen.boxes().empty();
    s.screen.Clear();
    return clean;
  }
  std::string Stamp() const {
    return link::FormatTimeStamp(link::LocalTimeStamp(
        static_cast<std::time_t>(const_cast<Scenario&>(s).ctx().link.OperationTime)));
  }
  std::string Port() const { return s.dir.PathOf("Backup/TAVR1"); }
  std::string AppFolder() const { return Port() + "/SW/1.0.2.0/" + Stamp(); }
  std::string DataFolder(const std::string& version, const std::string& suffix = "-Bak") const {
    return Port() + "/Data/" + version + "/" + Stamp() + suffix;
  }
  link::Bytes File(const std::string& path) const {
    return data::ReadWholeFile(path).value_or(link::Bytes{});
  }
  const sim::Device& device() { return s.terminal().device(); }
  // The image of parameter area `i` as the terminal sends it back.
  link::Bytes AreaImage(std::size_t i) {
    const link::Bytes& bytes = device().para[i].primary.bytes;
    const std::size_t size = link::GetU32(bytes.data() + 2);
    return link::Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(512 + size));
  }
  // Each of the five areas is in `folder` as the terminal holds it.
  void ExpectAreasBackedUp(const std::string& folder) {
    for (std::size_t i = 0; i < 5; ++i)
      EXPECT_EQ(File(folder + "/" + std::to_string(i + 1) + ".dat"), AreaImage(i)) << i;
  }
  bool Finished() {
    return s.BoxTexts() == std::vector<std::string>{s.Text("Sw_Backup_Ok")} &&
           s.screen.boxes().front().kind == platform::kBoxOk;
  }

  Scenario s;
};

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(Backup, FlashTerminalGetsItsAppAndEveryAreaByteForByte) {
  BackupRun r(PackageDevice(0x0215, 1));
  ASSERT_TRUE(r.Connect());
  ReceivedFrames received(r.s.terminal());
  ASSERT_TRUE(r.s.Press(platform::kBackupButton));
  ASSERT_TRUE(r.Finished()) << r.s.BoxTexts().front();

  EXPECT_EQ(r.File(r.AppFolder() + "/App.bin"), r.device().app.image)
      << "the descriptor block is not part of the App file";
  const std::string data = r.DataFolder("1.2.0.0");
  EXPECT_EQ(FilesIn(data), (std::vector<std::string>{"1.dat", "2.dat", "3.dat", "4.dat", "5.dat"}));
  r.ExpectAreasBackedUp(data);
  EXPECT_EQ(received.Count(link::MsgParaBackupStart), 5u);
  EXPECT_EQ(received.Count(link::MsgParaBackupStartEx), 0u);

  const std::string info = r.s.Info();
  EXPECT_EQ(info.rfind("√" + r.s.Text("Dis_Backup2PC_App") + "(100%)\r\n√" +
                           r.s.Text("Dis_Backup2PC_Para") + "(100%)\r\n" +
                           r.s.Text("Dis_Backup2PC_App_Path") + ":\r\n",
                       0),
            0u)
      << info;
  EXPECT_NE(info.find(r.s.Text("Dis_Backup2PC_Para_Path") + ":\r\n"), std::string::npos);
  const platform::ControlState& note = r.s.dlg->controls().Get(platform::kProgressNote);
  EXPECT_EQ(note.text.rfind(r.s.Text("Dis_TotalTime") + ":", 0), 0u) << note.text;
  EXPECT_TRUE(note.visible);
  const platform::ControlState& bar = r.s.dlg->controls().Get(platform::kProgressBar);
  EXPECT_EQ(bar.rangeMax, 1024);
  EXPECT_EQ(bar.pos, 1024);
}

TEST(Backup, TheTransferLineNamesEachOfTheFiveAreasAndNoSixth) {
  BackupRun r(PackageDevice(0x0215, 1));
  ASSERT_TRUE(r.Connect());
  ASSERT_EQ(r.s.ctx().package.paraFileTotalNum, 5u);
  // Every stage the line named, in order, sampled after each event.
  std::vector<std::string> stages;
  r.s.dlg->OnButton(platform::kBackupButton);
  ASSERT_TRUE(r.s.loop.RunUntil(
      [&] {
        if (const auto t = app::RunningTransfer(r.s.ctx());
            t && (stages.empty() || stages.back() != t->stage))
          stages.push_back(t->stage);
        return r.s.dlg->controls().Get(platform::kBackupButton).enabled;
      },
      120000));
  ASSERT_TRUE(r.Finished());
  std::vector<std::string> expected = {r.s.Text("Ext_Tr_AppBackup")};
  for (int area = 1; area <= 5; ++area)
    expected.push_back(r.s.Text("Ext_Tr_DataBackup") + " " + std::to_string(area));
  EXPECT_EQ(stages, expected);
}

TEST(Backup, AVersionThatIsNoBcdNumberIsReadWithTheLongRequest) {
  sim::DeviceSpec spec = PackageDevice(0x0205, 1);
  spec.dataVersion = 0x0A0B0000;
  BackupRun r(spec);
  ASSERT_TRUE(r.Connect());
  ReceivedFrames received(r.s.terminal());
  ASSERT_TRUE(r.s.Press(platform::kBackupButton));
  ASSERT_TRUE(r.Finished()) << r.s.BoxTexts().front();
  EXPECT_EQ(received.Count(link::MsgParaBackupStartEx), 5u);
  EXPECT_EQ(received.Count(link::MsgParaBackupStart), 0u);
  const std::string data = r.DataFolder("a.b.0.0");
  r.ExpectAreasBackedUp(data);
}

TEST(Backup, E2promTerminalGetsTheWholeE2promAsE2Dat) {
  BackupRun r(PackageDevice(0x0230, 1));
  ASSERT_TRUE(r.Connect());
  // The identification's 32-byte header read was acknowledged but not saved.
  EXPECT_FALSE(data::FileExists(r.Port() + "/Data"));
  ASSERT_TRUE(r.s.Press(platform::kBackupButton));
  ASSERT_TRUE(r.Finished()) << r.s.BoxTexts().front();
  const std::string data = r.DataFolder("1.2.0.0");
  EXPECT_EQ(FilesIn(data), std::vector<std::string>{"E2.dat"});
  const link::Bytes e2 = r.File(data + "/E2.dat");
  EXPECT_EQ(e2.size(), 65536u);
  EXPECT_EQ(e2, r.device().e2prom);
  EXPECT_EQ(r.File(r.AppFolder() + "/App.bin"), r.device().app.image);
}

TEST(Backup, TwoBackupsInOneSecondGetTheirOwnDataFolders) {
  BackupRun r(PackageDevice(0x0215, 1));
  ASSERT_TRUE(r.Connect());
  ASSERT_TRUE(r.s.Press(platform::kBackupButton));
  ASSERT_TRUE(r.Finished());
  const std::time_t first = static_cast<std::time_t>(r.s.ctx().link.OperationTime);
  const std::string firstData = r.DataFolder("1.2.0.0");
  const link::Bytes firstArea = r.File(firstData + "/1.dat");
  // Turn the wall clock back so that the second press starts in the same second.
  const std::time_t base = r.s.loop.WallTime() - static_cast<std::time_t>(r.s.loop.NowMs() / 1000);
  r.s.loop.SetWallTimeBase(base - (r.s.loop.WallTime() - first));
  r.s.screen.Clear();
  ASSERT_TRUE(r.s.Press(platform::kBackupButton));
  ASSERT_TRUE(r.Finished());
  ASSERT_EQ(r.s.ctx().link.OperationTime, first);
  EXPECT_EQ(r.s.ctx().link.BackupFolderName, r.Stamp() + "-Bak-Bak");
  EXPECT_EQ(FilesIn(r.DataFolder("1.2.0.0", "-Bak-Bak")).size(), 5u);
  EXPECT_EQ(r.File(firstData + "/1.dat"), firstArea) << "the first backup is untouched";
}

TEST(Backup, ARepeatedBlockIsStoredOnce) {
  sim::Faults faults;
  faults.repeatEnabled = true;
  faults.repeatBlock = 1;  // of every read-back
  BackupRun r(PackageDevice(0x0215, 1), faults);
  ASSERT_TRUE(r.Connect());
  ASSERT_TRUE(r.s.Press(platform::kBackupButton));
  ASSERT_TRUE(r.Finished()) << r.s.BoxTexts().front();
  EXPECT_EQ(r.File(r.AppFolder() + "/App.bin"), r.device().app.image);
  r.ExpectAreasBackedUp(r.DataFolder("1.2.0.0"));
}

TEST(Backup, SilenceInTheMiddleOfAnAreaEndsWithoutItsFile) {
  sim::Faults faults;
  // Areas 1 and 2 take two acknowledgements each; the fifth is the first of
  // area 3, after which the terminal hangs.
  faults.silenceAfter = {true, link::MsgParaBackupAck, 5};
  BackupRun r(PackageDevice(0x0215, 1), faults);
  ASSERT_TRUE(r.Connect());
  ASSERT_TRUE(r.s.Press(platform::kBackupButton));
  EXPECT_EQ(r.s.BoxTexts(), std::vector<std::string>{r.s.Text("Run_ConnectOverTime")});
  EXPECT_EQ(FilesIn(r.DataFolder("1.2.0.0")), (std::vector<std::string>{"1.dat", "2.dat"}))
      << "only whole areas are on the disk";
  EXPECT_EQ(r.s.ctx().link.LinkUp, 0);
}

TEST(Backup, ATerminalWithoutAnAppStillGetsItsDataBackedUp) {
  for (std::uint16_t bl : {0x0215, 0x0230}) {
    SCOPED_TRACE(bl);
    sim::Device device = sim::MakeDevice(PackageDevice(bl, 1));
    device.app.present = false;
    BackupRun r(device);
    ASSERT_TRUE(r.Connect());
    ASSERT_TRUE(r.s.Press(platform::kBackupButton));
    ASSERT_TRUE(r.Finished()) << r.s.BoxTexts().front();
    EXPECT_FALSE(data::FileExists(r.Port() + "/SW"));
    EXPECT_EQ(FilesIn(r.DataFolder("1.2.0.0")).size(), bl < 0x230 ? 5u : 1u);
    EXPECT_EQ(r.s.Info().rfind("  " + r.s.Text("Dis_Intg_ERR_CurApp") + "\r\n√", 0), 0u)
        << r.s.Info();
    EXPECT_TRUE(r.s.dlg->controls().Get(platform::kProgressNote).visible);
  }
}

// Neither generation stays busy when there is no parameter data to read.
TEST(Backup, DamagedDataOnBothGenerationsEndsWithTheAppAlone) {
  for (bool withApp : {true, false}) {
    for (std::uint16_t bl : {0x0215, 0x0230}) {
      SCOPED_TRACE(std::to_string(bl) + (withApp ? " with App" : " without App"));
      sim::Device device = sim::MakeDevice(PackageDevice(bl, 1));
      device.app.present = withApp;
      if (bl < 0x230) {
        for (sim::ParaArea& area : device.para) {
          area.primary.bytes[0] = 0;
          area.copy.bytes[0] = 0;
        }
      } else {
        device.e2prom[0] = 0;
      }
      BackupRun r(device);
      ASSERT_TRUE(r.s.Start().packageReady);
      ASSERT_TRUE(r.s.Press(platform::kDeviceInfoButton));
      ASSERT_FALSE(r.s.ctx().device.ParaIntact);
      r.s.screen.Clear();
      ASSERT_TRUE(r.s.Press(platform::kBackupButton, 60000)) << "stays busy";
      ASSERT_TRUE(r.Finished()) << r.s.BoxTexts().front();
      EXPECT_FALSE(data::FileExists(r.Port() + "/Data"));
      EXPECT_EQ(data::FileExists(r.AppFolder() + "/App.bin"), withApp);
      EXPECT_NE(r.s.Info().find("\r\n  " + r.s.Text("Dis_Intg_ERR_Para")), std::string::npos);
    }
  }
}

TEST(Backup, RefusedParameterReadsKeepWhatWasReadAndLogWhy) {
  struct Case {
    const char* what;
    sim::ErrorReply sim::Faults::*fault;
    std::uint16_t status;
    const char* logTag;
  };
  const Case cases[] = {
      {"damaged area", &sim::Faults::paraIntegErr, 0, "\r\n\r\nParaIntegErr\r\ncmd=12045"},
      {"address refused", &sim::Faults::paraUploadErr, 0, "\r\n\r\nUpParaAddrErr\r\ncmd=12045"},
      {"length refused", &sim::Faults::paraUploadErr, 1, "\r\n\r\nUpParaLenErr\r\ncmd=12045"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::Faults faults;
    faults.*c.fault = sim::ErrorReply{true, c.status, 2};
    BackupRun r(PackageDevice(0x0215, 1), faults);
    ASSERT_TRUE(r.Connect());
    ASSERT_TRUE(r.s.Press(platform::kBackupButton));
    ASSERT_TRUE(r.Finished()) << r.s.BoxTexts().front();
    // The refusal speaks for this backup's summary only: the window holds
    // again what the identification found, so the next Backup asks anew.
    EXPECT_TRUE(r.s.ctx().device.ParaIntact);
    EXPECT_EQ(FilesIn(r.DataFolder("1.2.0.0")), std::vector<std::string>{"1.dat"});
    EXPECT_NE(r.s.Info().find("\r\n  " + r.s.Text("Dis_Intg_ERR_Para")), std::string::npos);
    EXPECT_EQ(r.s.Info().find(r.s.Text("Dis_Backup2PC_Para_Path")), std::string::npos);
    EXPECT_NE(r.s.RunLogText().find(c.logTag), std::string::npos) << r.s.RunLogText();
  }
}

TEST(Backup, BeforeAnyConnectionNothingIsSent) {
  Scenario s(PackageDevice(0x0215, 1));
  ASSERT_TRUE(s.Start().packageReady);
  ReceivedFrames received(s.terminal());
  // Start-up identified the terminal on its own; a lost link must be
  // connected again first.
  s.ctx().link.LinkUp = 0;
  ASSERT_TRUE(s.Press(platform::kBackupButton));
  EXPECT_EQ(s.BoxTexts(), std::vector<std::string>{s.Text("Run_UnConnect")});
  EXPECT_EQ(received.Count(link::MsgAppBackupStart), 0u);
  EXPECT_FALSE(data::FileExists(s.dir.PathOf("Backup/TAVR1")));
}

TEST(Backup, AFolderThatCannotBeMadeIsNamedAndIsNoSuccess) {
  BackupRun r(PackageDevice(0x0215, 1));
  ASSERT_TRUE(r.Connect());
  // A file where the App's folder must go.
  ASSERT_TRUE(data::CreateFolders(r.Port()));
  ASSERT_TRUE(data::WriteFileAtomic(r.Port() + "/SW", {1}));
  ASSERT_TRUE(r.s.Press(platform::kBackupButton));
  ASSERT_EQ(r.s.BoxTexts().size(), 1u);
  EXPECT_EQ(r.s.BoxTexts()[0], r.AppFolder() + r.s.Text("F_NotExist"));
  EXPECT_FALSE(data::FileExists(r.Port() + "/Data"));
  EXPECT_TRUE(r.s.dlg->controls().Get(platform::kBackupButton).enabled);
}

// The fourth block is the first of area 2: the resend must ask for its block
// 0, not for the block area 1 had reached.
TEST(Backup, ACorruptedBlockIsAskedForAgainAndTheFilesStayWhole) {
  sim::Faults faults;
  faults.crcErrorReply = {true, link::MsgParaBackupBlock, 4};
  BackupRun r(PackageDevice(0x0215, 1), faults);
  ASSERT_TRUE(r.Connect());
  ReceivedFrames received(r.s.terminal());
  ASSERT_TRUE(r.s.Press(platform::kBackupButton));
  ASSERT_TRUE(r.Finished()) << r.s.BoxTexts().front();
  EXPECT_EQ(received.Count(link::MsgResendRequest), 1u);
  r.ExpectAreasBackedUp(r.DataFolder("1.2.0.0"));
}

TEST(Backup, AnUnansweredAppReadEndsAfterNineSecondsWithNothingWritten) {
  sim::Faults faults;
  faults.dropReply = {true, link::MsgAppBackupBlock, 0};
  BackupRun r(PackageDevice(0x0215, 1), faults);
  ASSERT_TRUE(r.Connect());
  const std::uint64_t pressed = r.s.loop.NowMs();
  ASSERT_TRUE(r.s.Press(platform::kBackupButton));
  EXPECT_GE(r.s.loop.NowMs() - pressed, 9000u);
  EXPECT_EQ(r.s.BoxTexts(), std::vector<std::string>{r.s.Text("Run_ConnectOverTime")});
  EXPECT_FALSE(data::FileExists(r.Port()));
}

TEST(Backup, AnE2promTheTerminalCannotReadEndsWithItsMessage) {
  sim::Faults faults;
  // The first two reads are the identifications' (at power-up and Device Info).
  faults.e2ReadErr = {true, 0, 3};
  BackupRun r(PackageDevice(0x0230, 1), faults);
  ASSERT_TRUE(r.Connect());
  ASSERT_TRUE(r.s.Press(platform::kBackupButton));
  EXPECT_EQ(r.s.BoxTexts(), std::vector<std::string>{r.s.Text("F_E_OpErr")});
  EXPECT_TRUE(data::FileExists(r.AppFolder() + "/App.bin"));
  EXPECT_FALSE(data::FileExists(r.Port() + "/Data"));
}

TEST(BackupSummary, LongPathsBreakBeforeASeparatorEvery75Characters) {
  const std::string dir = "/home/technician/service/tools/tavro-program-directory-for-field-units";
  ASSERT_EQ(dir.size(), 70u);
  const std::string file = "/Backup/TAVR12/SW/1.0.2.0/20240314092653/App.bin";
  EXPECT_EQ(operations::WrapPath(dir + file), dir + "\r\n" + file);
  EXPECT_EQ(operations::WrapPath("/short/path"), "/short/path");
  // A name longer than a line is broken before once, not again and again.
  EXPECT_EQ(operations::WrapPath("/a/" + std::string(160, 'x')), "/a\r\n/" + std::string(160, 'x'));
  // Without a separator the break goes first, and only once.
  EXPECT_EQ(operations::WrapPath(std::string(200, 'x')), "\r\n" + std::string(200, 'x'));
}

}  // namespace
}  // namespace tavro::test
