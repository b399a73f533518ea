#include "win32ui/message_box.hpp"

#include "app/message_box.hpp"
#include "win32ui/wide_text.hpp"

namespace tavro::win32ui {
namespace {

// The hook of the box being shown on this thread; boxes nest when a tick
// opens one while another is up, so each keeps its own.
thread_local HHOOK currentHook = nullptr;

LRESULT CALLBACK RecaptionButtons(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) {
    const auto box = reinterpret_cast<HWND>(wParam);
    const std::pair<int, const wchar_t*> captions[] = {
        {IDYES, L"Yes"},     {IDNO, L"No"},         {IDOK, L"Ok"},       {IDCANCEL, L"Cancel"},
        {IDABORT, L"Abort"}, {IDIGNORE, L"Ignore"}, {IDRETRY, L"Retry"},
    };
    for (const auto& [id, caption] : captions) {
      if (HWND button = ::GetDlgItem(box, id))
        ::SetWindowTextW(button, caption);
    }
  }
  return ::CallNextHookEx(currentHook, code, wParam, lParam);
}

// Installs the hook for one box and removes it when the box has closed.
class ButtonHook {
 public:
  ButtonHook() : previous_(currentHook) {
    hook_ = ::SetWindowsHookExW(WH_CBT, RecaptionButtons, nullptr, ::GetCurrentThreadId());
    currentHook = hook_;
  }
  ~ButtonHook() {
    if (hook_ != nullptr)
      ::UnhookWindowsHookEx(hook_);
    currentHook = previous_;
  }
  ButtonHook(const ButtonHook&) = delete;
  ButtonHook& operator=(const ButtonHook&) = delete;

 private:
  HHOOK previous_;
  HHOOK hook_ = nullptr;
};

}  // namespace

UINT BoxStyle(platform::MessageKind kind) {
  switch (kind) {
    case platform::kBoxWarning:
      return MB_OK | MB_ICONEXCLAMATION;
    case platform::kBoxError:
      return MB_OK | MB_ICONHAND;
    case platform::kBoxYesNo:
      return MB_YESNO | MB_ICONQUESTION;
    case platform::kBoxOkCancel:
      return MB_OKCANCEL | MB_ICONQUESTION;
    default:
      return MB_OK;
  }
}

int ShowMessageBox(HWND owner, const platform::MessageBoxRequest& request) {
  if (!app::IsShownBoxKind(request.kind))
    return platform::kNoButton;
  const std::wstring title = Wide(request.title);
  const std::wstring text = Wide(request.text);
  int pressed = 0;
  if (request.englishButtons) {
    ButtonHook hook;
    pressed = ::MessageBoxW(owner, text.c_str(), title.c_str(), BoxStyle(request.kind));
  } else {
    pressed = ::MessageBoxW(owner, text.c_str(), title.c_str(), BoxStyle(request.kind));
  }
  switch (pressed) {
    case IDOK:
    case IDCANCEL:
    case IDYES:
    case IDNO:
      return pressed;
    default:
      // The box could not be shown: answer as its "do not go on" button.
      if (request.kind == platform::kBoxYesNo)
        return platform::kButtonNo;
      if (request.kind == platform::kBoxOkCancel)
        return platform::kButtonCancel;
      return platform::kButtonOk;
  }
}

}  // namespace tavro::win32ui
