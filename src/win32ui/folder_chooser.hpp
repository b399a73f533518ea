#pragma once
// The choice of a folder (Restore from backup): the system's folder browser
// with an edit line, so a path can be typed (or set by an automation tool)
// as well as picked from the tree.

#include <windows.h>

#include <optional>
#include <string>

namespace tavro::win32ui {

// The folder chosen (UTF-8), offered from `start`; nullopt when the dialog
// was cancelled.
std::optional<std::string> ChooseExistingFolder(HWND owner, const std::string& start);

}  // namespace tavro::win32ui
