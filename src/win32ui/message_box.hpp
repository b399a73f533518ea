#pragma once
// The window model's modal boxes as standard Windows message boxes: the
// buttons keep their standard ids (IDOK, IDCANCEL, IDYES, IDNO), so
// automation tools and screen readers find them.

#include <windows.h>

#include "platform/screen.hpp"

namespace tavro::win32ui {

// The MessageBoxW style of a shown kind (OK 0, warning 48, error 16,
// Yes/No 36, OK/Cancel 33).
UINT BoxStyle(platform::MessageKind kind);

// Shows the box owned by `owner` and returns the button pressed; kinds that
// show nothing return kNoButton. With `englishButtons` a thread-local CBT
// hook, installed just before the box and removed right after it, captions
// the buttons in English when the box is activated.
int ShowMessageBox(HWND owner, const platform::MessageBoxRequest& request);

}  // namespace tavro::win32ui
