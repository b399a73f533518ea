// The Win32 window under automation: every step goes through Win32
// messages (a click on a control id, a box answered by its standard button
// id, a control's text read back) against the demo's terminal.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "data/file_io.hpp"
#include "data/restore_point.hpp"
#include "platform/control_ids.hpp"
#include "platform/control_table.hpp"
#include "support/temp_dir.hpp"
#include "win32ui/file_chooser.hpp"
#include "win32ui/main_dialog.hpp"
#include "win32ui/message_box.hpp"
#include "win32ui/wide_text.hpp"
#include "win32ui/window_driver.hpp"

namespace tavro::test {
namespace {

using namespace std::chrono_literals;
namespace ids = platform;

// Set TAVRO_WINDOW_TRACE=1 to see every box a test answered.
void Trace(const std::vector<ShownBox>& boxes, const std::string& info = {}) {
  if (std::getenv("TAVRO_WINDOW_TRACE") == nullptr)
    return;
  for (const ShownBox& box : boxes)
    std::fprintf(stderr, "box [%s]: %s\n", box.title.c_str(), box.text.c_str());
  std::fprintf(stderr, "info: %s\n", info.c_str());
}

bool Contains(const std::string& text, const std::string& part) {
  return !part.empty() && text.find(part) != std::string::npos;
}

bool AnyBoxSays(const std::vector<ShownBox>& boxes, const std::string& part) {
  for (const ShownBox& box : boxes) {
    if (Contains(box.text, part))
      return true;
  }
  return false;
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(window.Started()) << window.Error();
    ASSERT_TRUE(window.WaitIdle(30s)) << "the window did not come up idle";
  }
  // View device information, which every other operation needs first.
  void Connect() {
    bool finished = false;
    const auto boxes = window.Press(ids::kDeviceInfoButton, GoOn, 60s, &finished);
    Trace(boxes, window.Text(ids::kInfoText));
    ASSERT_TRUE(finished);
    ASSERT_TRUE(boxes.empty()) << boxes.front().text;
  }

  WindowDriver window;
};

TEST_F(WindowTest, TheDialogHoldsEveryControlOfTheTableAndHidesTheDeveloperPanel) {
  for (const platform::ControlChange& control : platform::MakeMainWindowControls().All()) {
    if (control.id == ids::kWindowTitle)
      continue;
    ASSERT_NE(::GetDlgItem(window.Dialog(), control.id), nullptr) << "control " << control.id;
    EXPECT_EQ(window.Visible(control.id), control.state.visible) << "control " << control.id;
  }
  EXPECT_EQ(window.ClassOf(ids::kDeviceInfoButton), L"Button");
  EXPECT_EQ(window.ClassOf(ids::kPortList), L"ComboBox");
  EXPECT_EQ(window.ClassOf(ids::kProgressBar), L"msctls_progress32");
  EXPECT_EQ(window.ClassOf(ids::kPortStatusIcon), L"Static");
  // Captions from the language file, and the port the demo's terminal is on.
  EXPECT_EQ(window.Title(), window.LanguageText("Sw_Title"));
  EXPECT_EQ(window.Text(ids::kDeviceInfoButton), window.LanguageText("B_Connect"));
  EXPECT_EQ(window.Text(ids::kBackupButton), window.LanguageText("B_Backup"));
  EXPECT_EQ(window.Text(ids::kPortButton), window.LanguageText("B_CloseCom"));
  EXPECT_EQ(window.Text(ids::kPortList), "COM9");
  EXPECT_NE(window.Icon(ids::kPortStatusIcon), nullptr);
  EXPECT_TRUE(window.MenuEnabled(ids::kRollBackAction));
  EXPECT_FALSE(window.Visible(win32ui::kTransferLine) &&
               !window.Text(win32ui::kTransferLine).empty());
}

TEST_F(WindowTest, EnterDoesNothingAndTheCloseBoxEndsWithStatusOne) {
  ::PostMessageW(window.Dialog(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  std::this_thread::sleep_for(300ms);
  EXPECT_TRUE(window.Idle());
  ::PostMessageW(window.Dialog(), WM_CLOSE, 0, 0);
  ASSERT_TRUE(window.WaitUntil([&] { return window.ExitStatus().has_value(); }, 10s));
  EXPECT_EQ(window.ExitStatus(), 1);
}

TEST_F(WindowTest, ViewDeviceInformationFillsTheInformationArea) {
  Connect();
  const std::string info = window.Text(ids::kInfoText);
  EXPECT_TRUE(Contains(info, window.LanguageText("Dis_Ver_CurApp"))) << info;
  EXPECT_TRUE(Contains(info, window.LanguageText("Dis_Bl_Ver"))) << info;
  EXPECT_EQ(window.Icon(ids::kConnectionStatusIcon) != nullptr, true);
}

TEST_F(WindowTest, BackupEndsWithItsFinishedBox) {
  Connect();
  bool finished = false;
  const auto boxes = window.Press(ids::kBackupButton, GoOn, 120s, &finished);
  Trace(boxes, window.Text(ids::kInfoText));
  ASSERT_TRUE(finished);
  ASSERT_FALSE(boxes.empty());
  EXPECT_TRUE(Contains(boxes.back().text, window.LanguageText("Sw_Backup_Ok")))
      << boxes.back().text;
  // The buttons carry the standard ids, captioned in English.
  EXPECT_EQ(boxes.back().buttons.count(IDOK), 1u);
  EXPECT_EQ(boxes.back().buttons.at(IDOK), "Ok");
  EXPECT_EQ(window.ProgressPos(), window.ProgressMax());
}

TEST_F(WindowTest, DownloadRunsThePackageAndTheTransferLineShowsItsFigures) {
  Connect();
  // What the line beside the progress bar showed while the App went over.
  std::vector<std::string> lines;
  std::atomic<bool> stop{false};
  std::thread sampler([&] {
    while (!stop) {
      const std::string line = window.Text(win32ui::kTransferLine);
      if (!line.empty() && (lines.empty() || lines.back() != line))
        lines.push_back(line);
      std::this_thread::sleep_for(50ms);
    }
  });
  bool finished = false;
  const auto boxes = window.Press(ids::kDownloadButton, GoOn, 300s, &finished);
  stop = true;
  sampler.join();
  Trace(boxes, window.Text(ids::kInfoText));
  ASSERT_TRUE(finished);
  EXPECT_FALSE(AnyBoxSays(boxes, window.LanguageText("Sw_UpdateStop")));
  ASSERT_FALSE(boxes.empty());
  EXPECT_TRUE(Contains(boxes.back().text, window.LanguageText("Dis_DevRestart")))
      << boxes.back().text;
  EXPECT_TRUE(Contains(window.Text(ids::kInfoText), "1.0.3.0")) << window.Text(ids::kInfoText);
  bool rated = false;
  for (const std::string& line : lines)
    rated = rated || (Contains(line, "App") && Contains(line, window.LanguageText("Ext_Tr_Rate")));
  EXPECT_TRUE(rated) << (lines.empty() ? std::string("no line") : lines.back());
  // Idle again: a finished transfer's figures are history.
  EXPECT_TRUE(window.WaitUntil([&] { return window.Text(win32ui::kTransferLine).empty(); }, 2s));
}

TEST_F(WindowTest, UpgradeConvertsTheDataAndRuns) {
  Connect();
  bool finished = false;
  const auto boxes = window.Press(ids::kUpgradeButton, GoOn, 300s, &finished);
  Trace(boxes, window.Text(ids::kInfoText));
  ASSERT_TRUE(finished);
  const std::string info = window.Text(ids::kInfoText);
  EXPECT_TRUE(Contains(info, window.LanguageText("Dis_DataConv"))) << info;
  EXPECT_FALSE(AnyBoxSays(boxes, window.LanguageText("Sw_UpdateStop")));
}

TEST_F(WindowTest, RollBackFromTheMenuAsksFirstAndReturnsToTheBackupApp) {
  Connect();
  bool finished = false;
  const auto asked =
      window.Operate([&] { window.Menu(ids::kRollBackAction); }, GoOn, 60s, &finished);
  Trace(asked, window.Text(ids::kInfoText));
  ASSERT_TRUE(finished);
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked.front().buttons.count(IDOK), 1u);
  EXPECT_EQ(asked.front().buttons.count(IDCANCEL), 1u);
  // The window is idle while the terminal works; its report follows in a box.
  const std::optional<ShownBox> result = window.WaitForBox(150s);
  ASSERT_TRUE(result.has_value());
  EXPECT_TRUE(Contains(result->text, window.LanguageText("Run_AppGobackOk"))) << result->text;
  window.Answer(*result, IDOK);
  ASSERT_TRUE(window.WaitIdle(10s));
  Connect();
  EXPECT_TRUE(Contains(window.Text(ids::kInfoText), "1.0.1.0")) << window.Text(ids::kInfoText);
}

TEST_F(WindowTest, RestoreFromTheMenuTakesTheFolderTypedIntoTheBrowser) {
  Connect();
  bool finished = false;
  auto boxes = window.Press(ids::kBackupButton, GoOn, 120s, &finished);
  ASSERT_TRUE(finished);
  const std::vector<data::RestorePoint> points = data::ListRestorePoints(window.ProgramDir());
  ASSERT_FALSE(points.empty());
  const std::string folder = points.front().dataFolder;
  Connect();
  bool typed = false;
  boxes =
      window.Operate([&] { window.Menu(ids::kRestoreAction); },
                     [&](const ShownBox& box) {
                       // The folder browser: its edit line takes the path.
                       if (HWND edit = ::FindWindowExW(box.hwnd, nullptr, L"Edit", nullptr)) {
                         ::SendMessageW(edit, WM_SETTEXT, 0,
                                        reinterpret_cast<LPARAM>(win32ui::Wide(folder).c_str()));
                         typed = true;
                         return IDOK;
                       }
                       return GoOn(box);
                     },
                     300s, &finished);
  Trace(boxes, window.Text(ids::kInfoText));
  ASSERT_TRUE(finished);
  EXPECT_TRUE(typed);
  EXPECT_TRUE(AnyBoxSays(boxes, window.LanguageText("Ext_Restore_Ask")));
  EXPECT_FALSE(AnyBoxSays(boxes, window.LanguageText("Sw_UpdateStop")));
  EXPECT_TRUE(Contains(window.Text(ids::kInfoText), window.LanguageText("Ext_Restore_Done")))
      << window.Text(ids::kInfoText);
}

TEST_F(WindowTest, CancelAtAQuestionLeavesTheTerminalAsItWas) {
  Connect();
  const std::string before = window.Text(ids::kInfoText);
  bool finished = false;
  // The roll back asks before it tells the terminal anything.
  auto asked = window.Operate([&] { window.Menu(ids::kRollBackAction); },
                              [](const ShownBox&) { return IDCANCEL; }, 60s, &finished);
  ASSERT_TRUE(finished);
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_FALSE(window.WaitForBox(3s).has_value());
  // The download asks before it starts: Cancel stops there.
  const std::string startQuestion = window.LanguageText("Run_Dl_Warn_L2");
  asked = window.Press(
      ids::kDownloadButton,
      [&](const ShownBox& box) { return Contains(box.text, startQuestion) ? IDCANCEL : IDOK; }, 60s,
      &finished);
  Trace(asked, window.Text(ids::kInfoText));
  ASSERT_TRUE(finished);
  ASSERT_TRUE(AnyBoxSays(asked, startQuestion));
  EXPECT_TRUE(window.Enabled(ids::kDownloadButton));
  Connect();
  EXPECT_EQ(window.Text(ids::kInfoText), before);
}

TEST_F(WindowTest, CancelAtTheCloseQuestionKeepsTheUpgradeGoingToItsEnd) {
  Connect();
  bool finished = false;
  bool closeAsked = false;
  const auto boxes = window.Operate(
      [&] {
        window.Click(ids::kUpgradeButton);
        ::PostMessageW(window.Dialog(), WM_CLOSE, 0, 0);
      },
      [&](const ShownBox& box) {
        // The close box's question is the OK/Cancel box without a version.
        if (!closeAsked && box.buttons.count(IDCANCEL) != 0 && !Contains(box.text, "1.0.3.0")) {
          closeAsked = true;
          return IDCANCEL;
        }
        return GoOn(box);
      },
      300s, &finished);
  Trace(boxes, window.Text(ids::kInfoText));
  ASSERT_TRUE(finished);
  EXPECT_TRUE(closeAsked);
  EXPECT_FALSE(window.ExitStatus().has_value());
  ASSERT_FALSE(boxes.empty());
  EXPECT_TRUE(Contains(boxes.back().text, window.LanguageText("Dis_DevRestart")))
      << boxes.back().text;
}

TEST_F(WindowTest, ASilentTerminalEndsInTheTimeOutBoxAndTheWindowStaysUsable) {
  window.Wire().PowerCut();
  bool finished = false;
  const auto boxes = window.Press(ids::kDeviceInfoButton, GoOn, 120s, &finished);
  Trace(boxes, window.Text(ids::kInfoText));
  ASSERT_TRUE(finished);
  ASSERT_FALSE(boxes.empty());
  EXPECT_TRUE(AnyBoxSays(boxes, window.LanguageText("Run_ConnectOverTime")));
  EXPECT_TRUE(window.Enabled(ids::kBackupButton));
  // Usable afterwards: with the terminal on again the same button works.
  window.Wire().PowerUp();
  // What the terminal says as it comes back is over before the button.
  while (const std::optional<ShownBox> late = window.WaitForBox(2s)) {
    Trace({*late});
    ASSERT_TRUE(window.Answer(*late, IDOK));
  }
  ASSERT_TRUE(window.WaitIdle(30s));
  Connect();
  EXPECT_TRUE(Contains(window.Text(ids::kInfoText), window.LanguageText("Dis_Bl_Ver")));
}

TEST_F(WindowTest, RemovingTheAdapterMidTransferStopsTheOperationAndTheWindowIdles) {
  Connect();
  bool finished = false;
  bool pulled = false;
  const auto boxes = window.Operate(
      [&] {
        window.Click(ids::kBackupButton);
        // Pull it once the transfer has got going.
        window.WaitUntil([&] { return window.ProgressPos() > 0 || window.OpenBox(); }, 30s);
        if (!window.OpenBox()) {
          window.Wire().Unplug();
          pulled = true;
        }
      },
      [&](const ShownBox& box) {
        if (!pulled) {
          pulled = true;
          window.Wire().Unplug();
        }
        return GoOn(box);
      },
      120s, &finished);
  Trace(boxes, window.Text(ids::kInfoText));
  ASSERT_TRUE(pulled);
  ASSERT_TRUE(finished);
  EXPECT_TRUE(AnyBoxSays(boxes, window.LanguageText("C_ComLost")) ||
              Contains(window.Text(ids::kInfoText), window.LanguageText("C_ComLost")));
  EXPECT_EQ(window.Text(ids::kPortButton), window.LanguageText("B_OpenCom"));
}

// Files in the folder and below it.
std::size_t CountFiles(const std::string& folder) {
  std::size_t count = 0;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(win32ui::Wide(folder), ec);
       !ec && it != std::filesystem::end(it); it.increment(ec)) {
    if (it->is_regular_file(ec))
      ++count;
  }
  return count;
}

TEST(WindowLanguageTest, TheChineseLanguageShowsAndItsBoxesKeepTheSystemsButtons) {
  WindowDriver window({}, [](const std::string& programDir) {
    const std::filesystem::path file =
        std::filesystem::path(win32ui::Wide(programDir)) / "Language.ini";
    std::ifstream in(file, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    const auto at = text.find("LanguageSet=0");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 13, "LanguageSet=1");
    std::ofstream(file, std::ios::binary) << text;
  });
  ASSERT_TRUE(window.Started()) << window.Error();
  ASSERT_TRUE(window.WaitIdle(30s));
  const std::string title = window.LanguageText("Sw_Title");
  ASSERT_NE(title, "Null");
  EXPECT_EQ(window.Title(), title);
  EXPECT_EQ(window.Text(ids::kDeviceInfoButton), window.LanguageText("B_Connect"));
  window.Wire().PowerCut();
  bool finished = false;
  const auto boxes = window.Press(ids::kDeviceInfoButton, GoOn, 120s, &finished);
  ASSERT_TRUE(finished);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, window.LanguageText("Sw_BoxTitle"));
  EXPECT_EQ(boxes[0].text, window.LanguageText("Run_ConnectOverTime"));
  // A box title in another script keeps the system's own captions.
  EXPECT_NE(boxes[0].buttons.at(IDOK), "Ok");
}

TEST(WindowPathTest, AProgramDirectoryWhoseNameIsNotAsciiWorks) {
  TempDir temp;
  const std::string parent = temp.Path() + "\\Prüfung 测试 ñ";
  ASSERT_TRUE(::CreateDirectoryW(win32ui::Wide(parent).c_str(), nullptr));
  {
    WindowDriver window(parent);
    ASSERT_TRUE(window.Started()) << window.Error();
    ASSERT_TRUE(window.WaitIdle(30s));
    ASSERT_NE(window.ProgramDir().find("测试"), std::string::npos);
    EXPECT_EQ(window.Text(ids::kDeviceInfoButton), window.LanguageText("B_Connect"));
    bool finished = false;
    auto boxes = window.Press(ids::kDeviceInfoButton, GoOn, 60s, &finished);
    ASSERT_TRUE(finished);
    ASSERT_TRUE(boxes.empty()) << boxes.front().text;
    const std::size_t filesBefore = CountFiles(window.ProgramDir());
    boxes = window.Press(ids::kBackupButton, GoOn, 120s, &finished);
    ASSERT_TRUE(finished);
    ASSERT_FALSE(boxes.empty());
    EXPECT_TRUE(Contains(boxes.back().text, window.LanguageText("Sw_Backup_Ok")))
        << boxes.back().text;
    // The backup's files are in the folder the window was given.
    EXPECT_GT(CountFiles(window.ProgramDir()), filesBefore);
  }
}

TEST(BoxStyleTest, EachShownKindHasTheStyleOfItsButtonsAndIcon) {
  EXPECT_EQ(win32ui::BoxStyle(platform::kBoxOk), 0u);
  EXPECT_EQ(win32ui::BoxStyle(platform::kBoxWarning), 48u);
  EXPECT_EQ(win32ui::BoxStyle(platform::kBoxError), 16u);
  EXPECT_EQ(win32ui::BoxStyle(platform::kBoxYesNo), 36u);
  EXPECT_EQ(win32ui::BoxStyle(platform::kBoxOkCancel), 33u);
  // Kinds that show nothing never reach a box.
  platform::MessageBoxRequest none;
  none.kind = platform::kBoxNone;
  EXPECT_EQ(win32ui::ShowMessageBox(nullptr, none), platform::kNoButton);
  none.kind = static_cast<platform::MessageKind>(9);
  EXPECT_EQ(win32ui::ShowMessageBox(nullptr, none), platform::kNoButton);
}

TEST(OpenFileFilterTest, BarsBecomeNulSeparatedPairsEndedByAnEmptyOne) {
  using namespace std::string_literals;
  EXPECT_EQ(win32ui::OpenFileFilter("Package source|*.ini|All files|*.*||"),
            L"Package source\0*.ini\0All files\0*.*\0\0"s);
  // A label without patterns, or patterns without a label, gets the other's.
  EXPECT_EQ(win32ui::OpenFileFilter("|*.ini|INI||"), L"*.ini\0*.ini\0INI\0INI\0\0"s);
  // Nothing usable: every file, never an empty list the dialog refuses.
  EXPECT_EQ(win32ui::OpenFileFilter("||"), L"*.*\0*.*\0\0"s);
  EXPECT_EQ(win32ui::OpenFileFilter("Ünïcode|*.ini"), L"Ünïcode\0*.ini\0\0"s);
}

// A child process whose handles close with it.
struct Child {
  PROCESS_INFORMATION info{};
  ~Child() {
    if (info.hProcess != nullptr) {
      ::TerminateProcess(info.hProcess, 255);  // only when a test failed half-way
      ::CloseHandle(info.hProcess);
      ::CloseHandle(info.hThread);
    }
  }
};

// tavro.exe itself, on a serial port with a terminal behind it: the Windows
// script names the program, the port and the program directory
// (TAVRO_EXE, TAVRO_WINDOW_PORT, TAVRO_WINDOW_PROGRAM_DIR).
TEST(ProgramTest, TavroExeRunsEachOperationOnTheNamedPortAndTheCloseBoxEndsIt) {
  const char* exe = std::getenv("TAVRO_EXE");
  const char* port = std::getenv("TAVRO_WINDOW_PORT");
  const char* dir = std::getenv("TAVRO_WINDOW_PROGRAM_DIR");
  if (exe == nullptr || port == nullptr || dir == nullptr)
    GTEST_SKIP() << "TAVRO_EXE, TAVRO_WINDOW_PORT and TAVRO_WINDOW_PROGRAM_DIR name the run";
  std::wstring command = L"\"" + win32ui::Wide(exe) + L"\" --dir \"" + win32ui::Wide(dir) +
                         L"\" --port " + win32ui::Wide(port);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  Child child;
  ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &child.info));
  WindowDriver window(child.info.dwProcessId, dir, 60s);
  ASSERT_TRUE(window.Started()) << window.Error();
  ASSERT_TRUE(window.WaitIdle(60s));
  EXPECT_EQ(window.Text(ids::kPortList), port);

  struct Step {
    int button;
    // A box that must be among the step's; the download's last words depend
    // on what the terminal already holds (the console has run before).
    const char* lastBoxKey;
  };
  for (const Step step :
       {Step{ids::kDeviceInfoButton, nullptr}, Step{ids::kBackupButton, "Sw_Backup_Ok"},
        Step{ids::kDeviceInfoButton, nullptr}, Step{ids::kDownloadButton, nullptr},
        Step{ids::kDeviceInfoButton, nullptr}, Step{ids::kUpgradeButton, nullptr}}) {
    bool finished = false;
    auto boxes = window.Press(step.button, GoOn, 600s, &finished);
    ASSERT_TRUE(finished) << "button " << step.button;
    // The terminal may report once more after the window went idle (its
    // restart after a download): such a box belongs to this step.
    while (const std::optional<ShownBox> late = window.WaitForBox(3s)) {
      boxes.push_back(*late);
      ASSERT_TRUE(window.Answer(*late, GoOn(*late)));
      ASSERT_TRUE(window.WaitIdle(60s));
    }
    Trace(boxes, window.Text(ids::kInfoText));
    EXPECT_FALSE(AnyBoxSays(boxes, window.LanguageText("Sw_UpdateStop"))) << step.button;
    if (step.lastBoxKey == nullptr && step.button == ids::kDeviceInfoButton) {
      EXPECT_TRUE(boxes.empty()) << boxes.front().text;
      EXPECT_TRUE(Contains(window.Text(ids::kInfoText), window.LanguageText("Dis_Bl_Ver")));
    } else if (step.lastBoxKey != nullptr) {
      EXPECT_TRUE(AnyBoxSays(boxes, window.LanguageText(step.lastBoxKey)))
          << "button " << step.button;
    }
  }
  // An idle window closes at once, through the close routine.
  ::PostMessageW(window.Dialog(), WM_CLOSE, 0, 0);
  ASSERT_EQ(::WaitForSingleObject(child.info.hProcess, 30000), WAIT_OBJECT_0);
  DWORD status = 0;
  ::GetExitCodeProcess(child.info.hProcess, &status);
  EXPECT_EQ(status, 1u);
}

// The screen under the window, as a 24-bit bottom-up BMP file.
bool SaveWindowPicture(HWND window, const std::string& path) {
  RECT rect{};
  if (!::GetWindowRect(window, &rect))
    return false;
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0)
    return false;
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = ::SelectObject(memory, bitmap);
  const bool copied =
      ::BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY) != 0;
  ::SelectObject(memory, old);
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = width;
  header.biHeight = height;  // bottom-up, as BMP files store rows
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
  std::vector<char> pixels(stride * static_cast<std::size_t>(height));
  const int rows = ::GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
                               reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
  ::DeleteObject(bitmap);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  if (!copied || rows != height)
    return false;
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof header;
  file.bfSize = static_cast<DWORD>(file.bfOffBits + pixels.size());
  std::ofstream out(std::filesystem::path(win32ui::Wide(path)), std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&header), sizeof header);
  out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
  return static_cast<bool>(out);
}

// The picture of the window after a finished upgrade on the demo's
// terminal, for the documentation (scripts/screenshot-windows names the
// file in TAVRO_SCREENSHOT).
TEST(ScreenshotTest, TheWindowAfterAFinishedUpgrade) {
  const char* path = std::getenv("TAVRO_SCREENSHOT");
  if (path == nullptr)
    GTEST_SKIP() << "TAVRO_SCREENSHOT names the picture";
  WindowDriver window;
  ASSERT_TRUE(window.Started()) << window.Error();
  ASSERT_TRUE(window.WaitIdle(30s));
  bool finished = false;
  auto boxes = window.Press(ids::kDeviceInfoButton, GoOn, 60s, &finished);
  ASSERT_TRUE(finished);
  boxes = window.Press(ids::kUpgradeButton, GoOn, 300s, &finished);
  ASSERT_TRUE(finished);
  ASSERT_FALSE(boxes.empty());
  ASSERT_TRUE(Contains(boxes.back().text, window.LanguageText("Dis_DevRestart")));
  // The picture is of the window alone: a box that follows the last one is
  // answered too.
  while (const std::optional<ShownBox> box = window.WaitForBox(3s)) {
    std::fprintf(stderr, "box after the upgrade: %s\n", box->text.c_str());
    ASSERT_TRUE(window.Answer(*box, IDOK));
  }
  // Shown afresh, so that nothing of the boxes that closed stays on the
  // screen under it.
  ::ShowWindowAsync(window.Dialog(), SW_HIDE);
  std::this_thread::sleep_for(500ms);
  ::ShowWindowAsync(window.Dialog(), SW_SHOW);
  ::SetForegroundWindow(window.Dialog());
  std::this_thread::sleep_for(1500ms);
  EXPECT_TRUE(SaveWindowPicture(window.Dialog(), path));
}

}  // namespace
}  // namespace tavro::test
