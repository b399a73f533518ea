#pragma once
// Options every tavro-cli command shares, parsed once in main.

#include <optional>
#include <string>

namespace tavro::cli {

enum class Answer {
  kAsk,  // ask the technician on the console
  kYes,  // --yes: answer every question with OK/Yes
  kNo,   // --no: answer every question with Cancel/No
};

struct GlobalOptions {
  std::string programDir;      // absolute, without a trailing separator
  std::optional<int> comPort;  // n of --port COM<n>
  Answer answer = Answer::kAsk;
};

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

}  // namespace tavro::cli
