#pragma once
// How the test fakes answer message boxes: from a script of buttons, else
// with a default answer, else with the box's affirmative button.

#include <deque>
#include <optional>

#include "platform/messages.hpp"

namespace tavro::test {

class BoxAnswers {
 public:
  // The next boxes are answered with these buttons, in order.
  void Queue(int button) { script_.push_back(button); }
  // Answer used once the script is empty; without one, OK for kinds 0, 2, 3
  // and 5 and Yes for kind 4.
  void SetDefault(std::optional<int> button) { default_ = button; }
  std::size_t Left() const { return script_.size(); }

  // The answer for a box of `kind` that is shown; kinds that show nothing
  // return 0 and use up no scripted answer.
  int Next(int kind) {
    if (!Shows(kind))
      return platform::kNoButton;
    if (!script_.empty()) {
      const int b = script_.front();
      script_.pop_front();
      return b;
    }
    if (default_)
      return *default_;
    return kind == platform::kBoxYesNo ? platform::kButtonYes : platform::kButtonOk;
  }

  static bool Shows(int kind) {
    return kind == platform::kBoxOk || kind == platform::kBoxWarning ||
           kind == platform::kBoxError || kind == platform::kBoxYesNo ||
           kind == platform::kBoxOkCancel;
  }

 private:
  std::deque<int> script_;
  std::optional<int> default_;
};

}  // namespace tavro::test
