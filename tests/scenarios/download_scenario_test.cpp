// Download software end to end against the simulated terminal, as a
// technician presses Device Info and then Download: every generation, the
// new-bootloader paths, and the ways the button stops before it writes.

#include <gtest/gtest.h>

#include <thread>

#include "data/file_io.hpp"
#include "data/ini_file.hpp"
#include "link/file_lock.hpp"
#include "link/messages.hpp"
#include "platform/control_ids.hpp"
#include "scenarios/scenario.hpp"
#include "sim/device_factory.hpp"
#include "support/lock_waiters.hpp"

namespace tavro::test {
namespace {

constexpr std::uint32_t kNewData = 0x01030000;

// A program directory holding a package: the marker, an App, the initial
// data of the terminal's generation and, when asked, resources.
struct Package {
  link::Bytes app;
  std::vector<link::Bytes> flash;  // 1.dat ... 5.dat
  link::Bytes e2;
};

bool Put(Scenario& s, const std::string& relative, const link::Bytes& bytes) {
  const std::string path = s.dir.PathOf(relative);
  return data::CreateFolders(path.substr(0, path.rfind('/'))) && data::WriteFileAtomic(path, bytes);
}

Package MakePackage(Scenario& s, bool e2App) {
  Package p;
  p.app = sim::MakeAppFile(0x01000300, "TR100", 3 * 4096 + 100);
  EXPECT_TRUE(Put(s, std::string(e2App ? "SW/E2prom" : "SW/Flash") + "/App.bin", p.app));
  for (std::size_t i = 0; i < 5; ++i) {
    const std::size_t room = s.terminal().device().para.size() > i
                                 ? s.terminal().device().para[i].primary.capacity - 512
                                 : 4096;
    p.flash.push_back(
        sim::MakeParaImage(i, kNewData, "TR100", std::min<std::size_t>(room, 3000), {}));
    EXPECT_TRUE(Put(s, "Data/InitData/Flash/" + std::to_string(i + 1) + ".dat", p.flash.back()));
  }
  p.e2 = sim::MakeE2Image(kNewData, "TR100", {});
  EXPECT_TRUE(Put(s, "Data/InitData/E2prom/E2.dat", p.e2));
  EXPECT_TRUE(Put(s, "QZDownload.bin", {}));
  return p;
}

bool Connect(Scenario& s) {
  if (!s.Start().packageReady || !s.Press(platform::kDeviceInfoButton))
    return false;
  const bool clean = s.screen.boxes().empty();
  s.screen.Clear();
  return clean;
}

// Runs Download and what follows until the terminal has reported its run.
bool RunDownload(Scenario& s) {
  if (!s.Press(platform::kDownloadButton, 900000))
    return false;
  s.loop.Advance(15000);
  return true;
}

void ExpectFlashData(Scenario& s, const Package& p) {
  for (std::size_t i = 0; i < 5; ++i) {
    const link::Bytes& area = s.terminal().device().para[i].primary.bytes;
    ASSERT_EQ(area.size(), p.flash[i].size()) << i;
    EXPECT_TRUE(std::equal(p.flash[i].begin() + 512, p.flash[i].end(), area.begin() + 512)) << i;
    EXPECT_EQ(link::GetU32(area.data() + 6), kNewData) << i;
  }
}

void ExpectE2Data(Scenario& s, const Package& p) {
  const link::Bytes& e2 = s.terminal().device().e2prom;
  ASSERT_EQ(e2.size(), p.e2.size());
  EXPECT_TRUE(std::equal(p.e2.begin() + 32, p.e2.end(), e2.begin() + 32));
}

void ExpectFinished(Scenario& s) {
  const std::vector<std::string> boxes = s.BoxTexts();
  ASSERT_GE(boxes.size(), 2u);
  EXPECT_EQ(boxes[boxes.size() - 2], s.Text("Dis_DevRestart"));
  EXPECT_EQ(boxes.back(), s.Text("Run_RunOk"));
  EXPECT_FALSE(data::FileExists(s.dir.PathOf("QZDownload.bin"))) << "the package is consumed";
  EXPECT_TRUE(data::ListFiles(s.dir.PathOf("Backup/TAVR1"), "*.log").empty())
      << "the record is gone after the completion";
  EXPECT_EQ(s.dlg->controls().Get(platform::kDownloadButton).text, s.Text("B_Run"));
}

TEST(Download, FlashTerminalGetsTheAppAndTheInitialDataAfterItsOwnBackup) {
  Scenario s(PackageDevice(0x0215, 1));
  const Package p = MakePackage(s, false);
  ASSERT_TRUE(Connect(s));
  const link::Bytes oldApp = s.terminal().device().app.image;
  const link::Bytes oldArea = s.terminal().device().para[0].primary.bytes;
  ASSERT_TRUE(RunDownload(s));
  ExpectFinished(s);
  EXPECT_EQ(s.BoxTexts()[0].rfind(s.Text("Run_Dl_Warn_L0"), 0), 0u);
  EXPECT_EQ(s.BoxTexts()[1].rfind(s.Text("Run_Bak_App_Warn_L0") + ": 1.0.2.0\r\n" +
                                      s.Text("Run_Bak_App_Warn_L1") + ": 1.0.3.0",
                                  0),
            0u)
      << s.BoxTexts()[1];
  EXPECT_EQ(s.terminal().device().app.image, p.app);
  ExpectFlashData(s, p);
  // The terminal's own App and data were backed up first.
  const engine::LinkState& l = s.ctx().link;
  EXPECT_EQ(l.AppBackupFile.rfind(s.dir.PathOf("Backup/TAVR1/SW/1.0.2.0/"), 0), 0u);
  EXPECT_EQ(data::ReadWholeFile(l.AppBackupFile), oldApp);
  EXPECT_EQ(data::ListFiles(l.DataBackupFolder, "*.dat").size(), 5u);
  const auto savedArea = data::ReadWholeFile(l.DataBackupFolder + "/1.dat");
  ASSERT_TRUE(savedArea);
  EXPECT_TRUE(std::equal(savedArea->begin(), savedArea->end(), oldArea.begin()));
}

TEST(Download, TheMarkerIsConsumedOnlyWhileNoOtherInstanceChangesSharedFiles) {
  if (!test::LockWaitersVisible())
    GTEST_SKIP() << "this system does not show who waits for a file lock";
  Scenario s(PackageDevice(0x0215, 1));
  const Package p = MakePackage(s, false);
  ASSERT_TRUE(Connect(s));
  // Another instance on the program directory is changing shared files.
  link::FileLock other(s.dir.PathOf("SwUpdate.lock"));
  ASSERT_EQ(other.TryLock(), link::LockAttempt::kHeld);
  bool markerWhileHeld = false;
  bool waitedFor = false;
  std::thread instance([&] {
    waitedFor = WaitForLockWaiters(s.dir.PathOf("SwUpdate.lock"), 1);
    markerWhileHeld = data::FileExists(s.dir.PathOf("QZDownload.bin"));
    other.Unlock();
  });
  const bool ran = RunDownload(s);
  instance.join();
  ASSERT_TRUE(waitedFor);
  ASSERT_TRUE(ran);
  EXPECT_TRUE(markerWhileHeld) << "removed only once the other instance let go";
  ASSERT_EQ(s.screen.notices().size(), 1u);
  EXPECT_EQ(s.screen.notices()[0].rfind("Waiting for process ", 0), 0u) << s.screen.notices()[0];
  EXPECT_NE(s.RunLogText().find("\r\nDirLockWait: Waiting for process "), std::string::npos);
  ExpectFinished(s);
  ExpectFlashData(s, p);
}

TEST(Download, BootloaderBelow210WritesTheMarkerFirst) {
  Scenario s(PackageDevice(0x020F, 1));
  const Package p = MakePackage(s, false);
  ASSERT_TRUE(Connect(s));
  ASSERT_TRUE(RunDownload(s));
  ExpectFinished(s);
  EXPECT_GE(s.terminal().device().marker.bytes.size(), 44u);
  EXPECT_EQ(s.terminal().device().app.image, p.app);
  ExpectFlashData(s, p);
}

TEST(Download, E2promTerminalGetsItsImageThroughTheFlashCopy) {
  Scenario s(PackageDevice(0x0230, 1));
  const Package p = MakePackage(s, true);
  ASSERT_TRUE(Connect(s));
  ASSERT_TRUE(RunDownload(s));
  ExpectFinished(s);
  EXPECT_EQ(s.terminal().device().app.image, p.app);
  ExpectE2Data(s, p);
  EXPECT_EQ(link::GetU16(s.terminal().device().e2Copy.bytes.data()), 0xAA55);
}

// A 0x0225 terminal with a new bootloader in the package moves to the
// E2PROM layout: (E2PROM check,) bootloader upgrade, restart, App, E2PROM.
TEST(Download, ANewBootloaderMovesAFlashTerminalToTheE2prom) {
  for (std::uint32_t config : {1u, 2u}) {
    SCOPED_TRACE(config);
    Scenario s(PackageDevice(0x0225, 1));
    SetBlUpDataConfig(s, config);
    SameAppAreaAfterTheUpgrade(s);
    const Package p = MakePackage(s, true);
    ASSERT_TRUE(Put(s, "Data/Bl/New_BL_230.bin", link::Bytes(3 * 4096 + 10, 0x42)));
    ASSERT_TRUE(Put(s, "Data/Bl/CheckE2/check.bin", link::Bytes(1000, 0x24)));
    ASSERT_TRUE(Connect(s));
    ASSERT_TRUE(RunDownload(s));
    ExpectFinished(s);
    EXPECT_EQ(s.terminal().device().bootloader.version, 0x0230);
    EXPECT_EQ(s.terminal().device().app.image, p.app);
    ExpectE2Data(s, p);
  }
}

TEST(Download, WithoutAPackageNothingIsSent) {
  Scenario s(PackageDevice(0x0215, 1));
  ASSERT_TRUE(Connect(s));
  const std::uint32_t infos = s.terminal().SentCount(link::MsgAppInfo);
  ASSERT_TRUE(s.Press(platform::kDownloadButton));
  // No finished stages and no restart are claimed: the box says what is missing.
  EXPECT_EQ(s.BoxTexts(), std::vector<std::string>{s.Text("Ext_NoPackage")});
  EXPECT_EQ(s.Info(), s.Text("Ext_NoPackage"));
  EXPECT_EQ(s.Info().find("√"), std::string::npos);
  EXPECT_EQ(s.terminal().SentCount(link::MsgAppInfo), infos);
  EXPECT_EQ(s.dlg->controls().Get(platform::kDownloadButton).text, s.Text("B_Run"));
}

TEST(Download, CancelOnTheWarningChangesNothing) {
  Scenario s(PackageDevice(0x0215, 1));
  MakePackage(s, false);
  ASSERT_TRUE(Put(s, "Backup/TAVR1/COMLog-20240101000000.log", {}));
  ASSERT_TRUE(Connect(s));
  const link::Bytes app = s.terminal().device().app.image;
  s.screen.answers().Queue(platform::kButtonCancel);
  ASSERT_TRUE(s.Press(platform::kDownloadButton));
  EXPECT_EQ(s.BoxTexts().size(), 1u);
  EXPECT_TRUE(data::FileExists(s.dir.PathOf("QZDownload.bin")));
  EXPECT_TRUE(data::FileExists(s.dir.PathOf("Backup/TAVR1/COMLog-20240101000000.log")));
  EXPECT_EQ(s.terminal().device().app.image, app);
}

TEST(Download, AnUnreadableAppStopsAfterTheOldRecordsAreGiven) {
  Scenario s(PackageDevice(0x0215, 1));
  MakePackage(s, false);
  ASSERT_TRUE(Put(s, "SW/Flash/App.bin", link::Bytes(20, 1)));  // no version at 64
  ASSERT_TRUE(Put(s, "Backup/TAVR1/COMLog-20240101000000.log", {}));
  ASSERT_TRUE(Connect(s));
  ASSERT_TRUE(s.Press(platform::kDownloadButton));
  ASSERT_EQ(s.BoxTexts().size(), 2u);
  EXPECT_EQ(s.BoxTexts()[1], s.dir.PathOf("SW/Flash/App.bin") + s.Text("F_ReadInErr"));
  EXPECT_FALSE(data::FileExists(s.dir.PathOf("Backup/TAVR1/COMLog-20240101000000.log")));
  EXPECT_TRUE(data::FileExists(s.dir.PathOf("QZDownload.bin")));
}

TEST(Download, DamagedTerminalDataAsksAndCancelStillSendsTheApp) {
  sim::Device device = sim::MakeDevice(PackageDevice(0x0215, 1));
  for (sim::ParaArea& area : device.para) {
    area.primary.bytes[0] = 0;
    area.copy.bytes[0] = 0;
  }
  Scenario s(device);
  const Package p = MakePackage(s, false);
  ASSERT_TRUE(Connect(s));
  s.screen.answers().Queue(platform::kButtonOk);      // the download warning
  s.screen.answers().Queue(platform::kButtonCancel);  // no App backup
  s.screen.answers().Queue(platform::kButtonCancel);  // no initial data
  const std::vector<link::Bytes> before = [&] {
    std::vector<link::Bytes> areas;
    for (const sim::ParaArea& area : s.terminal().device().para)
      areas.push_back(area.primary.bytes);
    return areas;
  }();
  ASSERT_TRUE(RunDownload(s));
  ASSERT_GE(s.BoxTexts().size(), 3u);
  EXPECT_EQ(s.BoxTexts()[2].rfind(s.Text("Run_Intg_Warn_L0"), 0), 0u) << s.BoxTexts()[2];
  EXPECT_EQ(s.terminal().device().app.image, p.app);
  for (std::size_t i = 0; i < before.size(); ++i)
    EXPECT_EQ(s.terminal().device().para[i].primary.bytes, before[i]) << i;
  EXPECT_EQ(s.ctx().link.ParaPath, std::nullopt);
  EXPECT_EQ(s.ctx().link.DownloadData, 0);
}

}  // namespace
}  // namespace tavro::test
