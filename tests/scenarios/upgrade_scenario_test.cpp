// Upgrade software end to end against the simulated terminal: the
// terminal's own data read back, converted and written again, the rows of
// the data-version decision, and the resume of an interrupted data download
// with every way a record can fail to fit.

#include <gtest/gtest.h>

#include "data/download_record.hpp"
#include "data/file_io.hpp"
#include "data/ini_file.hpp"
#include "data/para_images.hpp"
#include "link/messages.hpp"
#include "platform/control_ids.hpp"
#include "scenarios/scenario.hpp"
#include "scenarios/upgrade_package.hpp"
#include "sim/device_factory.hpp"
#include "support/rule_builder.hpp"

namespace tavro::test {
namespace {

sim::DeviceSpec Terminal(std::uint16_t blVersion, std::uint32_t dataVersion = kTerminalData) {
  sim::DeviceSpec spec = PackageDevice(blVersion, 1);
  spec.dataVersion = dataVersion;
  return spec;
}

std::vector<link::Bytes> FlashAreas(Scenario& s) {
  std::vector<link::Bytes> areas;
  for (const sim::ParaArea& area : s.terminal().device().para)
    areas.push_back(area.primary.bytes);
  return areas;
}

bool StartsWith(const std::string& text, const std::string& start) {
  return text.rfind(start, 0) == 0;
}

std::vector<std::string> RecordsOf(Scenario& s) {
  return data::ListFiles(s.dir.PathOf("Backup/TAVR1"), "*.log");
}

void ExpectRunReported(Scenario& s) {
  const std::vector<std::string> boxes = s.BoxTexts();
  ASSERT_GE(boxes.size(), 2u);
  EXPECT_EQ(boxes[boxes.size() - 2], s.Text("Dis_DevRestart"));
  EXPECT_EQ(boxes.back(), s.Text("Run_RunOk"));
  EXPECT_TRUE(RecordsOf(s).empty()) << "the record is gone after the completion";
  EXPECT_EQ(s.ctx().link.RunResult, 1);
}

void ExpectConvertedFlash(Scenario& s, const std::vector<link::Bytes>& before) {
  const std::vector<link::Bytes> after = FlashAreas(s);
  ASSERT_EQ(after.size(), before.size());
  for (std::size_t i = 0; i < after.size(); ++i) {
    ASSERT_EQ(after[i].size(), before[i].size()) << i;
    EXPECT_EQ(link::Bytes(after[i].begin() + 512, after[i].end()), ConvertedData(before[i], 512))
        << "area " << i;
    EXPECT_EQ(link::GetU32(after[i].data() + 6), kPackageData) << i;
    EXPECT_EQ(link::GetU16(after[i].data()), 1) << i;
  }
}

TEST(Upgrade, FlashTerminalKeepsItsOwnDataConvertedToThePackagesVersion) {
  Scenario s(Terminal(0x0215));
  const UpgradePackage p = MakeUpgradePackage(s);
  ASSERT_TRUE(ConnectQuietly(s));
  const std::vector<link::Bytes> before = FlashAreas(s);
  ASSERT_TRUE(RunUpgrade(s));
  ExpectRunReported(s);
  EXPECT_TRUE(StartsWith(s.BoxTexts()[0], s.Text("Run_Bak_App_Warn_L0") + ": 1.0.2.0\r\n"))
      << "no download warning; the App question first: " << s.BoxTexts()[0];
  EXPECT_EQ(s.terminal().device().app.image, p.app);
  ExpectConvertedFlash(s, before);
  // The terminal's own data stays on the PC, and so does the converted set.
  const engine::LinkState& l = s.ctx().link;
  for (std::size_t i = 0; i < before.size(); ++i) {
    const auto saved = data::ReadWholeFile(l.DataBackupFolder + "/" + data::FlashImageName(i + 1));
    ASSERT_TRUE(saved) << i;
    EXPECT_EQ(link::Bytes(saved->begin() + 512, saved->end()),
              link::Bytes(before[i].begin() + 512, before[i].end()));
  }
  ASSERT_TRUE(l.ParaPath.has_value());
  EXPECT_TRUE(StartsWith(*l.ParaPath, s.dir.PathOf("Backup/TAVR1/Conv/")));
  EXPECT_TRUE(data::IsFlashSetComplete(*l.ParaPath, 5));
  const std::string log = s.RunLogText();
  EXPECT_NE(log.find("\r\n\r\nUpSW-"), std::string::npos);
  EXPECT_NE(log.find("\r\nDestVer_1030000"), std::string::npos);
  EXPECT_EQ(log.find("DlSW-"), std::string::npos);
}

TEST(Upgrade, E2promTerminalKeepsItsOwnDataConverted) {
  Scenario s(Terminal(0x0230));
  const UpgradePackage p = MakeUpgradePackage(s);
  ASSERT_TRUE(ConnectQuietly(s));
  const link::Bytes before = s.terminal().device().e2prom;
  ASSERT_TRUE(RunUpgrade(s));
  ExpectRunReported(s);
  EXPECT_EQ(s.terminal().device().app.image, p.app);
  const link::Bytes& after = s.terminal().device().e2prom;
  ASSERT_EQ(after.size(), before.size());
  EXPECT_EQ(link::Bytes(after.begin() + 32, after.end()), ConvertedData(before, 32));
  EXPECT_EQ(link::GetU32(after.data() + 6), kPackageData);
  EXPECT_EQ(link::GetU16(after.data()), 0x55AA);
}

TEST(Upgrade, DataAtTheDestinationIsWrittenBackOnlyByTheOldestGeneration) {
  {
    Scenario s(Terminal(0x0215, kPackageData));
    MakeUpgradePackage(s);
    ASSERT_TRUE(ConnectQuietly(s));
    const std::vector<link::Bytes> before = FlashAreas(s);
    ASSERT_TRUE(RunUpgrade(s));
    ExpectRunReported(s);
    EXPECT_EQ(FlashAreas(s), before) << "no data stage";
    EXPECT_EQ(s.RunLogText().find("Dl_Para-"), std::string::npos);
  }
  {
    Scenario s(Terminal(0x0205, kPackageData));
    MakeUpgradePackage(s);
    ASSERT_TRUE(ConnectQuietly(s));
    const std::vector<link::Bytes> before = FlashAreas(s);
    ASSERT_TRUE(RunUpgrade(s));
    ExpectRunReported(s);
    const std::vector<link::Bytes> after = FlashAreas(s);
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < after.size(); ++i) {
      EXPECT_EQ(link::Bytes(after[i].begin() + 512, after[i].end()),
                link::Bytes(before[i].begin() + 512, before[i].end()))
          << i;
    }
    EXPECT_NE(s.RunLogText().find("\r\nDl_Para-" + s.ctx().link.DataBackupFolder),
              std::string::npos)
        << "its own backed-up data went back";
  }
}

// The decision ends before anything is written: the terminal keeps its App
// and its data, the backup of this run stays on the PC.
void ExpectTerminalUntouched(Scenario& s, const link::Bytes& app,
                             const std::vector<link::Bytes>& areas) {
  EXPECT_EQ(s.terminal().device().app.image, app);
  EXPECT_EQ(FlashAreas(s), areas);
  EXPECT_EQ(s.SentDuringPress(link::MsgAppBlockAck), 0u);
  EXPECT_EQ(s.SentDuringPress(link::MsgParaBlockAck), 0u);
  EXPECT_TRUE(s.dlg->controls().Get(platform::kUpgradeButton).enabled);
  EXPECT_TRUE(data::IsFlashSetComplete(s.ctx().link.DataBackupFolder, 5));
}

// Upgrade on a connected terminal whose data cannot be converted: the
// read-back image named by `image` in its box with `key`, then F_DataConvErr,
// and nothing written to the terminal.
void ExpectConversionStopped(Scenario& s, const std::string& image, const char* key) {
  ASSERT_TRUE(ConnectQuietly(s));
  const link::Bytes app = s.terminal().device().app.image;
  const std::vector<link::Bytes> areas = FlashAreas(s);
  ASSERT_TRUE(s.Press(platform::kUpgradeButton));
  const std::vector<std::string> boxes = s.BoxTexts();
  ASSERT_GE(boxes.size(), 2u);
  EXPECT_EQ(boxes[boxes.size() - 2], s.ctx().link.DataBackupFolder + image + s.Text(key));
  EXPECT_EQ(boxes.back(), s.Text("F_DataConvErr"));
  EXPECT_NE(s.RunLogText().find("\r\n\r\nParaConvErr\r\ncmd="), std::string::npos);
  ExpectTerminalUntouched(s, app, areas);
}

TEST(Upgrade, WithoutARuleOrWithNewerDataTheUpgradeStopsBeforeWriting) {
  for (const std::uint32_t terminalData : {kTerminalData, 0x01040000u}) {
    SCOPED_TRACE(terminalData);
    Scenario s(Terminal(0x0215, terminalData));
    MakeUpgradePackage(s, kPackageData, /*withRules=*/false);
    ASSERT_TRUE(ConnectQuietly(s));
    const link::Bytes app = s.terminal().device().app.image;
    const std::vector<link::Bytes> areas = FlashAreas(s);
    ASSERT_TRUE(s.Press(platform::kUpgradeButton));
    ASSERT_FALSE(s.BoxTexts().empty());
    EXPECT_EQ(s.BoxTexts().back(), s.Text("F_NoUpRuleErr"));
    EXPECT_EQ(s.Info(), s.Text("Sw_UpdateStop"));
    EXPECT_NE(s.RunLogText().find("\r\n\r\nNoRule_End\r\ncmd="), std::string::npos);
    ExpectTerminalUntouched(s, app, areas);
    EXPECT_TRUE(RecordsOf(s).empty()) << "no record before the decision is made";
  }
}

TEST(Upgrade, AFailedConversionNamesTheFileAndStopsBeforeWriting) {
  Scenario s(Terminal(0x0215));
  MakeUpgradePackage(s);
  // A rule that reads an image the terminal does not have.
  ASSERT_TRUE(PutFile(s, "Data/Rule/F2F/up.bin",
                      RuleWriter()
                          .Block(Header("1.dat", kTerminalData, kPackageData))
                          .Add(Copy("9.dat", 512, 4, 4))
                          .Bytes()));
  ExpectConversionStopped(s, "/9.dat", "F_NotExist");
}

// A 0x0225 terminal taking the package's new bootloader moves its data from
// the Flash areas into one E2PROM image built on the PC.
struct MoveToE2prom {
  explicit MoveToE2prom(const sim::Device& device) : s(device) {
    SetBlUpDataConfig(s, 1);
    SameAppAreaAfterTheUpgrade(s);
    MakeUpgradePackage(s, kPackageData, /*withRules=*/false);
    app = sim::MakeAppFile(0x01000300, "TR100", 2 * 4096 + 10);
    EXPECT_TRUE(PutFile(s, "SW/E2prom/App.bin", app));
    EXPECT_TRUE(PutFile(s, "Data/Bl/New_BL_230.bin", link::Bytes(3 * 4096 + 10, 0x42)));
    EXPECT_TRUE(PutFile(s, "Data/Bl/CheckE2/check.bin", link::Bytes(1000, 0x24)));
  }
  Scenario s;
  link::Bytes app;
};

// Area data small enough for the E2PROM slots (the third holds 256 bytes).
sim::Device SlotSizedTerminal() {
  sim::DeviceSpec spec = Terminal(0x0225, kPackageData);
  sim::Device device = sim::MakeDevice(spec);
  for (std::size_t i = 0; i < device.para.size(); ++i) {
    device.para[i].primary.bytes =
        sim::MakeParaImage(i, kPackageData, spec.model, 200 + i, spec.stamp);
    if (device.para[i].copy.capacity > 0)
      device.para[i].copy.bytes = device.para[i].primary.bytes;
  }
  return device;
}

TEST(Upgrade, DataAtTheDestinationMovesIntoAnE2promImageBuiltFromTheFlashAreas) {
  MoveToE2prom m(SlotSizedTerminal());
  Scenario& s = m.s;
  ASSERT_TRUE(ConnectQuietly(s));
  const std::vector<link::Bytes> areas = FlashAreas(s);
  ASSERT_TRUE(RunUpgrade(s));
  ExpectRunReported(s);
  EXPECT_EQ(s.terminal().device().bootloader.version, 0x0230);
  EXPECT_EQ(s.terminal().device().app.image, m.app);
  const link::Bytes& e2 = s.terminal().device().e2prom;
  ASSERT_EQ(e2.size(), data::kE2ImageSize);
  EXPECT_EQ(link::GetU32(e2.data() + 6), kPackageData);
  // Slot 1 holds the first area's data, padded with 0xFF to its 0x8BE0 bytes.
  EXPECT_TRUE(std::equal(areas[0].begin() + 512, areas[0].end(), e2.begin() + 32));
  EXPECT_EQ(e2[32 + areas[0].size() - 512], 0xFF);
  // Slot 2 begins after it with the second area's data.
  EXPECT_TRUE(std::equal(areas[1].begin() + 512, areas[1].end(), e2.begin() + 32 + 0x8BE0));
  EXPECT_NE(s.RunLogText().find("\r\nDTypeF2E"), std::string::npos);
}

TEST(Upgrade, AFailedE2promImageIsNeverConverted) {
  // The default second area does not fit its E2PROM slot; the data is older than
  // the package's, so a conversion would follow a successful build.
  MoveToE2prom m(sim::MakeDevice(Terminal(0x0225, kPackageData)));
  Scenario& s = m.s;
  const std::string newer = "[DestPara]\r\nDestParaVer=0x01040000\r\n";
  ASSERT_TRUE(PutFile(s, "Data/DataVer.ini", link::Bytes(newer.begin(), newer.end())));
  ExpectConversionStopped(s, "/2.dat", "F_ReadInErr");
  EXPECT_FALSE(data::FileExists(s.dir.PathOf("Backup/TAVR1/Conv"))) << "no conversion ran";
  EXPECT_FALSE(data::FileExists(s.ctx().link.DataBackupFolder + "/E2.dat"));
}

// Records left in the resume folder as an interrupted upgrade leaves them.
class Resume : public ::testing::Test {
 protected:
  static constexpr const char* kTime = "20240314092653";  // the simulator's data stamp

  // A record of `form` naming `paraPath`, with its copy.
  data::DownloadRecordPaths Record(const std::string& paraPath, data::ParaForm form,
                                   const char* timeText = kTime) {
    const std::string folder = s->dir.PathOf("Backup/TAVR1");
    const data::DownloadRecordPaths paths{folder + "/COMLog-" + timeText + ".log",
                                          folder + "/COMLog/COMLog-" + timeText + ".log"};
    EXPECT_TRUE(data::CreateFolders(folder + "/COMLog"));
    data::WriteDownloadRecordKey(paths, data::kRecordTimeKey, timeText);
    data::WriteDownloadRecordKey(paths, data::kRecordParaPathKey, paraPath);
    if (form == data::ParaForm::kE2prom) {
      data::WriteDownloadRecordKey(paths, data::kE2ImageName, "0");
    } else {
      for (std::size_t k = 1; k <= 5; ++k)
        data::WriteDownloadRecordKey(paths, data::FlashImageName(k), "0");
    }
    return paths;
  }
  // A complete saved Flash set: the terminal's own images.
  std::string SavedFlashSet() {
    const std::string folder = s->dir.PathOf("Saved/Flash");
    for (std::size_t i = 0; i < s->terminal().device().para.size(); ++i)
      EXPECT_TRUE(PutFile(*s, "Saved/Flash/" + data::FlashImageName(i + 1),
                          s->terminal().device().para[i].primary.bytes));
    return folder;
  }
  std::string Key(const std::string& path, const char* key) {
    return data::CIni(path).GetString(data::kRecordSection, key, "<missing>");
  }
  std::string Question() {
    return s->Text("Run_Log_Warn_L0") + "\r\n" + s->Text("Run_Log_Warn_L1") + "\r\n" +
           s->Text("Run_Log_Warn_L2") + "\r\n" + s->Text("Run_Log_Warn_L3");
  }
  void Make(std::uint16_t blVersion) {
    s = std::make_unique<Scenario>(Terminal(blVersion));
    MakeUpgradePackage(*s);
  }

  std::unique_ptr<Scenario> s;
};

TEST_F(Resume, ARecordOfTheWrongShapeAsksAndCancelKeepsItForTheNextAttempt) {
  Make(0x0215);
  const data::DownloadRecordPaths record = Record(SavedFlashSet(), data::ParaForm::kFlash);
  // Six keys: one data key short.
  const link::Bytes bytes = data::ReadWholeFile(record.record).value_or(link::Bytes{});
  std::string text(bytes.begin(), bytes.end());
  ASSERT_NE(text.find("5.dat=0"), std::string::npos);
  text.erase(text.find("5.dat=0"));
  ASSERT_TRUE(data::WriteFileAtomic(record.record, link::Bytes(text.begin(), text.end())));
  const data::DownloadRecordPaths second =
      Record("/elsewhere", data::ParaForm::kFlash, "20250101000000");
  ASSERT_TRUE(ConnectQuietly(*s));
  const std::vector<link::Bytes> before = FlashAreas(*s);

  s->screen.answers().Queue(platform::kButtonCancel);
  ASSERT_TRUE(s->Press(platform::kUpgradeButton));
  EXPECT_EQ(s->BoxTexts(), std::vector<std::string>{Question()});
  EXPECT_TRUE(data::FileExists(record.record)) << "Cancel keeps the record";
  EXPECT_FALSE(data::FileExists(second.record)) << "a second record is given up unread";
  EXPECT_NE(s->RunLogText().find("\r\nLogErr-End"), std::string::npos);
  EXPECT_EQ(s->SentDuringPress(link::MsgAppInfo), 0u) << "nothing was asked of the terminal";

  s->screen.Clear();
  s->screen.answers().Queue(platform::kButtonCancel);
  ASSERT_TRUE(s->Press(platform::kUpgradeButton));
  EXPECT_EQ(s->BoxTexts(), std::vector<std::string>{Question()}) << "asked again";

  s->screen.Clear();
  ASSERT_TRUE(RunUpgrade(*s));  // OK: given up, a fresh upgrade follows
  EXPECT_EQ(s->BoxTexts().front(), Question());
  EXPECT_NE(s->RunLogText().find("\r\nLogErr-del-Up"), std::string::npos);
  EXPECT_FALSE(data::FileExists(record.copy));
  ExpectRunReported(*s);
  ExpectConvertedFlash(*s, before);
}

TEST_F(Resume, RecordsThatHaveNothingToResumeAreGivenUpWithoutAQuestion) {
  Make(0x0215);
  // Every image already went in.
  const data::DownloadRecordPaths done = Record(SavedFlashSet(), data::ParaForm::kFlash);
  for (std::size_t k = 1; k <= 5; ++k)
    data::WriteDownloadRecordKey(done, data::FlashImageName(k), "1");
  ASSERT_TRUE(ConnectQuietly(*s));
  const std::vector<link::Bytes> before = FlashAreas(*s);
  ASSERT_TRUE(RunUpgrade(*s));
  EXPECT_TRUE(StartsWith(s->BoxTexts().front(), s->Text("Run_Bak_App_Warn_L0")));
  ExpectRunReported(*s);
  ExpectConvertedFlash(*s, before);

  // A saved set that lost an image.
  Make(0x0215);
  const std::string set = SavedFlashSet();
  ASSERT_TRUE(data::RemoveFile(set + "/3.dat"));
  Record(set, data::ParaForm::kFlash);
  ASSERT_TRUE(ConnectQuietly(*s));
  const std::vector<link::Bytes> own = FlashAreas(*s);
  ASSERT_TRUE(RunUpgrade(*s));
  EXPECT_TRUE(StartsWith(s->BoxTexts().front(), s->Text("Run_Bak_App_Warn_L0")));
  EXPECT_NE(s->RunLogText().find("\r\nLenErrDele-Up"), std::string::npos);
  ExpectRunReported(*s);
  ExpectConvertedFlash(*s, own);
}

TEST_F(Resume, AnUnreadableAppStopsBeforeTheRecordsAreLookedAt) {
  Make(0x0215);
  const data::DownloadRecordPaths record = Record(SavedFlashSet(), data::ParaForm::kFlash);
  ASSERT_TRUE(ConnectQuietly(*s));
  // An App image too short for its version field.
  ASSERT_TRUE(PutFile(*s, "SW/Flash/App.bin", link::Bytes(70, 1)));
  ASSERT_TRUE(s->Press(platform::kUpgradeButton));
  EXPECT_EQ(s->BoxTexts(),
            std::vector<std::string>{s->dir.PathOf("SW/Flash/App.bin") + s->Text("F_ReadInErr")});
  EXPECT_TRUE(data::FileExists(record.record));
  EXPECT_TRUE(data::FileExists(record.copy));
  EXPECT_EQ(s->RunLogText().find("UpSW-"), std::string::npos) << "the upgrade never began";
}

TEST_F(Resume, ARecordWithoutItsDataFolderIsKept) {
  Make(0x0215);
  const data::DownloadRecordPaths record = Record("0", data::ParaForm::kFlash);
  ASSERT_TRUE(ConnectQuietly(*s));
  ASSERT_TRUE(s->Press(platform::kUpgradeButton));
  EXPECT_EQ(s->BoxTexts(), std::vector<std::string>{s->Text("Log_StatusErr")});
  EXPECT_TRUE(data::FileExists(record.record));
  EXPECT_TRUE(s->dlg->controls().Get(platform::kUpgradeButton).enabled);
}

TEST_F(Resume, AFlashTerminalThatDisagreesWithTheRecordIsAskedAbout) {
  Make(0x0215);
  // Nothing of the record reached this terminal: its data carries another stamp.
  const data::DownloadRecordPaths record =
      Record(SavedFlashSet(), data::ParaForm::kFlash, "20250101000000");
  ASSERT_TRUE(ConnectQuietly(*s));
  const std::vector<link::Bytes> before = FlashAreas(*s);
  s->screen.answers().Queue(platform::kButtonCancel);
  ASSERT_TRUE(s->Press(platform::kUpgradeButton));
  EXPECT_EQ(s->BoxTexts(), std::vector<std::string>{Question()});
  EXPECT_GT(s->SentDuringPress(link::MsgFlashReadBlock), 0u) << "the headers were read";
  EXPECT_TRUE(data::FileExists(record.record));
  EXPECT_NE(s->RunLogText().find("\r\nCheckErr-End"), std::string::npos);
  EXPECT_NE(s->RunLogText().find("\r\n1.dat_intg=1_ver=1020000_size="), std::string::npos);

  s->screen.Clear();
  ASSERT_TRUE(RunUpgrade(*s));
  EXPECT_NE(s->RunLogText().find("\r\nCheckErr-del-Up"), std::string::npos);
  ExpectRunReported(*s);
  ExpectConvertedFlash(*s, before);
}

TEST_F(Resume, ASavedImageThatCannotBeReadIsAMismatchNotAnEmptyHeader) {
  Make(0x0215);
  // The record in the folder names a complete set but not this terminal's
  // time; its copy of the terminal's time names a set that is gone.
  Record(SavedFlashSet(), data::ParaForm::kFlash, "20250101000000");
  const std::string copy = s->dir.PathOf("Backup/TAVR1/COMLog/COMLog-") + kTime + ".log";
  ASSERT_TRUE(data::CreateFolders(s->dir.PathOf("Backup/TAVR1/COMLog")));
  const std::string gone = s->dir.PathOf("Gone");
  data::CIni(copy).WriteString(data::kRecordSection, data::kRecordTimeKey, kTime);
  data::CIni(copy).WriteString(data::kRecordSection, data::kRecordParaPathKey, gone);
  ASSERT_TRUE(ConnectQuietly(*s));
  s->screen.answers().Queue(platform::kButtonOk);      // the file's box
  s->screen.answers().Queue(platform::kButtonCancel);  // the question
  ASSERT_TRUE(s->Press(platform::kUpgradeButton));
  EXPECT_EQ(s->BoxTexts(),
            (std::vector<std::string>{gone + "/1.dat" + s->Text("F_NotExist"), Question()}));
  EXPECT_EQ(s->SentDuringPress(link::MsgAppBlockAck), 0u);
  EXPECT_EQ(s->SentDuringPress(link::MsgParaBlockAck), 0u);
}

TEST_F(Resume, AnE2promRecordMatchingTheTerminalResumesWithTheDataAlone) {
  Make(0x0230);
  ASSERT_TRUE(data::RemoveFile(s->dir.PathOf("SW/E2prom/App.bin")));  // no App to send
  link::Bytes saved = sim::MakeE2Image(kPackageData, "SAVED", {});
  saved[100] = 0x77;
  ASSERT_TRUE(PutFile(*s, "Saved/E2/E2.dat", saved));
  const data::DownloadRecordPaths record =
      Record(s->dir.PathOf("Saved/E2"), data::ParaForm::kE2prom);
  ASSERT_TRUE(ConnectQuietly(*s));
  const link::Bytes app = s->terminal().device().app.image;
  ASSERT_TRUE(RunUpgrade(*s));
  ExpectRunReported(*s);
  EXPECT_EQ(s->SentDuringPress(link::MsgE2ReadBlock), 1u) << "only the header was read";
  EXPECT_EQ(s->SentDuringPress(link::MsgAppBlockAck), 0u);
  EXPECT_EQ(s->terminal().device().app.image, app);
  const link::Bytes& e2 = s->terminal().device().e2prom;
  EXPECT_EQ(link::Bytes(e2.begin() + 32, e2.end()), link::Bytes(saved.begin() + 32, saved.end()));
  EXPECT_EQ(link::GetU32(e2.data() + 6), kPackageData);
  // The rewritten header carries the record's time again.
  EXPECT_EQ(link::GetU16(e2.data() + 18), 2024);
  EXPECT_EQ(e2[24], 53);
  EXPECT_NE(s->RunLogText().find("\r\nCheck-Resume\r\n" + s->dir.PathOf("Saved/E2")),
            std::string::npos);
  EXPECT_FALSE(data::FileExists(record.copy));
}

TEST_F(Resume, AnE2promRecordOfAnotherDownloadIsAskedAbout) {
  Make(0x0230);
  ASSERT_TRUE(PutFile(*s, "Saved/E2/E2.dat", sim::MakeE2Image(kPackageData, "SAVED", {})));
  const data::DownloadRecordPaths record =
      Record(s->dir.PathOf("Saved/E2"), data::ParaForm::kE2prom, "20250101000000");
  ASSERT_TRUE(ConnectQuietly(*s));
  s->screen.answers().Queue(platform::kButtonCancel);
  ASSERT_TRUE(s->Press(platform::kUpgradeButton));
  EXPECT_EQ(s->BoxTexts(), std::vector<std::string>{Question()});
  EXPECT_TRUE(data::FileExists(record.record));
  EXPECT_EQ(s->SentDuringPress(link::MsgE2ReadBlock), 1u);
}

}  // namespace
}  // namespace tavro::test
