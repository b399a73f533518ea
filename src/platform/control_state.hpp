#pragma once
// What the window shows of one control. The window model keeps one entry per
// control id in its control table and hands the changed entries to the Screen.

#include <string>
#include <vector>

namespace tavro::platform {

// The two state icons of the port-status and connection-status pictures.
inline constexpr int kIconNone = 0;
inline constexpr int kIconOn = 133;
inline constexpr int kIconOff = 134;

enum class ControlKind {
  kWindow,  // the window itself; its text is the title
  kGroupBox,
  kLabel,
  kPushButton,
  kDropDownList,
  kEdit,
  kCheckBox,
  kRadioButton,
  kPicture,
  kProgressBar,
};

struct ControlState {
  ControlKind kind = ControlKind::kLabel;
  std::string text;  // caption, label or edit text
  bool enabled = true;
  bool visible = true;
  int icon = kIconNone;  // pictures: kIconNone, kIconOn or kIconOff
  int rangeMin = 0;      // progress bar
  int rangeMax = 0;
  int pos = 0;
  std::vector<std::string> items;  // drop-down lists
  int selected = -1;               // index into items, -1 for none
  bool checked = false;            // check and radio buttons

  bool operator==(const ControlState&) const = default;
};

struct ControlChange {
  int id = 0;
  ControlState state;
};

}  // namespace tavro::platform
