// The start-up sequence: which port opens, what a failing package check
// leaves undone, when the run log is created, and the data preparation with
// its log lines and boxes.

#include "app/startup_sequence.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <thread>

#include "data/file_io.hpp"
#include "data/ini_to_bin.hpp"
#include "data/init_prepare.hpp"
#include "data/para_images.hpp"
#include "link/byte_order.hpp"
#include "link/file_lock.hpp"
#include "loop/virtual_loop.hpp"
#include "platform/control_ids.hpp"
#include "support/fake_serial_link.hpp"
#include "support/lock_waiters.hpp"
#include "support/recording_screen.hpp"
#include "support/rule_builder.hpp"
#include "support/source_tree.hpp"
#include "support/temp_dir.hpp"

namespace tavro::test {
namespace {

std::string ProcessName() {
  std::ifstream comm("/proc/self/comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

class StartupSequence : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(
        data::CopyFileOverwrite(SourcePath("package/Language.ini"), dir.PathOf("Language.ini")));
  }
  void WithPackage(bool dataVersion = true) {
    ASSERT_TRUE(
        data::IniToBin(dir.PathOf("SwUpdate.ini"), SourcePath("package/SwUpdate-source.ini")));
    if (dataVersion) {
      ASSERT_TRUE(dir.Write("Data/DataVer.ini", "[DestPara]\r\nDestParaVer=0x12\r\n"));
    }
  }
  // An E2PROM image of `size` bytes at `version`.
  static std::string E2Image(std::uint32_t version, std::size_t size = data::kE2ImageSize) {
    std::string image(size, '\0');
    if (size >= 10)
      link::PutU32(reinterpret_cast<std::uint8_t*>(image.data()) + 6, version);
    return image;
  }
  std::string RunLogText() const {
    return dir.Read(dlg->runLog().Path().substr(dir.Path().size() + 1));
  }
  app::StartupOutcome Run(std::optional<std::uint8_t> onlyPort = std::nullopt) {
    dlg = std::make_unique<app::CTAVRODlg>(loop, screen, serial, dir.Path(),
                                           [this] { return ports; });
    return app::RunStartupSequence(*dlg, onlyPort);
  }
  std::string Text(const char* key) { return dlg->language().Text(key); }
  const platform::ControlState& Control(int id) { return dlg->controls().Get(id); }

  TempDir dir;
  loop::VirtualLoop loop;
  FakeSerialLink serial;
  RecordingScreen screen;
  std::vector<link::PortEntry> ports;
  std::unique_ptr<app::CTAVRODlg> dlg;
};

TEST_F(StartupSequence, WithoutPortsPortOneIsTriedOnce) {
  WithPackage();
  serial.AllowOnly({});
  const app::StartupOutcome outcome = Run();
  EXPECT_FALSE(outcome.portOpened);
  EXPECT_EQ(serial.openAttempts(), (std::vector<std::uint32_t>{1}));
  EXPECT_EQ(Control(platform::kPortStatusIcon).icon, platform::kIconOff);
  EXPECT_EQ(Control(platform::kConnectionStatusIcon).icon, platform::kIconOff);
  ASSERT_EQ(screen.boxes().size(), 1u);
  EXPECT_EQ(screen.boxes()[0].kind, platform::kBoxWarning);
  EXPECT_EQ(screen.boxes()[0].text, Text("C_Com") + "COM1" + Text("C_NoCom"));
  EXPECT_EQ(Control(platform::kPortButton).text, Text("B_OpenCom"));
}

TEST_F(StartupSequence, LastListedPortIsTriedFirstAndFailuresAreQuietWhenOneOpens) {
  WithPackage();
  ports = {{1, "/dev/ttyS0", "COM1"}, {3, "/dev/ttyS2", "COM3"}};
  serial.AllowOnly({1});
  const app::StartupOutcome outcome = Run();
  EXPECT_TRUE(outcome.portOpened);
  EXPECT_EQ(serial.openAttempts(), (std::vector<std::uint32_t>{3, 1}));
  EXPECT_TRUE(screen.boxes().empty());
  EXPECT_EQ(Control(platform::kPortList).selected, 0);
  EXPECT_EQ(Control(platform::kPortStatusIcon).icon, platform::kIconOn);
  EXPECT_EQ(Control(platform::kPortButton).text, Text("B_CloseCom"));
  EXPECT_EQ(Control(platform::kInfoText).text, "Ready");
}

TEST_F(StartupSequence, AllPortsFailingAreListedInOneWarning) {
  WithPackage();
  ports = {{1, "/dev/ttyS0", "COM1"}, {3, "/dev/ttyS2", "COM3"}};
  serial.AllowOnly({});
  Run();
  ASSERT_EQ(screen.boxes().size(), 1u);
  EXPECT_EQ(screen.boxes()[0].text, Text("C_Com") + "COM3" + Text("C_NoCom") + "\r\n" +
                                        Text("C_Com") + "COM1" + Text("C_NoCom"));
}

TEST_F(StartupSequence, AGivenPortIsTheOnlyOneTriedAndSelectedInTheList) {
  WithPackage();
  ports = {{1, "/dev/ttyS0", "COM1"}, {200, "/dev/pts/3", "COM200"}, {201, "/dev/pts/4", "COM201"}};
  EXPECT_TRUE(Run(200).portOpened);
  EXPECT_EQ(serial.openAttempts(), (std::vector<std::uint32_t>{200}));
  EXPECT_EQ(Control(platform::kPortList).items.size(), 3u);
  EXPECT_EQ(Control(platform::kPortList).selected, 1);
}

TEST_F(StartupSequence, FailingPackageCheckCreatesNoFoldersAndNoRunLog) {
  const app::StartupOutcome outcome = Run();
  EXPECT_FALSE(outcome.packageReady);
  EXPECT_FALSE(dir.Exists("Data"));
  EXPECT_FALSE(dir.Exists("Backup"));
  EXPECT_FALSE(dlg->runLog().IsOpen());
  ASSERT_EQ(screen.boxes().size(), 1u);
  EXPECT_EQ(screen.boxes()[0].text, "SwUpdate.ini" + Text("F_NotExist"));
  EXPECT_EQ(outcome.dataPreparation, 0) << "no preparation without a package";
}

TEST_F(StartupSequence, PackageReadyCreatesTheTreeAndTheRunLog) {
  WithPackage();
  const app::StartupOutcome outcome = Run();
  EXPECT_TRUE(outcome.packageReady);
  for (const char* folder : app::kProgramTree)
    EXPECT_TRUE(dir.Exists(folder + 1)) << folder;
  ASSERT_TRUE(dlg->runLog().IsOpen()) << "the sample package asks for DebugLevel 1";
  EXPECT_EQ(RunLogText().rfind("AppRunLog:\r\n\r\nCOM1\r\n", 0), 0u) << RunLogText();
}

TEST_F(StartupSequence, TheInitialDataIsPreparedWithItsLogLines) {
  WithPackage();
  ASSERT_TRUE(dir.Write("Data/BaseData/E2prom/E2.dat", E2Image(0x12)));
  const app::StartupOutcome outcome = Run();
  EXPECT_EQ(outcome.dataPreparation, data::kPrepared);
  EXPECT_TRUE(screen.boxes().empty());
  EXPECT_EQ(dir.Read("Data/InitData/E2prom/E2.dat"), E2Image(0x12));
  EXPECT_EQ(RunLogText(),
            "AppRunLog:\r\n\r\nCOM1\r\nE2Base_12\r\nE2Dest_12_Conv2_12_OK\r\nNoBaseFlash");
}

TEST_F(StartupSequence, AnInstanceThatWaitsForAnotherSaysSoAndKeepsTheDataItPrepared) {
  if (!test::LockWaitersVisible())
    GTEST_SKIP() << "this system does not show who waits for a file lock";
  WithPackage();
  ASSERT_TRUE(dir.Write("Data/BaseData/E2prom/E2.dat", E2Image(0x11)));
  // Another instance holds the program directory while it writes the
  // initial data at the destination version.
  link::FileLock other(dir.PathOf("SwUpdate.lock"));
  ASSERT_EQ(other.TryLock(), link::LockAttempt::kHeld);
  bool waitedFor = false;
  std::thread instance([&] {
    waitedFor = WaitForLockWaiters(dir.PathOf("SwUpdate.lock"), 1);
    dir.Write("Data/InitData/E2prom/E2.dat", E2Image(0x12));
    other.Unlock();
  });
  const app::StartupOutcome outcome = Run();
  instance.join();
  ASSERT_TRUE(waitedFor);
  EXPECT_EQ(outcome.dataPreparation, data::kPrepared);
  EXPECT_EQ(dir.Read("Data/InitData/E2prom/E2.dat"), E2Image(0x12)) << "not rebuilt";
  ASSERT_EQ(screen.notices().size(), 1u);
  const std::string notice = screen.notices()[0];
  const std::string holder = "process " + std::to_string(::getpid()) + " (" + ProcessName() + ")";
  const std::string phrase = Text("Ext_WaitingForLock");
  const std::size_t at = phrase.find("%1");
  ASSERT_NE(at, std::string::npos) << phrase;
  EXPECT_EQ(notice, phrase.substr(0, at) + holder + phrase.substr(at + 2));
  EXPECT_NE(RunLogText().find("\r\nE2Dest=Base_12_OK"), std::string::npos) << RunLogText();
  // The run log opens after the wait, so the wait is not in it; the
  // technician saw it on the screen.
  EXPECT_TRUE(screen.boxes().empty());
}

TEST_F(StartupSequence, AMissingDataVersionFileIsLoggedAndShown) {
  WithPackage(false);
  const app::StartupOutcome outcome = Run();
  EXPECT_EQ(outcome.dataPreparation, data::kPrepareNoDataVersion);
  ASSERT_EQ(screen.boxes().size(), 1u);
  EXPECT_EQ(screen.boxes()[0].text, "DataVer.ini" + Text("F_NotExist"));
  EXPECT_EQ(screen.boxes()[0].kind, platform::kBoxError);
  EXPECT_EQ(RunLogText(), "AppRunLog:\r\n\r\nCOM1\r\nParaBase2DestErr_3");
}

TEST_F(StartupSequence, FailedPreparationsShowTheirFileOrRuleFault) {
  WithPackage();
  ASSERT_TRUE(dir.Write("Data/InitData/E2prom/E2.dat", E2Image(0x11, 20)));
  EXPECT_EQ(Run().dataPreparation, data::kPrepareE2promFailed);
  ASSERT_EQ(screen.boxes().size(), 1u);
  EXPECT_EQ(screen.boxes()[0].text,
            dir.PathOf("Data/InitData/E2prom/E2.dat") + Text("F_ReadInErr"));
  EXPECT_NE(RunLogText().find("\r\nParaBase2DestErr_2"), std::string::npos) << RunLogText();

  // A rule whose column runs past its row, found for the base version.
  data::RemoveFile(dir.PathOf("Data/InitData/E2prom/E2.dat"));
  ASSERT_TRUE(dir.Write("Data/BaseData/E2prom/E2.dat", E2Image(0x11)));
  const link::Bytes rule = test::RuleWriter()
                               .Block(test::Header("E2.dat", 0x11, 0x12))
                               .Add(test::Column(test::Fill(4, 0), 2, 2))
                               .Bytes();
  ASSERT_TRUE(dir.Write("Data/Rule/E2E/a.bin", std::string(rule.begin(), rule.end())));
  screen.Clear();
  EXPECT_EQ(Run().dataPreparation, data::kPrepareE2promFailed);
  ASSERT_EQ(screen.boxes().size(), 1u);
  EXPECT_EQ(screen.boxes()[0].text, "rule_207_byte_err");
}

TEST_F(StartupSequence, MissingLanguageFileEndsBeforeAnyPortOrFolder) {
  data::RemoveFile(dir.PathOf("Language.ini"));
  WithPackage(false);
  const app::StartupOutcome outcome = Run();
  EXPECT_FALSE(outcome.languageReady);
  EXPECT_TRUE(serial.openAttempts().empty());
  EXPECT_FALSE(dir.Exists("Data"));
  ASSERT_EQ(screen.boxes().size(), 1u);
  EXPECT_EQ(screen.boxes()[0].text, "Language.ini does not exist !");
}

}  // namespace
}  // namespace tavro::test
