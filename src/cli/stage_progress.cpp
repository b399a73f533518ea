#include "cli/stage_progress.hpp"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace tavro::cli {
namespace {

constexpr std::string_view kFinishedMark = "√";

std::string Trimmed(const std::string& text) {
  const std::size_t begin = text.find_first_not_of(' ');
  if (begin == std::string::npos)
    return {};
  const std::size_t end = text.find_last_not_of(' ');
  return text.substr(begin, end - begin + 1);
}

// "(30%)" at `open`, as a number; nullopt when no percentage starts there.
std::optional<int> PercentAt(const std::string& line, std::size_t open) {
  std::size_t i = open + 1;
  if (i < line.size() && line[i] == '-')
    ++i;
  const std::size_t digits = i;
  while (i < line.size() && std::isdigit(static_cast<unsigned char>(line[i])) != 0)
    ++i;
  if (i == digits || i - digits > 6 || line.compare(i, 2, "%)") != 0)
    return std::nullopt;
  // Early rows of some stages compute figures below 0; the bar shows 0.
  const int value = std::atoi(line.substr(open + 1, i - open - 1).c_str());
  return std::clamp(value, 0, 100);
}

}  // namespace

std::optional<RunningStage> RunningStageOf(const std::string& infoText) {
  std::size_t begin = 0;
  while (begin < infoText.size()) {
    std::size_t end = infoText.find_first_of("\r\n", begin);
    if (end == std::string::npos)
      end = infoText.size();
    const std::string line = infoText.substr(begin, end - begin);
    begin = end + 1;
    const std::string trimmed = Trimmed(line);
    if (trimmed.empty() || trimmed.rfind(kFinishedMark, 0) == 0)
      continue;
    for (std::size_t open = trimmed.find('('); open != std::string::npos;
         open = trimmed.find('(', open + 1)) {
      if (const std::optional<int> percent = PercentAt(trimmed, open)) {
        const std::string name = Trimmed(trimmed.substr(0, open));
        if (!name.empty())
          return RunningStage{name, *percent};
      }
    }
  }
  return std::nullopt;
}

std::string ProgressBar(int percent) {
  constexpr int kCells = 20;
  const int filled = std::clamp(percent, 0, 100) * kCells / 100;
  return "[" + std::string(static_cast<std::size_t>(filled), '#') +
         std::string(static_cast<std::size_t>(kCells - filled), '-') + "]";
}

}  // namespace tavro::cli
