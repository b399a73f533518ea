#pragma once
// The unattended picture of the window for the documentation: optionally
// presses buttons first (View device information, then Backup, ...), then
// grabs the window into a PNG.

#include <QString>
#include <functional>
#include <vector>

namespace tavro::gui {

class Session;

// Boxes are answered without a dialog (questions with their "do not go on"
// button) and their texts go to stderr. Each of `buttons` is pressed in turn
// once the window is idle again (each waits at most `limitMs`); then the
// window is grabbed. `done` gets whether the file was written.
void TakeScreenshot(Session& session, const QString& path, std::vector<int> buttons, int limitMs,
                    std::function<void(bool written)> done);

}  // namespace tavro::gui
