#pragma once
// The running stage of an operation, read from the stage display that the
// window shows in its information area: finished stages start with "√",
// the running one carries its own percentage ("  Downloading(30%)..."), the
// stages still to come have none.

#include <optional>
#include <string>

namespace tavro::cli {

struct RunningStage {
  std::string name;  // "Downloading"
  int percent = 0;   // the stage's own share done, 0..100
};

// The first line that is not finished and carries a percentage; nullopt for
// a text that is no stage display (or one whose stages have all finished).
std::optional<RunningStage> RunningStageOf(const std::string& infoText);

// "[######--------------]": `percent` (0..100) of 20 cells.
std::string ProgressBar(int percent);

}  // namespace tavro::cli
