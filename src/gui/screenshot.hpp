#pragma once
// The unattended picture of the window for the documentation: optionally
// views the device information first, then grabs the window into a PNG.

#include <QString>
#include <functional>

namespace tavro::gui {

class Session;

// Boxes are answered without a dialog (questions with their "do not go on"
// button) and their texts go to stderr. With `viewDeviceInfo` the device
// information button is pressed and the grab waits until the window is idle
// again (at most `limitMs`). `done` gets whether the file was written.
void TakeScreenshot(Session& session, const QString& path, bool viewDeviceInfo, int limitMs,
                    std::function<void(bool written)> done);

}  // namespace tavro::gui
