#pragma once
// What the running download or upgrade has done, stage by stage: the
// completion ticks only the stages that ran, and the notes (a resume, a
// conversion) stay under the stage lines until the next operation starts.

#include <string>
#include <vector>

namespace tavro::engine {

struct Context;

struct StageSummary {
  bool backedUp = false;           // the terminal's App or data went to the PC
  bool converted = false;          // the terminal's data was converted to the package's version
  bool downloaded = false;         // a transfer stage sent something to the terminal
  std::vector<std::string> notes;  // lines shown under the stages, in order
  // Versions for the summary; an empty "after" means the part was not sent.
  std::string appBefore, appAfter;
  std::string dataBefore, dataAfter;
};

// The stage lines of a finished download, each "√" when it ran and marked as
// skipped when it did not, then `lastKey` (the restart or the run line) and
// the notes; the run line carries "(100%)", the restart line does not.
std::string CompletedStagesText(Context& ctx, const char* lastKey, bool lastWithPercent);

// One stage line: "√<name>(100%)" when it ran, "–<name>(skipped)" when not.
std::string FinishedStageLine(Context& ctx, const char* key, bool ran);

// The notes as they follow the stage lines (empty when there are none).
std::string StageNotesText(const StageSummary& summary);

// "App: 1.0.2.0 → 1.0.3.0" and "Parameter data: 1.2.0.0 → 1.3.0.0", a part
// that was not sent shown as unchanged.
std::string VersionSummaryText(Context& ctx);

}  // namespace tavro::engine
