// Restore from backup end to end against the simulated terminal, for both
// generations: a backup, an upgrade that converts the data, then the
// restore, which must leave the terminal's App and data as they were backed
// up and the restore point's files as they were. Every refusal happens
// after the identification and before anything is written.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "data/file_io.hpp"
#include "data/para_images.hpp"
#include "link/messages.hpp"
#include "platform/control_ids.hpp"
#include "scenarios/scenario.hpp"
#include "scenarios/upgrade_package.hpp"
#include "sim/device_factory.hpp"
#include "sim/faults.hpp"
#include "support/same_path.hpp"

namespace tavro::test {
namespace {

namespace fs = std::filesystem;

// Every file under `folder` with its bytes.
std::map<std::string, link::Bytes> Snapshot(const std::string& folder) {
  std::map<std::string, link::Bytes> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file())
      files[entry.path().string()] = *data::ReadWholeFile(entry.path().string());
  }
  return files;
}

class Restore : public ::testing::TestWithParam<std::uint16_t> {
 protected:
  void SetUp() override {
    package = MakeUpgradePackage(s, kPackageData, true, kSmallAppSize);
    ASSERT_TRUE(ConnectQuietly(s));
    ownApp = s.terminal().device().app.image;
    ownData = DataOf(s.terminal().device());
    ASSERT_TRUE(s.Press(platform::kBackupButton, 600000));
    ASSERT_EQ(s.BoxTexts(), std::vector<std::string>{s.Text("Sw_Backup_Ok")});
    point = s.ctx().link.DataBackupFolder;
    appFile = s.ctx().link.AppBackupFile;
    ASSERT_FALSE(point.empty());
    ASSERT_FALSE(appFile.empty());
    s.screen.Clear();
    s.loop.Advance(3000);
  }

  bool E2() const { return GetParam() >= 0x230; }
  std::string PortFolder() { return s.dir.PathOf("Backup/TAVR1"); }

  // As the technician does after the terminal restarted.
  void Reconnect() {
    ASSERT_TRUE(s.Press(platform::kDeviceInfoButton));
    s.screen.Clear();
  }

  void Upgrade() {
    Reconnect();
    ASSERT_TRUE(RunUpgrade(s));
    ASSERT_EQ(s.ctx().link.RunResult, 1);
    ASSERT_EQ(s.terminal().device().app.image, package.app);
    ASSERT_NE(DataOf(s.terminal().device()), ownData);
    s.screen.Clear();
    s.loop.Advance(3000);
  }

  // Chooses `folder` from the Tools menu and runs until the window is idle.
  void RunRestore(const std::string& folder) {
    Reconnect();
    s.screen.QueueFolder(folder);
    before = s.terminal().device();
    writesBefore = Writes();
    s.dlg->OnButton(platform::kRestoreAction);
    ASSERT_TRUE(s.loop.RunUntil(
        [this] { return s.dlg->controls().Get(platform::kUpgradeButton).enabled; }, 900000));
    s.loop.Advance(15000);
  }

  std::uint32_t Writes() {
    std::uint32_t n = 0;
    for (std::uint16_t id :
         {link::MsgAppBlockAck, link::MsgParaBlockAck, link::MsgE2WriteAck, link::MsgFlashWriteAck})
      n += s.terminal().SentCount(id);
    return n;
  }

  // Refused with one error box that names `path`, the terminal untouched
  // and no record left.
  void ExpectRefused(const std::string& path, const char* key) {
    const std::vector<std::string> boxes = s.BoxTexts();
    ASSERT_EQ(boxes.size(), 1u) << testing::PrintToString(boxes);
    const std::string reason = s.Text(key);
    ASSERT_GT(boxes[0].size(), reason.size()) << boxes[0];
    const std::size_t at = boxes[0].size() - reason.size();
    EXPECT_EQ(boxes[0].substr(at), reason) << boxes[0];
    EXPECT_TRUE(SamePath(boxes[0].substr(0, at), path)) << boxes[0] << " names not " << path;
    EXPECT_EQ(s.screen.boxes()[0].kind, platform::kBoxError);
    EXPECT_EQ(Writes(), writesBefore);
    EXPECT_TRUE(s.terminal().device() == before) << "the terminal was written";
    EXPECT_TRUE(data::ListFiles(PortFolder(), "*.log").empty());
  }

  Scenario s{SmallTerminal(GetParam())};
  UpgradePackage package;
  link::Bytes ownApp;
  std::vector<link::Bytes> ownData;
  std::string point;
  std::string appFile;
  sim::Device before;
  std::uint32_t writesBefore = 0;
};

TEST_P(Restore, AfterAConvertingUpgradeTheTerminalIsAsBackedUp) {
  Upgrade();
  const std::vector<link::Bytes> upgraded = DataOf(s.terminal().device());
  const auto pointFiles = Snapshot(point);
  const auto appFiles = Snapshot(fs::path(appFile).parent_path().string());
  RunRestore(point);

  const std::vector<std::string> boxes = s.BoxTexts();
  ASSERT_GE(boxes.size(), 3u) << testing::PrintToString(boxes);
  EXPECT_EQ(s.screen.boxes()[0].kind, platform::kBoxOkCancel);
  EXPECT_EQ(boxes[0].rfind(s.Text("Ext_Restore_Ask"), 0), 0u) << boxes[0];
  EXPECT_EQ(boxes[boxes.size() - 2], s.Text("Dis_DevRestart"));
  EXPECT_EQ(boxes.back(), s.Text("Run_RunOk"));
  EXPECT_EQ(s.terminal().device().app.image, ownApp);
  EXPECT_EQ(DataOf(s.terminal().device()), ownData);
  EXPECT_NE(s.Info().find(s.Text("Ext_Restore_Done")), std::string::npos) << s.Info();
  EXPECT_TRUE(data::ListFiles(PortFolder(), "*.log").empty());
  // The restore point is as it was; what the terminal held before the
  // restore was saved beside it as a restore point of its own.
  EXPECT_EQ(Snapshot(point), pointFiles);
  EXPECT_EQ(Snapshot(fs::path(appFile).parent_path().string()), appFiles);
  const std::string saved = s.ctx().link.DataBackupFolder;
  ASSERT_NE(saved, point);
  EXPECT_NE(saved.find("/Data/1.3.0.0/"), std::string::npos) << saved;
  const link::Bytes savedApp = data::ReadWholeFile(s.ctx().link.AppBackupFile).value();
  EXPECT_EQ(savedApp, package.app);
  if (E2()) {
    auto image = *data::ReadWholeFile(saved + "/E2.dat");
    std::fill(image.begin() + 18, image.begin() + 32, 0);
    EXPECT_EQ(image, upgraded[0]);
  } else {
    for (std::size_t i = 0; i < upgraded.size(); ++i) {
      auto image = *data::ReadWholeFile(saved + "/" + data::FlashImageName(i + 1));
      std::fill(image.begin() + 48, image.begin() + 64, 0);
      EXPECT_EQ(image, upgraded[i]) << i;
    }
  }
}

TEST_P(Restore, CancelSendsNothing) {
  Upgrade();
  s.screen.answers().Queue(platform::kButtonCancel);
  RunRestore(point);
  ASSERT_EQ(s.BoxTexts().size(), 1u);
  EXPECT_EQ(s.screen.boxes()[0].kind, platform::kBoxOkCancel);
  EXPECT_EQ(Writes(), writesBefore);
  EXPECT_TRUE(s.terminal().device() == before);
  EXPECT_TRUE(data::ListFiles(PortFolder(), "*.log").empty());
  EXPECT_EQ(s.SentDuringPress(link::MsgAppBackupBlock), 0u) << "nothing is read back either";
}

TEST_P(Restore, WithoutAnAppTheDataGoesBackOnlyAtTheTerminalsDataVersion) {
  ASSERT_TRUE(data::DeleteTree(fs::path(appFile).parent_path().string()));
  // The terminal's data changed at the same version.
  sim::Device& d = s.terminal().mutableDevice();
  if (E2()) {
    d.e2prom[100] ^= 0xFF;
  } else {
    for (sim::ParaArea& area : d.para)
      area.primary.bytes[600] ^= 0xFF;
  }
  ASSERT_NE(DataOf(s.terminal().device()), ownData);
  const link::Bytes app = s.terminal().device().app.image;
  RunRestore(point);
  EXPECT_EQ(s.BoxTexts().back(), s.Text("Run_RunOk"));
  EXPECT_EQ(DataOf(s.terminal().device()), ownData);
  EXPECT_EQ(s.terminal().device().app.image, app);
  EXPECT_EQ(s.terminal().SentCount(link::MsgAppBlockAck), 0u) << "no App was sent";

  // Under the upgraded App and its data version, the same data is refused.
  s.screen.Clear();
  s.loop.Advance(3000);
  Upgrade();
  RunRestore(point);
  ExpectRefused(point, "Ext_Restore_DataVersion");
}

TEST_P(Restore, AnIncompleteSetIsRefused) {
  const std::string file = point + (E2() ? "/E2.dat" : "/3.dat");
  if (E2()) {
    auto bytes = *data::ReadWholeFile(file);
    bytes.resize(bytes.size() - 1);
    ASSERT_TRUE(data::WriteFileAtomic(file, bytes));
    RunRestore(point);
    ExpectRefused(file, "Ext_Restore_Incomplete");
  } else {
    ASSERT_TRUE(data::RemoveFile(file));
    RunRestore(point);
    ExpectRefused(file, "F_NotExist");
  }
}

TEST_P(Restore, ASetOfTheOtherGenerationIsRefused) {
  const std::string other = PortFolder() + "/Data/1.2.0.0/20200101120000";
  ASSERT_TRUE(data::CreateFolders(other));
  if (E2()) {
    for (std::size_t i = 0; i < 5; ++i) {
      ASSERT_TRUE(data::WriteFileAtomic(other + "/" + data::FlashImageName(i + 1),
                                        sim::MakeParaImage(i, kTerminalData, "TR100", 800, {})));
    }
  } else {
    ASSERT_TRUE(
        data::WriteFileAtomic(other + "/E2.dat", sim::MakeE2Image(kTerminalData, "TR100", {})));
  }
  RunRestore(other);
  ExpectRefused(other + (E2() ? "/1.dat" : "/E2.dat"), "Ext_Restore_OtherGeneration");
}

TEST_P(Restore, AnImageLargerThanItsAreaIsRefused) {
  const std::string file = point + (E2() ? "/E2.dat" : "/1.dat");
  auto bytes = *data::ReadWholeFile(file);
  bytes.resize(E2() ? bytes.size() + 1 : 0x10000 + 512, 0x33);
  ASSERT_TRUE(data::WriteFileAtomic(file, bytes));
  RunRestore(point);
  ExpectRefused(file, "Ext_Restore_TooLarge");
}

TEST_P(Restore, AModelThatDiffersIsRefused) {
  const std::string file = point + (E2() ? "/E2.dat" : "/2.dat");
  auto bytes = *data::ReadWholeFile(file);
  bytes[10] = 'X';  // the model's first character
  ASSERT_TRUE(data::WriteFileAtomic(file, bytes));
  RunRestore(point);
  ExpectRefused(file, "Ext_Restore_ModelDiffers");

  // The App backup's model is checked too.
  bytes[10] = 'T';
  ASSERT_TRUE(data::WriteFileAtomic(file, bytes));
  auto app = *data::ReadWholeFile(appFile);
  app[68] = 'X';
  ASSERT_TRUE(data::WriteFileAtomic(appFile, app));
  s.screen.Clear();
  RunRestore(point);
  ExpectRefused(appFile, "Ext_Restore_ModelDiffers");
}

TEST_P(Restore, AFolderOutsideTheBackupTreeIsRefused) {
  const std::string outside = s.dir.PathOf("Elsewhere/20200101120000");
  ASSERT_TRUE(data::CreateFolders(outside));
  for (const auto& entry : fs::directory_iterator(point))
    fs::copy_file(entry.path(), fs::path(outside) / entry.path().filename());
  const std::string viaDots = PortFolder() + "/Data/../../../Elsewhere/20200101120000";
  const std::string link = PortFolder() + "/Data/1.2.0.0/20200101120000";
  std::vector<std::string> folders = {outside, viaDots};
  std::error_code ec;  // a system without links (Wine) leaves that case out
  fs::create_directory_symlink(outside, link, ec);
  if (!ec)
    folders.push_back(link);
  for (const std::string& folder : folders) {
    s.screen.Clear();
    RunRestore(folder);
    ExpectRefused(folder, "Ext_Restore_Outside");
  }
  s.screen.Clear();
  RunRestore(PortFolder() + "/Data");
  ExpectRefused(PortFolder() + "/Data", "Ext_Restore_NotBackup");
}

TEST_P(Restore, APowerCutInTheDataDownloadIsResumedByUpgrade) {
  Upgrade();
  const auto pointFiles = Snapshot(point);
  std::string error;
  ASSERT_TRUE(sim::SetFault(s.terminal().faults(), "PowerCut",
                            E2() ? "E2, 5, OnArrival" : "Para:1, 1, OnArrival", error))
      << error;
  int cuts = 0;
  s.terminal().SetPowerCutHook([&cuts] { ++cuts; });
  RunRestore(point);
  ASSERT_EQ(cuts, 1);
  ASSERT_EQ(data::ListFiles(PortFolder(), "*.log").size(), 1u) << "the record is left";
  EXPECT_EQ(s.terminal().device().app.image, ownApp) << "the App went in before the data";

  s.terminal().PowerUp();
  s.loop.Advance(5000);
  Reconnect();
  ASSERT_TRUE(RunUpgrade(s));
  EXPECT_EQ(s.BoxTexts().back(), s.Text("Run_RunOk")) << testing::PrintToString(s.BoxTexts());
  EXPECT_NE(s.RunLogText().find("\r\nCheck-Resume"), std::string::npos);
  EXPECT_EQ(s.terminal().device().app.image, ownApp) << "the package's App went under the data";
  EXPECT_EQ(DataOf(s.terminal().device()), ownData);
  EXPECT_TRUE(data::ListFiles(PortFolder(), "*.log").empty());
  EXPECT_EQ(Snapshot(point), pointFiles);
}

INSTANTIATE_TEST_SUITE_P(BothGenerations, Restore, ::testing::Values(0x0215, 0x0230),
                         [](const ::testing::TestParamInfo<std::uint16_t>& info) {
                           return info.param >= 0x230 ? std::string("E2prom")
                                                      : std::string("FlashAreas");
                         });

}  // namespace
}  // namespace tavro::test
