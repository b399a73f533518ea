// The start-up sequence: which port opens, what a failing package check
// leaves undone, and when the run log is created.

#include "app/startup_sequence.hpp"

#include <gtest/gtest.h>

#include "data/file_io.hpp"
#include "data/ini_to_bin.hpp"
#include "loop/virtual_loop.hpp"
#include "platform/control_ids.hpp"
#include "support/fake_serial_link.hpp"
#include "support/recording_screen.hpp"
#include "support/source_tree.hpp"
#include "support/temp_dir.hpp"

namespace tavro::test {
namespace {

class StartupSequence : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(
        data::CopyFileOverwrite(SourcePath("package/Language.ini"), dir.PathOf("Language.ini")));
  }
  void WithPackage() {
    ASSERT_TRUE(
        data::IniToBin(dir.PathOf("SwUpdate.ini"), SourcePath("package/SwUpdate-source.ini")));
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
}

TEST_F(StartupSequence, PackageReadyCreatesTheTreeAndTheRunLog) {
  WithPackage();
  const app::StartupOutcome outcome = Run();
  EXPECT_TRUE(outcome.packageReady);
  for (const char* folder : app::kProgramTree)
    EXPECT_TRUE(dir.Exists(folder + 1)) << folder;
  ASSERT_TRUE(dlg->runLog().IsOpen()) << "the sample package asks for DebugLevel 1";
  EXPECT_EQ(dir.Read(dlg->runLog().Path().substr(dir.Path().size() + 1)), "AppRunLog:\r\n\r\nCOM1");
}

TEST_F(StartupSequence, MissingLanguageFileEndsBeforeAnyPortOrFolder) {
  data::RemoveFile(dir.PathOf("Language.ini"));
  WithPackage();
  const app::StartupOutcome outcome = Run();
  EXPECT_FALSE(outcome.languageReady);
  EXPECT_TRUE(serial.openAttempts().empty());
  EXPECT_FALSE(dir.Exists("Data"));
  ASSERT_EQ(screen.boxes().size(), 1u);
  EXPECT_EQ(screen.boxes()[0].text, "Language.ini does not exist !");
}

}  // namespace
}  // namespace tavro::test
