#pragma once
// The window's controls as data: id -> what the control shows. Handlers change
// entries; "refresh the controls" hands the changed ones to the Screen
// (TakeChanges). Setters mark an entry changed only when its value really
// changes; setters for an id the table does not hold do nothing.

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/control_state.hpp"

namespace tavro::platform {

class ControlTable {
 public:
  // Adds (or replaces) a control; it counts as changed.
  void Add(int id, ControlState state);
  bool Has(int id) const { return controls_.count(id) != 0; }
  // The control's state; an empty label state for an unknown id.
  const ControlState& Get(int id) const;
  std::size_t Size() const { return controls_.size(); }

  void SetText(int id, std::string text);
  void AppendText(int id, const std::string& text);
  // Moves on whenever the control's text changes, so a caller can tell that
  // what it measured of the text still holds.
  std::uint64_t TextRevision(int id) const;
  void SetEnabled(int id, bool enabled);
  void SetVisible(int id, bool visible);
  void SetIcon(int id, int icon);
  void SetRange(int id, int rangeMin, int rangeMax);
  void SetPos(int id, int pos);
  void SetItems(int id, std::vector<std::string> items);
  // -1 or an index into the items; other values select nothing.
  void SetSelected(int id, int index);
  void SetChecked(int id, bool checked);

  // The entries changed since the last call, in id order, and forgets them.
  std::vector<ControlChange> TakeChanges();
  bool HasChanges() const { return !changed_.empty(); }
  // Every entry, in id order (a front end's first full drawing).
  std::vector<ControlChange> All() const;

 private:
  ControlState* Find(int id);
  template <typename T>
  void Update(int id, T ControlState::*field, T value);

  std::map<int, ControlState> controls_;
  std::set<int> changed_;
  std::map<int, std::uint64_t> textRevisions_;
};

// The main window's controls as the window is created: the visible controls
// with empty captions (the language supplies them), no state icons yet, the
// progress bar at the platform's default range 0..100, the port list empty,
// the developer panel hidden with the fixed entries of its lists (baud list
// on "115200"), and the window title under kWindowTitle.
ControlTable MakeMainWindowControls();

}  // namespace tavro::platform
