#include "gui/main_window.hpp"

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <memory>
#include <vector>

#include "app/ctavro_dlg.hpp"
#include "app/message_box.hpp"
#include "app/package_builder.hpp"
#include "gui/qt_loop.hpp"
#include "gui/qt_screen.hpp"
#include "platform/control_ids.hpp"
#include "support/box_answers.hpp"
#include "support/fake_serial_link.hpp"
#include "support/temp_dir.hpp"

namespace tavro::gui {
namespace {

using platform::ControlState;

constexpr const char* kLanguage =
    "[Language]\nLanguageSet=0\n[LanguageStart]\n[Test]\n"
    "Sw_Title=Window T\nSw_BoxTitle=Box T\n"
    "B_Connect=Info T\nB_Backup=Backup T\nB_Update=Upgrade T\nB_Download=Download T\n"
    "B_Run=Run T\nB_OpenCom=Open T\nB_CloseCom=Close T\n"
    "S_Basic=Basic T\nS_Cmd=Cmd T\nS_Info=Info area T\nS_Status=status T\nS_Com=Port T\n"
    "S_Connect=Link T\nS_Num=Number T\nS_OnOff=Switch T\n"
    "C_Com=Serial T\nC_NoCom=cannot T\nC_ComClose=Closed T\nC_ComLost=lost T\n"
    "Ext_Menu_Tools=&Tools T\nExt_Menu_BuildPackage=&Build T\nExt_Menu_RollBack=&Roll back T\n"
    "Ext_Pkg_Written=Written T\nExt_Pkg_Install=Install T\n"
    "Ext_Menu_Restore=&Restore T\n";

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() {
    EXPECT_TRUE(dir.Write("Language.ini", kLanguage));
    window.Attach(model);
    window.SetExitHandler([this](int status) { exits.push_back(status); });
    screen.SetBoxAnswerer([this](const platform::MessageBoxRequest& request) {
      boxes.push_back(request);
      return answers.Next(request.kind);
    });
  }

  bool StartUp() {
    if (!model.SetUpWindow())
      return false;
    model.FinishWindowSetUp();
    window.show();
    return QTest::qWaitForWindowExposed(&window);
  }

  template <typename W>
  W* Widget(int id) {
    auto* w = qobject_cast<W*>(window.Control(id));
    EXPECT_NE(w, nullptr) << "control " << id;
    return w;
  }
  QString TextOf(int id) {
    if (auto* b = qobject_cast<QAbstractButton*>(window.Control(id)))
      return b->text();
    if (auto* g = qobject_cast<QGroupBox*>(window.Control(id)))
      return g->title();
    if (auto* l = qobject_cast<QLabel*>(window.Control(id)))
      return l->text();
    return QStringLiteral("<no text control>");
  }
  void Click(int id) { QTest::mouseClick(Widget<QAbstractButton>(id), Qt::LeftButton); }

  test::TempDir dir;
  QtLoop loop;
  MainWindow window;
  QtScreen screen{window};
  test::FakeSerialLink serial;
  std::vector<link::PortEntry> ports;
  app::CTAVRODlg model{loop, screen, serial, dir.Path(), [this] { return ports; }};
  std::vector<platform::MessageBoxRequest> boxes;
  test::BoxAnswers answers;
  std::vector<int> exits;
};

TEST_F(MainWindowTest, CaptionsComeFromTheLanguageFile) {
  ASSERT_TRUE(StartUp());
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Window T"));
  EXPECT_EQ(TextOf(platform::kDeviceInfoButton), QStringLiteral("Info T"));
  EXPECT_EQ(TextOf(platform::kBackupButton), QStringLiteral("Backup T"));
  EXPECT_EQ(TextOf(platform::kDownloadButton), QStringLiteral("Run T"));  // no QZDownload.bin
  EXPECT_EQ(TextOf(platform::kUpgradeButton), QStringLiteral("Upgrade T"));
  EXPECT_EQ(TextOf(platform::kPortButton), QStringLiteral("Open T"));
  EXPECT_EQ(TextOf(platform::kBasicSettingsGroup), QStringLiteral("Basic T"));
  EXPECT_EQ(TextOf(platform::kFunctionGroup), QStringLiteral("Cmd T"));
  EXPECT_EQ(TextOf(platform::kInfoGroup), QStringLiteral("Info area T"));
  EXPECT_EQ(TextOf(platform::kPortStatusLabel), QStringLiteral("Port T\nstatus T"));
  EXPECT_EQ(TextOf(platform::kConnectionStatusLabel), QStringLiteral("Link T\nstatus T"));
  EXPECT_EQ(TextOf(platform::kPortNumberLabel), QStringLiteral("Number T"));
  EXPECT_EQ(TextOf(platform::kPortSwitchLabel), QStringLiteral("Switch T"));
  EXPECT_EQ(TextOf(platform::kInfoText), QStringLiteral("Ready"));
  EXPECT_EQ(window.IconShown(platform::kPortStatusIcon), platform::kIconOff);
  EXPECT_EQ(window.IconShown(platform::kConnectionStatusIcon), platform::kIconOff);
  EXPECT_EQ(window.ToolsMenu()->title(), QStringLiteral("&Tools T"));
  EXPECT_EQ(window.BuildPackageAction()->text(), QStringLiteral("&Build T"));
  EXPECT_EQ(window.RollBackAction()->text(), QStringLiteral("&Roll back T"));
  EXPECT_TRUE(boxes.empty());
}

TEST_F(MainWindowTest, WithoutLanguageFileTheBoxAppearsAndTheWindowKeepsItsOwnTexts) {
  ASSERT_TRUE(std::filesystem::remove(dir.PathOf("Language.ini")));
  EXPECT_FALSE(model.SetUpWindow());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, app::kLanguageFileMissingText);
  EXPECT_EQ(boxes[0].kind, platform::kBoxError);
  EXPECT_EQ(TextOf(platform::kDeviceInfoButton), QStringLiteral("Device Info"));
  EXPECT_EQ(TextOf(platform::kPortButton), QStringLiteral("Open Port"));
  EXPECT_EQ(window.ToolsMenu()->title(), QStringLiteral("&Tools"));
  EXPECT_EQ(window.RollBackAction()->text(), QStringLiteral("&Roll back to the backup App…"));
  EXPECT_FALSE(serial.IsOpen());
}

TEST_F(MainWindowTest, DeveloperPanelExistsButStaysHidden) {
  ASSERT_TRUE(StartUp());
  auto* baud = Widget<QComboBox>(platform::kBaudList);
  ASSERT_NE(baud, nullptr);
  EXPECT_EQ(baud->count(), 2);
  EXPECT_EQ(baud->itemText(0), QStringLiteral("9600"));
  EXPECT_EQ(baud->currentIndex(), 1);
  EXPECT_NE(Widget<QPlainTextEdit>(platform::kTermText), nullptr);
  EXPECT_NE(Widget<QPushButton>(platform::kIniToBinButton), nullptr);
  EXPECT_NE(Widget<QPushButton>(platform::kRestartCommandButton), nullptr);
  auto* address = Widget<QLineEdit>(platform::kFlashAddressEdit);
  ASSERT_NE(address, nullptr);
  EXPECT_FALSE(address->isEnabled());  // disabled at start-up
  for (int id : {platform::kBaudList, platform::kTermText, platform::kIniToBinButton,
                 platform::kRestartCommandButton, platform::kFlashAddressEdit,
                 platform::kFlashSizeEdit, 1001, 1053}) {
    ASSERT_NE(window.Control(id), nullptr) << id;
    EXPECT_FALSE(window.Control(id)->isVisibleTo(&window)) << id;
  }
  EXPECT_TRUE(window.Control(platform::kDeviceInfoButton)->isVisibleTo(&window));
}

TEST_F(MainWindowTest, PortButtonOpensAndClosesThePortAndTheIconsFollow) {
  ASSERT_TRUE(StartUp());
  Click(platform::kPortButton);
  EXPECT_TRUE(serial.IsOpen());
  EXPECT_EQ(serial.openedPort(), 1u);
  EXPECT_EQ(window.IconShown(platform::kPortStatusIcon), platform::kIconOn);
  EXPECT_EQ(window.IconShown(platform::kConnectionStatusIcon), platform::kIconOff);
  EXPECT_FALSE(Widget<QLabel>(platform::kPortStatusIcon)->pixmap().isNull());
  EXPECT_EQ(TextOf(platform::kPortButton), QStringLiteral("Close T"));

  Click(platform::kPortButton);
  EXPECT_FALSE(serial.IsOpen());
  EXPECT_EQ(window.IconShown(platform::kPortStatusIcon), platform::kIconOff);
  EXPECT_EQ(TextOf(platform::kPortButton), QStringLiteral("Open T"));
  EXPECT_TRUE(boxes.empty());
}

TEST_F(MainWindowTest, PortThatCannotBeOpenedIsReportedInAnErrorBox) {
  ASSERT_TRUE(StartUp());
  serial.AllowOnly({});
  Click(platform::kPortButton);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].kind, platform::kBoxError);
  EXPECT_EQ(boxes[0].title, "Box T");
  EXPECT_EQ(boxes[0].text, "Serial TCOM1cannot T");
  EXPECT_EQ(window.IconShown(platform::kPortStatusIcon), platform::kIconOff);
}

TEST_F(MainWindowTest, OpeningThePortListEnumeratesAndChoosingAnEntryOpensThatPort) {
  ASSERT_TRUE(StartUp());
  ports = {{3, "/dev/ttyS2", "COM3"}, {7, "/dev/ttyS6", "COM7"}};
  auto* list = Widget<QComboBox>(platform::kPortList);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->count(), 0);
  list->showPopup();
  list->hidePopup();
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->itemText(1), QStringLiteral("COM7"));

  list->setFocus();
  QTest::keyClick(list, Qt::Key_Down);  // the user picks COM3
  EXPECT_EQ(serial.openedPort(), 3u);
  QTest::keyClick(list, Qt::Key_Down);  // then COM7
  EXPECT_EQ(serial.openedPort(), 7u);
  EXPECT_EQ(list->currentIndex(), 1);
  EXPECT_EQ(model.controls().Get(platform::kPortList).selected, 1);
  EXPECT_EQ(window.IconShown(platform::kPortStatusIcon), platform::kIconOn);
}

TEST_F(MainWindowTest, DeviceInfoWithThePortClosedSaysSoInAnErrorBox) {
  ASSERT_TRUE(StartUp());
  Click(platform::kDeviceInfoButton);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Closed T");
  EXPECT_EQ(boxes[0].kind, platform::kBoxError);
  EXPECT_EQ(boxes[0].title, "Box T");
  EXPECT_TRUE(serial.written().empty());
}

TEST_F(MainWindowTest, OperationButtonsReachTheModel) {
  ASSERT_TRUE(StartUp());
  std::vector<int> pressed;
  for (int id : {platform::kDeviceInfoButton, platform::kBackupButton, platform::kDownloadButton,
                 platform::kUpgradeButton})
    model.SetButtonHandler(id, [&pressed, id] { pressed.push_back(id); });
  for (int id : {platform::kUpgradeButton, platform::kDeviceInfoButton, platform::kBackupButton,
                 platform::kDownloadButton})
    Click(id);
  EXPECT_EQ(pressed, (std::vector<int>{platform::kUpgradeButton, platform::kDeviceInfoButton,
                                       platform::kBackupButton, platform::kDownloadButton}));
}

TEST_F(MainWindowTest, ShowControlsDrawsTextEnabledVisibleProgressAndLists) {
  platform::ControlState button;
  button.kind = platform::ControlKind::kPushButton;
  button.text = "Two\r\nlines";
  button.enabled = false;
  platform::ControlState note;
  note.text = "50% 00:12";
  note.visible = false;
  platform::ControlState bar;
  bar.kind = platform::ControlKind::kProgressBar;
  bar.rangeMax = 4096;
  bar.pos = 1024;
  platform::ControlState list;
  list.kind = platform::ControlKind::kDropDownList;
  list.items = {"COM1", "COM4"};
  list.selected = 1;
  platform::ControlState title;
  title.text = "Title";
  screen.ShowControls({{platform::kWindowTitle, title},
                       {platform::kUpgradeButton, button},
                       {platform::kProgressNote, note},
                       {platform::kProgressBar, bar},
                       {platform::kPortList, list},
                       {4242, title}});  // no such control: ignored

  EXPECT_EQ(window.windowTitle(), QStringLiteral("Title"));
  EXPECT_EQ(TextOf(platform::kUpgradeButton), QStringLiteral("Two\nlines"));
  EXPECT_FALSE(window.Control(platform::kUpgradeButton)->isEnabled());
  EXPECT_EQ(TextOf(platform::kProgressNote), QStringLiteral("50% 00:12"));
  EXPECT_FALSE(window.Control(platform::kProgressNote)->isVisibleTo(&window));
  auto* progress = Widget<QProgressBar>(platform::kProgressBar);
  EXPECT_EQ(progress->minimum(), 0);
  EXPECT_EQ(progress->maximum(), 4096);
  EXPECT_EQ(progress->value(), 1024);
  auto* ports = Widget<QComboBox>(platform::kPortList);
  EXPECT_EQ(ports->count(), 2);
  EXPECT_EQ(ports->currentText(), QStringLiteral("COM4"));

  // Enabled and shown again; an empty range must not turn the bar into a
  // busy indicator; a selection of -1 shows no entry.
  button.enabled = true;
  note.visible = true;
  bar.rangeMax = 0;
  bar.pos = 0;
  list.selected = -1;
  screen.ShowControls({{platform::kUpgradeButton, button},
                       {platform::kProgressNote, note},
                       {platform::kProgressBar, bar},
                       {platform::kPortList, list}});
  EXPECT_TRUE(window.Control(platform::kUpgradeButton)->isEnabled());
  EXPECT_TRUE(window.Control(platform::kProgressNote)->isVisibleTo(&window));
  EXPECT_LT(progress->minimum(), progress->maximum());
  EXPECT_EQ(progress->value(), 0);
  EXPECT_EQ(ports->currentIndex(), -1);
}

TEST_F(MainWindowTest, InformationTextIsPlainTextWithItsLineBreaks) {
  platform::ControlState info;
  info.text = "<b>App</b> 1.0\r\nBootloader 0x0230";
  screen.ShowControls({{platform::kInfoText, info}});
  auto* label = Widget<QLabel>(platform::kInfoText);
  EXPECT_EQ(label->text(), QStringLiteral("<b>App</b> 1.0\nBootloader 0x0230"));
  EXPECT_EQ(label->textFormat(), Qt::PlainText);
}

TEST_F(MainWindowTest, ConnectionIconFollowsTheControlTable) {
  ASSERT_TRUE(StartUp());
  auto& ctx = model.context();
  ctx.controls.SetIcon(platform::kConnectionStatusIcon, platform::kIconOn);
  ctx.Refresh();
  EXPECT_EQ(window.IconShown(platform::kConnectionStatusIcon), platform::kIconOn);
  const QImage on = Widget<QLabel>(platform::kConnectionStatusIcon)->pixmap().toImage();
  ctx.controls.SetIcon(platform::kConnectionStatusIcon, platform::kIconOff);
  ctx.Refresh();
  EXPECT_EQ(window.IconShown(platform::kConnectionStatusIcon), platform::kIconOff);
  const QImage off = Widget<QLabel>(platform::kConnectionStatusIcon)->pixmap().toImage();
  EXPECT_FALSE(on.isNull());
  EXPECT_FALSE(off.isNull());
  EXPECT_NE(on, off);
  ctx.controls.SetIcon(platform::kConnectionStatusIcon, platform::kIconNone);
  ctx.Refresh();
  EXPECT_TRUE(Widget<QLabel>(platform::kConnectionStatusIcon)->pixmap().isNull());
}

TEST_F(MainWindowTest, EditsOfTheFlashFieldsReachTheModel) {
  // Before the start-up disables them.
  auto* size = Widget<QLineEdit>(platform::kFlashSizeEdit);
  ASSERT_NE(size, nullptr);
  QTest::keyClicks(size, "0x40");
  EXPECT_EQ(model.controls().Get(platform::kFlashSizeEdit).text, "0x40");
}

TEST_F(MainWindowTest, EnterDoesNothingAndEscEndsWithoutTheCloseRoutine) {
  ASSERT_TRUE(StartUp());
  QTest::keyClick(&window, Qt::Key_Return);
  QTest::keyClick(&window, Qt::Key_Enter);
  EXPECT_TRUE(exits.empty());
  EXPECT_TRUE(boxes.empty());
  EXPECT_TRUE(window.isVisible());
  QTest::keyClick(&window, Qt::Key_Escape);
  EXPECT_EQ(exits, std::vector<int>{kEscapeExitStatus});
  EXPECT_FALSE(window.isVisible());
}

TEST_F(MainWindowTest, CloseBoxRunsTheCloseRoutineAndEndsWithItsStatus) {
  ASSERT_TRUE(StartUp());
  window.close();
  EXPECT_EQ(exits, std::vector<int>{app::kCloseExitStatus});
  EXPECT_TRUE(boxes.empty()) << "an idle window asks nothing";
  window.close();  // already ended: the routine does not run twice
  EXPECT_EQ(exits.size(), 1u);
}

// An operation that only occupies the window.
class Occupying final : public engine::Operation {
 public:
  bool CheckFileSet(engine::Context&) override { return true; }
  void OnIdentified(engine::Context&, engine::Identification) override {}
};

TEST_F(MainWindowTest, CloseBoxDuringAnOperationAsksAndCancelKeepsTheWindow) {
  ASSERT_TRUE(StartUp());
  model.context().operations.Install(std::make_shared<Occupying>());
  answers.Queue(platform::kButtonCancel);
  window.close();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].kind, platform::kBoxOkCancel);
  EXPECT_TRUE(exits.empty());
  EXPECT_TRUE(window.isVisible());
  answers.Queue(platform::kButtonOk);
  window.close();
  EXPECT_EQ(boxes.size(), 2u);
  EXPECT_EQ(exits, std::vector<int>{app::kCloseExitStatus});
}

TEST_F(MainWindowTest, RestoreMenuEntryHasItsCaptionAndAsksForNoFolderWithoutAConnection) {
  ASSERT_TRUE(StartUp());
  QAction* action = window.OperationAction(platform::kRestoreAction);
  ASSERT_NE(action, nullptr);
  EXPECT_EQ(action->text(), QStringLiteral("&Restore T"));
  int asked = 0;
  screen.SetFolderChooser([&asked](const QString&) -> std::optional<std::string> {
    ++asked;
    return std::nullopt;
  });
  action->trigger();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Closed T");
  EXPECT_EQ(asked, 0);
  EXPECT_TRUE(serial.written().empty());
}

TEST_F(MainWindowTest, BuildPackageMenuRunsTheBuilderAndSaysWhereTheResultWent) {
  ASSERT_TRUE(StartUp());
  ASSERT_TRUE(
      dir.Write("src/SwUpdate-source.ini", "[Flash_Addr_Start]\n[A]\nk1=1\nk2=2\nk3=3\nk4=a\n"));
  std::vector<QString> filters;
  screen.SetFileChooser([&](const QString& filter) -> std::optional<std::string> {
    filters.push_back(filter);
    if (filters.size() == 1)
      return std::nullopt;  // cancelled
    return dir.PathOf("src/SwUpdate-source.ini");
  });
  QAction* action = window.BuildPackageAction();
  ASSERT_NE(action, nullptr);
  EXPECT_TRUE(action->isEnabled());

  action->trigger();
  EXPECT_TRUE(boxes.empty());
  EXPECT_FALSE(dir.Exists("src/NewIni"));

  action->trigger();
  ASSERT_EQ(filters.size(), 2u);
  EXPECT_EQ(filters[1], QtFileFilter(app::kPackageSourceFilter));
  EXPECT_EQ(dir.Read("src/NewIni/SwUpdate-source.ini").size(), 16u + 56u);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].kind, platform::kBoxOk);
  EXPECT_EQ(boxes[0].title, "Box T");
  EXPECT_EQ(boxes[0].text,
            "Written T\r\n" + dir.PathOf("src/NewIni/SwUpdate-source.ini") + "\r\nInstall T");
}

}  // namespace
}  // namespace tavro::gui
