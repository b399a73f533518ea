#include "win32ui/window_driver.hpp"

#include <commctrl.h>

#include <algorithm>

#include "app/language.hpp"
#include "platform/control_ids.hpp"
#include "support/source_tree.hpp"
#include "win32ui/session.hpp"
#include "win32ui/wide_text.hpp"

namespace tavro::test {
namespace {

using namespace std::chrono_literals;
using win32ui::Utf8;

constexpr auto kPoll = 10ms;
// How long the window must stay idle to count as done: a stage may hand
// over to the next through a timer.
constexpr auto kSettle = 300ms;

// WM_GETTEXT itself: GetWindowText does not ask a control of another process.
std::string WindowText(HWND window) {
  if (window == nullptr)
    return {};
  wchar_t buffer[8192] = {};
  DWORD_PTR length = 0;
  if (!::SendMessageTimeoutW(window, WM_GETTEXT, std::size(buffer),
                             reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 10000, &length))
    return {};
  return Utf8(std::wstring_view(buffer, std::min<std::size_t>(length, std::size(buffer) - 1)));
}

std::wstring ClassName(HWND window) {
  wchar_t name[64] = {};
  ::GetClassNameW(window, name, static_cast<int>(std::size(name)));
  return name;
}

struct BoxSearch {
  HWND dialog;
  HWND found = nullptr;
};

BOOL CALLBACK FindBoxWindow(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<BoxSearch*>(param);
  if (window != search->dialog && ::IsWindowVisible(window) && ClassName(window) == L"#32770") {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK CollectBoxChild(HWND child, LPARAM param) {
  auto* box = reinterpret_cast<ShownBox*>(param);
  const int id = ::GetDlgCtrlID(child);
  const std::wstring name = ClassName(child);
  if (name == L"Button") {
    box->buttons[id] = WindowText(child);
  } else if (name == L"Static") {
    // The icon is a static too; the message is the static with the text.
    const std::string text = WindowText(child);
    if (text.size() > box->text.size())
      box->text = text;
  }
  return TRUE;
}

struct DialogSearch {
  DWORD processId;
  HWND found = nullptr;
};

BOOL CALLBACK FindProcessDialog(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<DialogSearch*>(param);
  DWORD processId = 0;
  ::GetWindowThreadProcessId(window, &processId);
  if (processId == search->processId && ::IsWindowVisible(window) &&
      ::GetDlgItem(window, platform::kDeviceInfoButton) != nullptr) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

int GoOn(const ShownBox& box) {
  if (box.buttons.count(IDYES) != 0)
    return IDYES;
  return IDOK;
}

WindowDriver::WindowDriver(const std::string& parent,
                           const std::function<void(const std::string&)>& prepare) {
  demo_ = win32ui::DemoTerminal::Make(SourcePath("package"), error_, parent);
  if (!demo_)
    return;
  programDir_ = demo_->programDir();
  if (prepare)
    prepare(programDir_);
  thread_ = std::thread([this] {
    std::unique_ptr<win32ui::Session> session;
    try {
      session =
          std::make_unique<win32ui::Session>(::GetModuleHandleW(nullptr), programDir_, demo_.get());
    } catch (const std::exception& e) {
      std::lock_guard lock(mutex_);
      error_ = e.what();
      readySet_ = true;
      ready_.notify_all();
      return;
    }
    {
      std::lock_guard lock(mutex_);
      dialog_ = session->dialog().hwnd();
      threadId_ = ::GetCurrentThreadId();
      readySet_ = true;
    }
    ready_.notify_all();
    const app::StartupOutcome outcome = session->Start(win32ui::kDemoCom);
    const int status = outcome.exitRequested ? app::kCloseExitStatus : session->Run();
    session.reset();
    std::lock_guard lock(mutex_);
    exitStatus_ = status;
  });
  std::unique_lock lock(mutex_);
  ready_.wait(lock, [this] { return readySet_; });
}

WindowDriver::WindowDriver(DWORD processId, std::string programDir, std::chrono::milliseconds limit)
    : programDir_(std::move(programDir)) {
  DialogSearch search{processId};
  WaitUntil(
      [&] {
        ::EnumWindows(&FindProcessDialog, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
      },
      limit);
  dialog_ = search.found;
  if (dialog_ == nullptr) {
    error_ = "no window of process " + std::to_string(processId);
    return;
  }
  threadId_ = ::GetWindowThreadProcessId(dialog_, nullptr);
}

WindowDriver::~WindowDriver() {
  End();
}

void WindowDriver::End() {
  if (!thread_.joinable())
    return;
  if (dialog_ != nullptr) {
    // Boxes first: Esc reaches the window only once none is open.
    for (int i = 0; i < 20; ++i) {
      const std::optional<ShownBox> box = OpenBox();
      if (!box)
        break;
      Answer(*box, box->buttons.count(IDNO) != 0       ? IDNO
                   : box->buttons.count(IDCANCEL) != 0 ? IDCANCEL
                                                       : IDOK);
    }
    ::PostMessageW(dialog_, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  }
  thread_.join();
}

std::optional<int> WindowDriver::ExitStatus() const {
  std::lock_guard lock(mutex_);
  return exitStatus_;
}

std::string WindowDriver::Text(int id) const {
  return WindowText(::GetDlgItem(dialog_, id));
}

std::string WindowDriver::Title() const {
  return WindowText(dialog_);
}

bool WindowDriver::Enabled(int id) const {
  HWND control = ::GetDlgItem(dialog_, id);
  return control != nullptr && ::IsWindowEnabled(control);
}

bool WindowDriver::Visible(int id) const {
  HWND control = ::GetDlgItem(dialog_, id);
  return control != nullptr && (::GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) != 0;
}

std::wstring WindowDriver::ClassOf(int id) const {
  HWND control = ::GetDlgItem(dialog_, id);
  return control != nullptr ? ClassName(control) : std::wstring();
}

int WindowDriver::ProgressPos() const {
  return static_cast<int>(::SendDlgItemMessageW(dialog_, platform::kProgressBar, PBM_GETPOS, 0, 0));
}

int WindowDriver::ProgressMax() const {
  return static_cast<int>(
      ::SendDlgItemMessageW(dialog_, platform::kProgressBar, PBM_GETRANGE, FALSE, 0));
}

HICON WindowDriver::Icon(int id) const {
  return reinterpret_cast<HICON>(::SendDlgItemMessageW(dialog_, id, STM_GETICON, 0, 0));
}

bool WindowDriver::MenuEnabled(int id) const {
  MENUITEMINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = MIIM_STATE;
  return ::GetMenuItemInfoW(::GetMenu(dialog_), static_cast<UINT>(id), FALSE, &info) &&
         (info.fState & MFS_DISABLED) == 0;
}

void WindowDriver::Click(int id) {
  ::PostMessageW(::GetDlgItem(dialog_, id), BM_CLICK, 0, 0);
}

void WindowDriver::Menu(int id) {
  ::PostMessageW(dialog_, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

std::optional<ShownBox> WindowDriver::OpenBox() const {
  BoxSearch search{dialog_};
  ::EnumThreadWindows(threadId_, &FindBoxWindow, reinterpret_cast<LPARAM>(&search));
  if (search.found == nullptr)
    return std::nullopt;
  ShownBox box;
  box.hwnd = search.found;
  box.title = WindowText(search.found);
  ::EnumChildWindows(search.found, &CollectBoxChild, reinterpret_cast<LPARAM>(&box));
  return box;
}

bool WindowDriver::WaitUntil(const std::function<bool()>& done,
                             std::chrono::milliseconds limit) const {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end)
      return false;
    std::this_thread::sleep_for(kPoll);
  }
  return true;
}

std::optional<ShownBox> WindowDriver::WaitForBox(std::chrono::milliseconds limit) const {
  std::optional<ShownBox> box;
  WaitUntil([&] { return (box = OpenBox()).has_value(); }, limit);
  if (box) {
    // Its captions are set when it is activated: read them after that.
    std::this_thread::sleep_for(50ms);
    box = OpenBox();
  }
  return box;
}

bool WindowDriver::Answer(const ShownBox& box, int id) const {
  HWND button = ::GetDlgItem(box.hwnd, id);
  if (button == nullptr)
    return false;
  ::PostMessageW(box.hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
  return WaitUntil([&] { return !::IsWindow(box.hwnd) || !::IsWindowVisible(box.hwnd); }, 5s);
}

bool WindowDriver::Idle() const {
  return Enabled(platform::kDeviceInfoButton) && !OpenBox();
}

bool WindowDriver::WaitIdle(std::chrono::milliseconds limit) const {
  const auto end = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (Idle()) {
      std::this_thread::sleep_for(kSettle);
      if (Idle())
        return true;
    }
    if (std::chrono::steady_clock::now() > end)
      return false;
    std::this_thread::sleep_for(kPoll);
  }
}

std::vector<ShownBox> WindowDriver::Operate(const std::function<void()>& press,
                                            const Answerer& answer, std::chrono::milliseconds limit,
                                            bool* finished) {
  std::vector<ShownBox> boxes;
  const std::string before = Text(platform::kInfoText);
  press();
  // Under way once the buttons are disabled, a box asks or the information
  // area changes.
  WaitUntil(
      [&] {
        return !Enabled(platform::kDeviceInfoButton) || OpenBox() ||
               Text(platform::kInfoText) != before;
      },
      5s);
  const auto end = std::chrono::steady_clock::now() + limit;
  bool done = false;
  while (std::chrono::steady_clock::now() < end) {
    if (std::optional<ShownBox> box = OpenBox()) {
      box = WaitForBox(1s);
      if (!box)
        continue;
      boxes.push_back(*box);
      const int id = answer(*box);
      if (!Answer(*box, id))
        break;
      continue;
    }
    if (Idle()) {
      std::this_thread::sleep_for(kSettle);
      if (Idle()) {
        done = true;
        break;
      }
      continue;
    }
    std::this_thread::sleep_for(kPoll);
  }
  if (finished != nullptr)
    *finished = done;
  return boxes;
}

std::vector<ShownBox> WindowDriver::Press(int button, const Answerer& answer,
                                          std::chrono::milliseconds limit, bool* finished) {
  return Operate([&] { Click(button); }, answer, limit, finished);
}

std::string WindowDriver::LanguageText(const char* key) const {
  app::Language language;
  language.Select(programDir_);
  return language.Text(key);
}

}  // namespace tavro::test
