#pragma once
// The package builder's choice of a file: the system's open-file dialog.

#include <windows.h>

#include <optional>
#include <string>

namespace tavro::win32ui {

// "Label|patterns|Label|patterns||" as the dialog's filter: each label and
// its patterns end with a NUL and the list with a second one. A label or
// patterns left out are given the other's text.
std::wstring OpenFileFilter(const std::string& filter);

// The file chosen (UTF-8), nullopt when the dialog was cancelled.
std::optional<std::string> ChooseExistingFile(HWND owner, const std::string& filter);

}  // namespace tavro::win32ui
