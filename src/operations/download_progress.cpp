#include "operations/download_progress.hpp"

#include <algorithm>
#include <array>
#include <optional>

#include "engine/progress.hpp"
#include "link/messages.hpp"
#include "operations/download_setup.hpp"
#include "platform/control_ids.hpp"

namespace tavro::operations {
namespace {

using engine::Context;
using engine::LinkState;
using engine::Percentage;

constexpr std::array<const char*, 5> kStageKeys = {"Dis_GetInfo", "Dis_Backup2PC", "Dis_DataConv",
                                                   "Dis_Download", "Dis_DevRun"};

// One row of the stage display: how many stages are finished and what the
// running line shows.
struct StageRow {
  int finished = 0;
  std::string running;                // percentage text after the running stage's key
  std::optional<int> progressBar;     // new bar position, if the row sets one
  bool runningIsWaitingLine = false;  // completion: the last line has no dots
};

// Whether a stage that the display has passed did its work.
bool StageRan(const engine::StageSummary& stages, int index) {
  switch (index) {
    case 1:
      return stages.backedUp;
    case 2:
      return stages.converted;
    case 3:
      return stages.downloaded;
    default:
      return true;
  }
}

int Truncate(double v) {
  return static_cast<int>(v);
}

// Advances the wait-state position by one, kept at `limit` when given.
std::uint32_t StepPosition(LinkState& s, std::optional<double> limit, std::uint32_t limitPos) {
  std::uint32_t pos = s.ProgressPos + 1;
  if (limit && static_cast<double>(pos) > *limit)
    pos = limitPos;
  s.ProgressPos = pos;
  return pos;
}

// What a row computes from: the block counters as a fraction, the area
// being sent and the link state for the wait-state positions.
struct RowInput {
  LinkState& link;
  double q;  // blocks done over blocks in the file
  double k;  // index of the area or step being sent
};

StageRow Running(int finished, std::string running, std::optional<int> bar = std::nullopt) {
  StageRow row;
  row.finished = finished;
  row.running = std::move(running);
  row.progressBar = bar;
  return row;
}

// The commands a row stands for (up to three).
struct Commands {
  std::array<std::uint16_t, 3> ids{};
  std::size_t count = 0;
  template <typename... Ids>
  constexpr Commands(Ids... commands) : ids{commands...}, count(sizeof...(Ids)) {}
  bool Has(std::uint32_t cmd) const {
    return std::find(ids.begin(), ids.begin() + static_cast<std::ptrdiff_t>(count), cmd) !=
           ids.begin() + static_cast<std::ptrdiff_t>(count);
  }
};

// One named row of the display: the commands it stands for, a guard for a
// command that two rows share, and what the row shows.
struct StageRule {
  const char* name;
  Commands commands;
  bool (*applies)(const Context& ctx);
  StageRow (*show)(RowInput& in);
};

bool Always(const Context&) {
  return true;
}

bool E2CheckRunning(const Context& ctx) {
  const std::shared_ptr<engine::Operation> operation = ctx.operations.Current();
  return operation && operation->RamProgramToSend() == engine::RamProgram::kE2Check;
}

// Reading the E2PROM for the check reads less than a whole image.
bool E2CheckRead(const Context& ctx) {
  return ctx.link.ReadLen < 65536;
}

StageRow ByElapsedTime(RowInput& in) {
  return Running(0, "(" + std::to_string(std::min<std::uint32_t>(in.link.ElapsedSec, 90)) + "%)");
}

StageRow AppInfo(RowInput&) {
  return Running(0, "(90%)");
}

StageRow AppBackup(RowInput& in) {
  const double f = 0.95 * in.q;
  return Running(1, Percentage(f), Truncate(1024 * f));
}

StageRow DataBackup(RowInput& in) {
  const double f = 0.01 * in.q + 0.01 * in.k + 0.95;
  return Running(1, Percentage(f), Truncate(1024 * f));
}

StageRow Conversion(RowInput& in) {
  const double f = 0.4 * in.q + (in.link.CmdID == link::CmdBlUpgrade ? 0.4 : 0.0);
  return Running(2, Percentage(std::min(f, 1.0)));
}

StageRow Resources(RowInput& in) {
  const double f = 0.3 * in.q;
  return Running(3, Percentage(f), Truncate(3072 * f + 1024));
}

StageRow AppErase(RowInput& in) {
  const std::uint32_t pos = StepPosition(in.link, 2099.2, 2099);
  return Running(3, Percentage((pos - 1945.6) * 0.05 / 154.6 + 0.3), static_cast<int>(pos));
}

StageRow AppSend(RowInput& in) {
  return Running(3, Percentage(0.5 * in.q + 0.35));
}

StageRow AppWrite(RowInput& in) {
  const std::uint32_t pos = StepPosition(in.link, 3788.8, 3788);
  return Running(3, Percentage((pos - 3635.2) * 0.05 / 154.6 + 0.85), static_cast<int>(pos));
}

StageRow DataErase(RowInput& in) {
  const std::uint32_t pos = StepPosition(in.link, std::nullopt, 0);
  return Running(3, Percentage((pos - 3788.8) * 0.05 / 154.6 + 0.9), static_cast<int>(pos));
}

StageRow DataSend(RowInput& in) {
  const double f = 0.01 * in.q + 0.01 * in.k + 0.95;
  return Running(3, Percentage(f), Truncate(3072 * f + 1022));
}

StageRow Completion(RowInput&) {
  StageRow row = Running(4, "(50%)", 4095);
  row.runningIsWaitingLine = true;
  return row;
}

// First match wins: the E2PROM check's rows come before the rows that share
// their commands.
constexpr StageRule kRules[] = {
    {"E2PROM check: loader", Commands(link::MsgRamBlock), E2CheckRunning, ByElapsedTime},
    {"E2PROM check: reading", Commands(link::MsgE2Read), E2CheckRead, ByElapsedTime},
    {"App information", Commands(link::MsgReadAppInfo), Always, AppInfo},
    {"App backup", Commands(link::MsgAppBackupStart), Always, AppBackup},
    {"data backup", Commands(link::MsgParaBackupStart, link::MsgE2Read), Always, DataBackup},
    {"conversion and loaders",
     Commands(link::CmdParaBackupDone, link::MsgRamBlock, link::CmdBlUpgrade), Always, Conversion},
    {"resources", Commands(link::CmdResource), Always, Resources},
    {"App erase", Commands(link::CmdAppWaitBackup), Always, AppErase},
    {"App blocks", Commands(link::CmdAppSending), Always, AppSend},
    {"App write", Commands(link::CmdAppWriting), Always, AppWrite},
    {"data erase", Commands(link::CmdParaWaitBackup), Always, DataErase},
    {"data blocks", Commands(link::CmdParaSending, link::MsgE2WriteBlock, link::CmdFlashCopy),
     Always, DataSend},
    {"completion", Commands(link::CmdComplete), Always, Completion},
};

std::optional<StageRow> RowFor(Context& ctx) {
  LinkState& s = ctx.link;
  const std::uint32_t cmd = s.CmdID;
  for (const StageRule& rule : kRules) {
    if (!rule.commands.Has(cmd) || !rule.applies(ctx))
      continue;
    RowInput in{s, static_cast<double>(s.gFrameNum) / (static_cast<double>(s.gFrameSum) + 1.0),
                static_cast<double>(s.StepIndex)};
    return rule.show(in);
  }
  return std::nullopt;
}

}  // namespace

void ShowDownloadStages(Context& ctx) {
  const std::optional<StageRow> row = RowFor(ctx);
  if (!row)
    return;
  std::string text;
  for (int i = 0; i < static_cast<int>(kStageKeys.size()); ++i) {
    if (i > 0)
      text += "\r\n\r\n";
    const char* key = kStageKeys[static_cast<std::size_t>(i)];
    const std::string name = ctx.Text(key);
    if (i < row->finished) {
      text += engine::FinishedStageLine(ctx, key, StageRan(ctx.stages, i));
    } else if (i == row->finished) {
      text += "  " + name + row->running + (row->runningIsWaitingLine ? "" : ctx.link.Dots);
    } else {
      text += "  " + name;
    }
  }
  text += engine::StageNotesText(ctx.stages);
  RunningTransfer(ctx)->stagesOnScreen = text;
  ctx.SetInfoText(std::move(text));
  if (row->progressBar)
    ctx.controls.SetPos(platform::kProgressBar, *row->progressBar);
}

}  // namespace tavro::operations
