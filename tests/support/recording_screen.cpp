#include "support/recording_screen.hpp"

namespace tavro::test {

int RecordingScreen::ShowMessageBox(const platform::MessageBoxRequest& request) {
  boxes_.push_back(request);
  if (whileOpen_)
    whileOpen_(request);
  return answers_.Next(request.kind);
}

void RecordingScreen::ShowControls(const std::vector<platform::ControlChange>& changes) {
  for (const platform::ControlChange& c : changes) {
    changes_.push_back(c);
    shown_[c.id] = c.state;
  }
}

std::optional<std::string> RecordingScreen::ChooseFile(const std::string& filter) {
  fileFilters_.push_back(filter);
  if (files_.empty())
    return std::nullopt;
  std::optional<std::string> next = std::move(files_.front());
  files_.pop_front();
  return next;
}

std::optional<std::string> RecordingScreen::ChooseFolder(const std::string& start) {
  folderStarts_.push_back(start);
  if (folders_.empty())
    return std::nullopt;
  std::optional<std::string> next = std::move(folders_.front());
  folders_.pop_front();
  return next;
}

const platform::ControlState* RecordingScreen::Control(int id) const {
  auto it = shown_.find(id);
  return it == shown_.end() ? nullptr : &it->second;
}

std::vector<std::string> RecordingScreen::TextHistory(int id) const {
  std::vector<std::string> out;
  for (const platform::ControlChange& c : changes_)
    if (c.id == id)
      out.push_back(c.state.text);
  return out;
}

void RecordingScreen::Clear() {
  boxes_.clear();
  changes_.clear();
  fileFilters_.clear();
}

}  // namespace tavro::test
