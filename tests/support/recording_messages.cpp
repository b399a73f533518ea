#include "support/recording_messages.hpp"

namespace tavro::test {

std::string RecordingMessages::Text(std::string_view key) {
  keysAsked_.emplace_back(key);
  auto it = texts_.find(key);
  if (it != texts_.end())
    return it->second;
  return "<" + std::string(key) + ">";
}

int RecordingMessages::MessageBox(const std::string& text, platform::MessageKind kind) {
  boxes_.push_back({text, kind});
  return answers_.Next(kind);
}

}  // namespace tavro::test
