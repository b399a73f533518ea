#include "win32ui/main_dialog.hpp"

#include <commctrl.h>

#include <stdexcept>

#include "app/ctavro_dlg.hpp"
#include "app/startup_labels.hpp"
#include "operations/registry.hpp"
#include "platform/control_ids.hpp"
#include "win32ui/wide_text.hpp"
#include "win32ui/win32_loop.hpp"

namespace tavro::win32ui {
namespace {

// Outside the window model's timers 1..12.
constexpr UINT_PTR kTransferPollTimer = 100;

std::wstring WindowText(HWND window) {
  const int length = ::GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), length + 1)));
  return text;
}

void SetTextIfChanged(HWND window, const std::wstring& text) {
  if (WindowText(window) != text)
    ::SetWindowTextW(window, text.c_str());
}

HICON LoadSharedIcon(HINSTANCE instance, int id, int size) {
  return static_cast<HICON>(
      ::LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_SHARED));
}

}  // namespace

MainDialog::MainDialog(HINSTANCE instance, Win32Loop& loop) : loop_(loop), instance_(instance) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&controls);
  hwnd_ = ::CreateDialogParamW(instance, MAKEINTRESOURCEW(kDialogResource), nullptr, &Procedure,
                               reinterpret_cast<LPARAM>(this));
  if (hwnd_ == nullptr)
    throw std::runtime_error("the main window cannot be created (error " +
                             std::to_string(::GetLastError()) + ")");
  loop_.Attach(hwnd_);
  ::SetTimer(hwnd_, kTransferPollTimer, kTransferPollMs, nullptr);
}

MainDialog::~MainDialog() {
  if (hwnd_ != nullptr) {
    ::KillTimer(hwnd_, kTransferPollTimer);
    ::DestroyWindow(hwnd_);
  }
}

void MainDialog::Show() {
  ::ShowWindow(hwnd_, SW_SHOW);
  ::UpdateWindow(hwnd_);
}

INT_PTR CALLBACK MainDialog::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<MainDialog*>(lParam);
    self->hwnd_ = hwnd;
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, lParam);
    ::SendMessageW(hwnd, WM_SETICON, ICON_BIG,
                   reinterpret_cast<LPARAM>(
                       LoadSharedIcon(self->instance_, kAppIcon, ::GetSystemMetrics(SM_CXICON))));
    ::SendMessageW(hwnd, WM_SETICON, ICON_SMALL,
                   reinterpret_cast<LPARAM>(
                       LoadSharedIcon(self->instance_, kAppIcon, ::GetSystemMetrics(SM_CXSMICON))));
    // The operations of the Tools menu follow its own entry, one per row;
    // each carries the id it presses.
    if (HMENU tools = ::GetSubMenu(::GetMenu(hwnd), 0)) {
      for (const operations::OperationRow& row : operations::OperationRows()) {
        if (row.placement == operations::Placement::kToolsMenu)
          ::AppendMenuW(tools, MF_STRING, static_cast<UINT_PTR>(row.controlId),
                        Wide(row.defaultCaption).c_str());
      }
    }
    return TRUE;
  }
  auto* self = reinterpret_cast<MainDialog*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  return self != nullptr ? self->Handle(message, wParam, lParam) : FALSE;
}

INT_PTR MainDialog::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  if (loop_.HandleMessage(message, wParam, lParam))
    return TRUE;
  switch (message) {
    case WM_TIMER:
      if (wParam == kTransferPollTimer && poll_)
        poll_();
      return TRUE;
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return TRUE;
    case WM_CTLCOLORSTATIC:
      if (::GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) == platform::kWarningText) {
        const auto dc = reinterpret_cast<HDC>(wParam);
        ::SetTextColor(dc, RGB(255, 0, 0));
        ::SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<INT_PTR>(::GetSysColorBrush(COLOR_BTNFACE));
      }
      return FALSE;
    case WM_CLOSE:
      if (exitStatus_)
        return TRUE;
      if (model_ == nullptr) {
        End(app::kCloseExitStatus);
      } else if (model_->ConfirmClose()) {
        End(model_->Close());
      }
      return TRUE;
    default:
      return FALSE;
  }
}

void MainDialog::OnCommand(int id, int code) {
  if (model_ == nullptr || exitStatus_)
    return;
  if (id == IDOK) {
    model_->OnEnter();
    return;
  }
  if (id == IDCANCEL) {
    End(kEscapeExitStatus);
    return;
  }
  const platform::ControlState& state = model_->controls().Get(id);
  switch (state.kind) {
    case platform::ControlKind::kDropDownList:
      if (code == CBN_DROPDOWN) {
        model_->OnDropDown(id);
      } else if (code == CBN_SELCHANGE) {
        const auto index = ::SendDlgItemMessageW(hwnd_, id, CB_GETCURSEL, 0, 0);
        model_->OnSelect(id, static_cast<int>(index));
      }
      return;
    case platform::ControlKind::kEdit:
      if (code == EN_CHANGE && !applying_)
        model_->OnEditChanged(id, Utf8(WindowText(::GetDlgItem(hwnd_, id))));
      return;
    default:
      // Buttons, and the menu's commands, which carry the ids they press.
      if (code == BN_CLICKED)
        model_->OnButton(id);
      return;
  }
}

void MainDialog::End(int status) {
  exitStatus_ = status;
  ::ShowWindow(hwnd_, SW_HIDE);
  ::PostQuitMessage(status);
}

HICON MainDialog::StateIcon(int icon) const {
  if (icon != platform::kIconOn && icon != platform::kIconOff)
    return nullptr;
  return LoadSharedIcon(instance_, icon, ::GetSystemMetrics(SM_CXICON));
}

void MainDialog::ApplyControl(int id, const platform::ControlState& state) {
  if (id == platform::kWindowTitle) {
    SetTextIfChanged(hwnd_, Wide(state.text));
    // The title is captioned once the language is selected; so is the menu.
    ApplyMenuCaptions();
    return;
  }
  HWND control = ::GetDlgItem(hwnd_, id);
  if (control == nullptr)
    return;
  applying_ = true;
  switch (state.kind) {
    case platform::ControlKind::kDropDownList:
      ::SendMessageW(control, CB_RESETCONTENT, 0, 0);
      for (const std::string& item : state.items) {
        const std::wstring text = Wide(item);
        ::SendMessageW(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
      }
      ::SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(state.selected), 0);
      break;
    case platform::ControlKind::kPicture:
      ::SendMessageW(control, STM_SETICON, reinterpret_cast<WPARAM>(StateIcon(state.icon)), 0);
      break;
    case platform::ControlKind::kProgressBar:
      ::SendMessageW(control, PBM_SETRANGE32, static_cast<WPARAM>(state.rangeMin),
                     static_cast<LPARAM>(state.rangeMax));
      ::SendMessageW(control, PBM_SETPOS, static_cast<WPARAM>(state.pos), 0);
      break;
    case platform::ControlKind::kCheckBox:
    case platform::ControlKind::kRadioButton:
      ::SendMessageW(control, BM_SETCHECK, state.checked ? BST_CHECKED : BST_UNCHECKED, 0);
      SetTextIfChanged(control, Wide(state.text));
      break;
    default:
      SetTextIfChanged(control, Wide(state.text));
      break;
  }
  applying_ = false;
  ::EnableWindow(control, state.enabled ? TRUE : FALSE);
  ::ShowWindow(control, state.visible ? SW_SHOWNA : SW_HIDE);
  // The menu's commands are available when what they press is; the
  // operations of the menu when an operation may start.
  const UINT menuState = MF_BYCOMMAND | (state.enabled ? MF_ENABLED : MF_GRAYED);
  if (id == platform::kIniToBinButton)
    ::EnableMenuItem(::GetMenu(hwnd_), platform::kIniToBinButton, menuState);
  if (id == platform::kDeviceInfoButton) {
    for (const operations::OperationRow& row : operations::OperationRows()) {
      if (row.placement == operations::Placement::kToolsMenu)
        ::EnableMenuItem(::GetMenu(hwnd_), static_cast<UINT>(row.controlId), menuState);
    }
  }
}

void MainDialog::ApplyMenuCaptions() {
  if (model_ == nullptr || !model_->language().HasLanguage())
    return;
  HMENU menu = ::GetMenu(hwnd_);
  if (menu == nullptr)
    return;
  const app::MenuCaptions captions = app::MenuCaptionsOf(model_->language());
  const std::wstring tools = Wide(captions.tools);
  const std::wstring build = Wide(captions.buildPackage);
  ::ModifyMenuW(menu, 0, MF_BYPOSITION | MF_STRING | MF_POPUP,
                reinterpret_cast<UINT_PTR>(::GetSubMenu(menu, 0)), tools.c_str());
  ::ModifyMenuW(menu, platform::kIniToBinButton, MF_BYCOMMAND | MF_STRING,
                platform::kIniToBinButton, build.c_str());
  for (const auto& [id, caption] : captions.operations) {
    const auto command = static_cast<UINT_PTR>(id);
    ::ModifyMenuW(menu, static_cast<UINT>(id), MF_BYCOMMAND | MF_STRING, command,
                  Wide(caption).c_str());
  }
  ::DrawMenuBar(hwnd_);
}

void MainDialog::ShowTransferLine(const std::string& line) {
  SetTextIfChanged(::GetDlgItem(hwnd_, kTransferLine), Wide(line));
}

void MainDialog::ShowNotice(const std::string& text) {
  HWND line = ::GetDlgItem(hwnd_, kTransferLine);
  ::SetWindowTextW(line, Wide(text).c_str());
  ::UpdateWindow(line);
}

}  // namespace tavro::win32ui
