#include "platform/control_table.hpp"

#include "platform/control_ids.hpp"

namespace tavro::platform {

void ControlTable::Add(int id, ControlState state) {
  controls_[id] = std::move(state);
  changed_.insert(id);
  ++textRevisions_[id];
}

const ControlState& ControlTable::Get(int id) const {
  static const ControlState kUnknown{};
  auto it = controls_.find(id);
  return it == controls_.end() ? kUnknown : it->second;
}

ControlState* ControlTable::Find(int id) {
  auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : &it->second;
}

template <typename T>
void ControlTable::Update(int id, T ControlState::*field, T value) {
  ControlState* c = Find(id);
  if (c == nullptr || c->*field == value)
    return;
  c->*field = std::move(value);
  changed_.insert(id);
}

void ControlTable::SetText(int id, std::string text) {
  ControlState* c = Find(id);
  if (c == nullptr || c->text == text)
    return;
  c->text = std::move(text);
  changed_.insert(id);
  ++textRevisions_[id];
}

void ControlTable::AppendText(int id, const std::string& text) {
  if (text.empty())
    return;
  ControlState* c = Find(id);
  if (c == nullptr)
    return;
  c->text += text;
  changed_.insert(id);
  ++textRevisions_[id];
}

std::uint64_t ControlTable::TextRevision(int id) const {
  const auto it = textRevisions_.find(id);
  return it == textRevisions_.end() ? 0 : it->second;
}

void ControlTable::SetEnabled(int id, bool enabled) {
  Update(id, &ControlState::enabled, enabled);
}

void ControlTable::SetVisible(int id, bool visible) {
  Update(id, &ControlState::visible, visible);
}

void ControlTable::SetIcon(int id, int icon) {
  Update(id, &ControlState::icon, icon);
}

void ControlTable::SetRange(int id, int rangeMin, int rangeMax) {
  Update(id, &ControlState::rangeMin, rangeMin);
  Update(id, &ControlState::rangeMax, rangeMax);
}

void ControlTable::SetPos(int id, int pos) {
  Update(id, &ControlState::pos, pos);
}

void ControlTable::SetItems(int id, std::vector<std::string> items) {
  ControlState* c = Find(id);
  if (c == nullptr)
    return;
  // A selection past the new list would point at nothing.
  if (c->selected >= static_cast<int>(items.size()))
    Update(id, &ControlState::selected, -1);
  Update(id, &ControlState::items, std::move(items));
}

void ControlTable::SetSelected(int id, int index) {
  const ControlState* c = Find(id);
  if (c == nullptr)
    return;
  if (index < -1 || index >= static_cast<int>(c->items.size()))
    index = -1;
  Update(id, &ControlState::selected, index);
}

void ControlTable::SetChecked(int id, bool checked) {
  Update(id, &ControlState::checked, checked);
}

std::vector<ControlChange> ControlTable::TakeChanges() {
  std::vector<ControlChange> out;
  out.reserve(changed_.size());
  for (int id : changed_) {
    auto it = controls_.find(id);
    if (it != controls_.end())
      out.push_back({id, it->second});
  }
  changed_.clear();
  return out;
}

std::vector<ControlChange> ControlTable::All() const {
  std::vector<ControlChange> out;
  out.reserve(controls_.size());
  for (const auto& [id, state] : controls_)
    out.push_back({id, state});
  return out;
}

namespace {

ControlState Make(ControlKind kind, bool visible = true, std::string text = {}) {
  ControlState s;
  s.kind = kind;
  s.visible = visible;
  s.text = std::move(text);
  return s;
}

ControlState List(bool visible, std::vector<std::string> items, int selected = -1) {
  ControlState s = Make(ControlKind::kDropDownList, visible);
  s.items = std::move(items);
  s.selected = selected;
  return s;
}

}  // namespace

ControlTable MakeMainWindowControls() {
  ControlTable t;
  t.Add(kWindowTitle, Make(ControlKind::kWindow));

  t.Add(kBasicSettingsGroup, Make(ControlKind::kGroupBox));
  t.Add(kPortNumberLabel, Make(ControlKind::kLabel));
  t.Add(kPortList, List(true, {}));
  t.Add(kPortSwitchLabel, Make(ControlKind::kLabel));
  t.Add(kPortButton, Make(ControlKind::kPushButton));
  t.Add(kPortStatusLabel, Make(ControlKind::kLabel));
  t.Add(kConnectionStatusLabel, Make(ControlKind::kLabel));
  t.Add(kPortStatusIcon, Make(ControlKind::kPicture));
  t.Add(kConnectionStatusIcon, Make(ControlKind::kPicture));

  t.Add(kFunctionGroup, Make(ControlKind::kGroupBox));
  t.Add(kDeviceInfoButton, Make(ControlKind::kPushButton));
  t.Add(kBackupButton, Make(ControlKind::kPushButton));
  t.Add(kDownloadButton, Make(ControlKind::kPushButton));
  t.Add(kUpgradeButton, Make(ControlKind::kPushButton));

  t.Add(kInfoGroup, Make(ControlKind::kGroupBox));
  t.Add(kWarningText, Make(ControlKind::kLabel));
  t.Add(kInfoText, Make(ControlKind::kLabel));
  t.Add(kProgressNote, Make(ControlKind::kLabel));
  ControlState bar = Make(ControlKind::kProgressBar);
  bar.rangeMax = 100;
  t.Add(kProgressBar, bar);

  constexpr bool kHidden = false;
  t.Add(kBaudList, List(kHidden, {"9600", "115200"}, 1));
  t.Add(kHexReceiveCheck, Make(ControlKind::kCheckBox, kHidden));
  t.Add(kHexSendCheck, Make(ControlKind::kCheckBox, kHidden));
  t.Add(kShowPortCharsCheck, Make(ControlKind::kCheckBox, kHidden));
  t.Add(kTermText, Make(ControlKind::kEdit, kHidden));
  t.Add(kFlashOperationList, List(kHidden, {"读Flash", "写Flash", "擦除Flash"}));
  t.Add(kFlashAddressEdit, Make(ControlKind::kEdit, kHidden));
  t.Add(kFlashSizeEdit, Make(ControlKind::kEdit, kHidden));
  t.Add(kFlashWriteModeList, List(kHidden, {"从文件", "从输入框"}));
  for (int id : {kDownloadFileEdit, kBackupRootEdit, kFlashWriteDataEdit, kNewBootloaderEdit})
    t.Add(id, Make(ControlKind::kEdit, kHidden));
  for (int id : {kDownloadFileButton, kBackupRootButton, kNewBootloaderButton, kSaveFlashReadButton,
                 kClearDisplayButton, kIniToBinButton, kSpareDeveloperButton})
    t.Add(id, Make(ControlKind::kPushButton, kHidden));
  t.Add(kRestartCommandButton, Make(ControlKind::kPushButton, kHidden, "升级软件"));
  t.Add(kStopCommandButton, Make(ControlKind::kPushButton, kHidden, "终止命令"));
  for (int id : kDeveloperRadioButtons)
    t.Add(id, Make(ControlKind::kRadioButton, kHidden));
  return t;
}

}  // namespace tavro::platform
