// The demo set-up and the whole dialog against the simulated terminal on a
// pseudo terminal: real serial port, real worker thread, Qt event loop.

#include "gui/demo.hpp"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <functional>
#include <vector>

#include "data/file_io.hpp"
#include "data/ini_to_bin.hpp"
#include "gui/session.hpp"
#include "link/com_ports.hpp"
#include "platform/control_ids.hpp"
#include "support/temp_dir.hpp"

namespace tavro::gui {
namespace {

constexpr int kPatienceMs = 30000;

// Runs a real event loop until `done` holds. QTest::qWaitFor sleeps between
// its rounds, which would slow the serial worker's byte-by-byte hand-over
// far below the line rate.
bool RunUntil(const std::function<bool()>& done, int limitMs) {
  QEventLoop loop;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (done())
      loop.quit();
  });
  QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
  poll.start(5);
  if (!done())
    loop.exec();
  return done();
}

// Clicks the button and runs until the window has enabled it again.
bool ClickAndWait(MainWindow& window, int id, int limitMs) {
  auto* button = qobject_cast<QPushButton*>(window.Control(id));
  if (button == nullptr)
    return false;
  QTest::mouseClick(button, Qt::LeftButton);
  return RunUntil([&] { return button->isEnabled(); }, limitMs);
}

// Boxes are answered with OK and their texts kept in `boxes`.
void RecordBoxes(Session& session, std::vector<std::string>& boxes) {
  session.screen().SetBoxAnswerer([&boxes](const platform::MessageBoxRequest& request) {
    boxes.push_back(request.text);
    return platform::kButtonOk;
  });
}

TEST(SampleProgramDir, CopiesThePackageAndBuildsItsDescription) {
  test::TempDir package;
  ASSERT_TRUE(
      package.Write("SwUpdate-source.ini", "[Flash_Addr_Start]\n[A]\na=1\nb=2\nc=3\nd=x\n"));
  ASSERT_TRUE(package.Write("Language.ini", "[Language]\n"));
  ASSERT_TRUE(package.Write("SW/Flash/app.bin", "APP"));
  ASSERT_TRUE(package.Write(".gitignore", "*.bin\n"));
  ASSERT_TRUE(package.Write(".hidden/x", "x"));
  test::TempDir out;
  std::string error;
  ASSERT_TRUE(MakeSampleProgramDir(package.Path(), out.PathOf("program"), error)) << error;

  EXPECT_EQ(out.Read("program/Language.ini"), "[Language]\n");
  EXPECT_EQ(out.Read("program/SW/Flash/app.bin"), "APP");
  EXPECT_FALSE(out.Exists("program/SwUpdate-source.ini"));
  EXPECT_FALSE(out.Exists("program/.gitignore"));
  EXPECT_FALSE(out.Exists("program/.hidden"));
  ASSERT_TRUE(data::IniToBin(out.PathOf("direct.ini"), package.PathOf("SwUpdate-source.ini")));
  EXPECT_EQ(out.Read("program/SwUpdate.ini"), out.Read("direct.ini"));
  EXPECT_EQ(out.Read("program/SwUpdate.ini").size(), 16u + 56u);
}

TEST(SampleProgramDir, WithoutThePackageSourceNothingIsMade) {
  test::TempDir package;
  ASSERT_TRUE(package.Write("Language.ini", "[Language]\n"));
  test::TempDir out;
  std::string error;
  EXPECT_FALSE(MakeSampleProgramDir(package.Path(), out.PathOf("program"), error));
  EXPECT_NE(error.find("SwUpdate-source.ini"), std::string::npos);
  EXPECT_FALSE(out.Exists("program"));
}

TEST(FreeComNumber, SkipsNumbersTakenByAliases) {
  const std::uint32_t first = FreeComNumber(link::kLastComNumber);
  ASSERT_NE(first, 0u);
  const std::string alias = std::string(link::kComAliasPrefix) + std::to_string(first);
  ::setenv(alias.c_str(), "/dev/null", 1);
  const std::uint32_t next = FreeComNumber(link::kLastComNumber);
  ::unsetenv(alias.c_str());
  EXPECT_LT(next, first);
  EXPECT_EQ(FreeComNumber(first), first);
  EXPECT_LE(FreeComNumber(1000), link::kLastComNumber);
}

TEST(Demo, ViewDeviceInformationOfTheSimulatedTerminal) {
  std::string error;
  std::unique_ptr<DemoTerminal> demo = DemoTerminal::Start(TAVRO_TEST_PACKAGE_DIR, error);
  ASSERT_NE(demo, nullptr) << error;
  const std::string alias = std::string(link::kComAliasPrefix) + std::to_string(demo->comNumber());
  ASSERT_NE(std::getenv(alias.c_str()), nullptr);

  {
    Session session(demo->programDir());
    std::vector<std::string> boxes;
    session.screen().SetBoxAnswerer([&](const platform::MessageBoxRequest& request) {
      boxes.push_back(request.text);
      return platform::kButtonOk;
    });
    const app::StartupOutcome outcome = session.Start();
    ASSERT_TRUE(outcome.portOpened);
    ASSERT_TRUE(outcome.packageReady);
    ASSERT_EQ(session.model().context().port.number, demo->comNumber());
    MainWindow& window = session.window();
    auto* list = qobject_cast<QComboBox*>(window.Control(platform::kPortList));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->currentText().toStdString(), link::ComName(demo->comNumber()));
    EXPECT_EQ(window.IconShown(platform::kPortStatusIcon), platform::kIconOn);
    ASSERT_TRUE(session.model().controls().Get(platform::kDeviceInfoButton).enabled);

    auto* button = qobject_cast<QPushButton*>(window.Control(platform::kDeviceInfoButton));
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_FALSE(button->isEnabled());  // busy while the terminal is asked
    ASSERT_TRUE(RunUntil([&] { return button->isEnabled(); }, kPatienceMs));

    const auto text = [&](const char* key) { return session.model().language().Text(key); };
    const std::string expected = text("Dis_Bl_Ver") + ": 2.15\n" + text("Dis_ChipNum") +
                                 ": QZA100\n" + text("Dis_CompanyNum") + ": TVRO\n" +
                                 text("Dis_Ver_CurApp") + ": 1.0.2.0\n" + text("Dis_Ver_BakApp") +
                                 ": 1.0.1.0\n" + text("Dis_Ver_Para") + ": 1.2.0.0";
    auto* info = qobject_cast<QLabel*>(window.Control(platform::kInfoText));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->text().toStdString(), expected);
    EXPECT_EQ(window.IconShown(platform::kConnectionStatusIcon), platform::kIconOn);
    EXPECT_TRUE(boxes.empty()) << boxes.front();
    session.model().Close();
  }
  demo.reset();
  EXPECT_EQ(std::getenv(alias.c_str()), nullptr);
}

// The window's Backup button after Device Info: the progress bar runs over
// 0..1024, and the summary names the files that are now on the disk.
TEST(Demo, BackupOfTheSimulatedTerminal) {
  std::string error;
  std::unique_ptr<DemoTerminal> demo = DemoTerminal::Start(TAVRO_TEST_PACKAGE_DIR, error);
  ASSERT_NE(demo, nullptr) << error;
  Session session(demo->programDir());
  std::vector<std::string> boxes;
  RecordBoxes(session, boxes);
  ASSERT_TRUE(session.Start().portOpened);
  MainWindow& window = session.window();
  const auto press = [&](int id) { return ClickAndWait(window, id, kPatienceMs); };
  ASSERT_TRUE(press(platform::kDeviceInfoButton));
  ASSERT_TRUE(boxes.empty()) << boxes.front();
  ASSERT_TRUE(press(platform::kBackupButton));
  const auto text = [&](const char* key) { return session.model().language().Text(key); };
  EXPECT_EQ(boxes, std::vector<std::string>{text("Sw_Backup_Ok")});
  const engine::LinkState& s = session.model().context().link;
  EXPECT_TRUE(data::FileExists(s.AppBackupFile)) << s.AppBackupFile;
  EXPECT_EQ(data::ListFiles(s.DataBackupFolder, "*.dat").size(), 5u);
  auto* bar = qobject_cast<QProgressBar*>(window.Control(platform::kProgressBar));
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->maximum(), 1024);
  EXPECT_EQ(bar->value(), 1024);
  auto* note = qobject_cast<QLabel*>(window.Control(platform::kProgressNote));
  ASSERT_NE(note, nullptr);
  EXPECT_EQ(note->text().toStdString().rfind(text("Dis_TotalTime") + ":", 0), 0u);
  session.model().Close();
}

// The window's Download button against the demo terminal: its questions
// answered with OK, the package goes in and the terminal runs its new App.
TEST(Demo, DownloadOfTheSamplePackage) {
  std::string error;
  std::unique_ptr<DemoTerminal> demo = DemoTerminal::Start(TAVRO_TEST_PACKAGE_DIR, error);
  ASSERT_NE(demo, nullptr) << error;
  Session session(demo->programDir());
  std::vector<std::string> boxes;
  RecordBoxes(session, boxes);
  ASSERT_TRUE(session.Start().portOpened);
  MainWindow& window = session.window();
  const auto press = [&](int id) { return ClickAndWait(window, id, 120000); };
  ASSERT_TRUE(press(platform::kDeviceInfoButton));
  boxes.clear();
  ASSERT_TRUE(press(platform::kDownloadButton));
  const auto text = [&](const char* key) { return session.model().language().Text(key); };
  ASSERT_TRUE(
      RunUntil([&] { return !boxes.empty() && boxes.back() == text("Run_RunOk"); }, kPatienceMs));
  EXPECT_EQ(boxes[boxes.size() - 2], text("Dis_DevRestart"));
  EXPECT_FALSE(data::FileExists(demo->programDir() + "/QZDownload.bin"));
  auto* download = qobject_cast<QPushButton*>(window.Control(platform::kDownloadButton));
  ASSERT_NE(download, nullptr);
  EXPECT_EQ(download->text().toStdString(), text("B_Run"));
  session.model().Close();
}

TEST(Demo, PulledTerminalClosesThePortWithTheLossMessage) {
  std::string error;
  std::unique_ptr<DemoTerminal> demo = DemoTerminal::Start(TAVRO_TEST_PACKAGE_DIR, error);
  ASSERT_NE(demo, nullptr) << error;
  Session session(demo->programDir());
  std::vector<std::string> boxes;
  RecordBoxes(session, boxes);
  ASSERT_TRUE(session.Start().portOpened);
  ASSERT_EQ(session.window().IconShown(platform::kPortStatusIcon), platform::kIconOn);

  demo->StopTerminal();
  ASSERT_TRUE(RunUntil([&] { return !boxes.empty(); }, kPatienceMs));
  const auto text = [&](const char* key) { return session.model().language().Text(key); };
  const std::string lost =
      "Serial port " + link::ComName(demo->comNumber()) + " " + text("C_ComLost");
  EXPECT_EQ(boxes, std::vector<std::string>{lost});
  EXPECT_EQ(session.window().IconShown(platform::kPortStatusIcon), platform::kIconOff);
  auto* info = qobject_cast<QLabel*>(session.window().Control(platform::kInfoText));
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->text().toStdString(), lost);
  auto* portButton = qobject_cast<QPushButton*>(session.window().Control(platform::kPortButton));
  ASSERT_NE(portButton, nullptr);
  EXPECT_EQ(portButton->text().toStdString(), text("B_OpenCom"));
  session.model().Close();
}

}  // namespace
}  // namespace tavro::gui
