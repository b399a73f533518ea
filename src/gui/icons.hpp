#pragma once
// The tool's own artwork: the application icon and the on/off state lamps.

#include <QIcon>
#include <QPixmap>

namespace tavro::gui {

// The window and application icon.
QIcon AppIcon();
// The state lamp for platform::kIconOn or platform::kIconOff at `size` pixels (device
// independent); an empty pixmap for any other value.
QPixmap StateIcon(int icon, int size);

}  // namespace tavro::gui
