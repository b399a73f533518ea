#pragma once
// A fake platform::Messages for routines that only need texts and boxes: Text(key)
// gives "<key>" (or a text set for the key), boxes are recorded and answered
// from a script.

#include <map>
#include <string>
#include <vector>

#include "platform/messages.hpp"
#include "support/box_answers.hpp"

namespace tavro::test {

struct RecordedBox {
  std::string text;
  int kind = 0;
  bool operator==(const RecordedBox&) const = default;
};

class RecordingMessages : public platform::Messages {
 public:
  std::string Text(std::string_view key) override;
  // Boxes of kinds that show nothing (1, and any unknown kind) are recorded
  // too, and return 0.
  int MessageBox(const std::string& text, platform::MessageKind kind) override;

  void SetText(const std::string& key, std::string text) { texts_[key] = std::move(text); }
  BoxAnswers& answers() { return answers_; }
  const std::vector<RecordedBox>& boxes() const { return boxes_; }
  const std::vector<std::string>& keysAsked() const { return keysAsked_; }
  void Clear() {
    boxes_.clear();
    keysAsked_.clear();
  }

 private:
  std::map<std::string, std::string, std::less<>> texts_;
  BoxAnswers answers_;
  std::vector<RecordedBox> boxes_;
  std::vector<std::string> keysAsked_;
};

}  // namespace tavro::test
