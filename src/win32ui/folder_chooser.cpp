#include "win32ui/folder_chooser.hpp"

#include <shlobj.h>

#include <vector>

#include "win32ui/wide_text.hpp"

namespace tavro::win32ui {
namespace {

// Opens the browser at the start folder once it is shown.
int CALLBACK OnBrowse(HWND hwnd, UINT message, LPARAM, LPARAM data) {
  if (message == BFFM_INITIALIZED && data != 0)
    ::SendMessageW(hwnd, BFFM_SETSELECTIONW, TRUE, data);
  return 0;
}

}  // namespace

std::optional<std::string> ChooseExistingFolder(HWND owner, const std::string& start) {
  const std::wstring from = Wide(start);
  BROWSEINFOW info{};
  info.hwndOwner = owner;
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_VALIDATE;
  info.lpfn = OnBrowse;
  info.lParam = reinterpret_cast<LPARAM>(from.c_str());
  PIDLIST_ABSOLUTE chosen = ::SHBrowseForFolderW(&info);
  if (chosen == nullptr)
    return std::nullopt;
  // Long paths: the buffer the shell may fill, not the classic MAX_PATH.
  std::vector<wchar_t> path(32768, L'\0');
  const BOOL ok =
      ::SHGetPathFromIDListEx(chosen, path.data(), static_cast<DWORD>(path.size()), GPFIDL_DEFAULT);
  ::CoTaskMemFree(chosen);
  if (!ok)
    return std::nullopt;
  return Utf8(path.data());
}

}  // namespace tavro::win32ui
