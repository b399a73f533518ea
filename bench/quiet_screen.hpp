#pragma once
// A screen for benchmarks: answers every box with its "go on" button and
// prints error boxes to stderr, so a run that goes wrong says why.

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/screen.hpp"

namespace tavro::bench {

class QuietScreen final : public platform::Screen {
 public:
  explicit QuietScreen(const char* program) : program_(program) {}
  int ShowMessageBox(const platform::MessageBoxRequest& request) override {
    if (request.kind == platform::kBoxError)
      std::fprintf(stderr, "%s: box: %s\n", program_, request.text.c_str());
    return request.kind == platform::kBoxYesNo ? platform::kButtonYes : platform::kButtonOk;
  }
  void ShowControls(const std::vector<platform::ControlChange>&) override {}
  std::optional<std::string> ChooseFile(const std::string&) override { return std::nullopt; }
  void ShowNotice(const std::string&) override {}

 private:
  const char* program_;
};

}  // namespace tavro::bench
