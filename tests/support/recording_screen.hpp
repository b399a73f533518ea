#pragma once
// A Screen for tests: records every box request and every control change,
// answers boxes from a script and file choices from another.

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/screen.hpp"
#include "support/box_answers.hpp"

namespace tavro::test {

class RecordingScreen : public platform::Screen {
 public:
  int ShowMessageBox(const platform::MessageBoxRequest& request) override;
  void ShowControls(const std::vector<platform::ControlChange>& changes) override;
  std::optional<std::string> ChooseFile(const std::string& filter) override;
  std::optional<std::string> ChooseFolder(const std::string& start) override;
  void ShowNotice(const std::string& text) override { notices_.push_back(text); }

  BoxAnswers& answers() { return answers_; }
  // Runs while a box is "open", before it is answered: a test can let the
  // loop run on here, as a real modal box would.
  void SetWhileBoxOpen(std::function<void(const platform::MessageBoxRequest&)> hook) {
    whileOpen_ = std::move(hook);
  }
  // The next file choices, in order; an empty script answers "cancelled".
  void QueueFile(std::optional<std::string> path) { files_.push_back(std::move(path)); }
  // The next folder choices, in order; an empty script answers "cancelled".
  void QueueFolder(std::optional<std::string> path) { folders_.push_back(std::move(path)); }
  const std::vector<std::string>& folderStarts() const { return folderStarts_; }

  const std::vector<platform::MessageBoxRequest>& boxes() const { return boxes_; }
  const std::vector<platform::ControlChange>& changes() const { return changes_; }
  const std::vector<std::string>& fileFilters() const { return fileFilters_; }
  const std::vector<std::string>& notices() const { return notices_; }
  // The last state shown for `id`; nullptr when it was never shown.
  const platform::ControlState* Control(int id) const;
  // Every text shown for `id`, in order (repeats included).
  std::vector<std::string> TextHistory(int id) const;
  void Clear();

 private:
  BoxAnswers answers_;
  std::function<void(const platform::MessageBoxRequest&)> whileOpen_;
  std::deque<std::optional<std::string>> files_;
  std::deque<std::optional<std::string>> folders_;
  std::vector<std::string> folderStarts_;
  std::vector<platform::MessageBoxRequest> boxes_;
  std::vector<platform::ControlChange> changes_;
  std::map<int, platform::ControlState> shown_;
  std::vector<std::string> fileFilters_;
  std::vector<std::string> notices_;
};

}  // namespace tavro::test
