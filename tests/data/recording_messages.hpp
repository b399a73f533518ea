#pragma once
// Messages fake for data tests: fixed texts for the keys file routines use,
// every box recorded.

#include <string>
#include <utility>
#include <vector>

#include "app/messages.hpp"

namespace tavro::test_support {

class RecordingMessages : public app::Messages {
 public:
  std::string Text(std::string_view key) override {
    if (key == "F_NotExist")
      return " is not exist.";
    if (key == "F_ReadInErr")
      return " read in error.";
    return "Null";
  }
  int MessageBox(const std::string& text, int kind) override {
    boxes.emplace_back(text, kind);
    return app::kButtonOk;
  }

  std::vector<std::pair<std::string, int>> boxes;
};

}  // namespace tavro::test_support
