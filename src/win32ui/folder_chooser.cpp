#include "win32ui/folder_chooser.hpp"

#include <ole2.h>
#include <shlobj.h>

#include <filesystem>
#include <vector>

#include "win32ui/wide_text.hpp"

namespace tavro::win32ui {
namespace {

constexpr const wchar_t* kStateProperty = L"TavroFolderChoice";

// What the browser's run needs beside the dialog: where it starts, and the
// path typed into its edit line when OK was pressed (some browsers give
// back the tree's selection instead of what was typed).
struct BrowseState {
  std::wstring start;
  WNDPROC original = nullptr;
  std::wstring typed;
};

LRESULT CALLBACK KeepTypedPath(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* state = static_cast<BrowseState*>(::GetPropW(hwnd, kStateProperty));
  if (state == nullptr)
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
  const WNDPROC original = state->original;
  if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
    if (HWND edit = ::FindWindowExW(hwnd, nullptr, L"Edit", nullptr)) {
      std::vector<wchar_t> text(32768, L'\0');
      ::GetWindowTextW(edit, text.data(), static_cast<int>(text.size()));
      state->typed = text.data();
    }
  } else if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
    ::RemovePropW(hwnd, kStateProperty);
  }
  return ::CallWindowProcW(original, hwnd, message, wParam, lParam);
}

// Opens the browser at the start folder once it is shown, and watches its
// OK button.
int CALLBACK OnBrowse(HWND hwnd, UINT message, LPARAM, LPARAM data) {
  if (message != BFFM_INITIALIZED || data == 0)
    return 0;
  auto* state = reinterpret_cast<BrowseState*>(data);
  ::SendMessageW(hwnd, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(state->start.c_str()));
  ::SetPropW(hwnd, kStateProperty, state);
  state->original = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(KeepTypedPath)));
  return 0;
}

// The browser's newer form (with its edit line) needs OLE on its thread.
class OleScope {
 public:
  OleScope() : ok_(SUCCEEDED(::OleInitialize(nullptr))) {}
  ~OleScope() {
    if (ok_)
      ::OleUninitialize();
  }
  OleScope(const OleScope&) = delete;
  OleScope& operator=(const OleScope&) = delete;

 private:
  bool ok_;
};

}  // namespace

std::optional<std::string> ChooseExistingFolder(HWND owner, const std::string& start) {
  const OleScope ole;
  BrowseState state;
  state.start = Wide(start);
  for (wchar_t& c : state.start) {
    if (c == L'/')
      c = L'\\';
  }
  BROWSEINFOW info{};
  info.hwndOwner = owner;
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_USENEWUI;
  info.lpfn = OnBrowse;
  info.lParam = reinterpret_cast<LPARAM>(&state);
  PIDLIST_ABSOLUTE chosen = ::SHBrowseForFolderW(&info);
  if (chosen == nullptr)
    return std::nullopt;
  // Long paths: the buffer the shell may fill, not the classic MAX_PATH.
  std::vector<wchar_t> path(32768, L'\0');
  const BOOL ok =
      ::SHGetPathFromIDListEx(chosen, path.data(), static_cast<DWORD>(path.size()), GPFIDL_DEFAULT);
  ::CoTaskMemFree(chosen);
  // A whole path typed into the edit line is what was chosen; a name there
  // is only the tree's selection shown again.
  if (!state.typed.empty() && std::filesystem::path(state.typed).is_absolute())
    return Utf8(state.typed);
  if (!ok)
    return std::nullopt;
  return Utf8(path.data());
}

}  // namespace tavro::win32ui
