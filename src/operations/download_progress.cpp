#include "operations/download_progress.hpp"

#include <algorithm>
#include <array>
#include <optional>

#include "engine/progress.hpp"
#include "link/messages.hpp"
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

std::optional<StageRow> RowFor(Context& ctx) {
  LinkState& s = ctx.link;
  const double q = static_cast<double>(s.gFrameNum) / (static_cast<double>(s.gFrameSum) + 1.0);
  const double k = s.StepIndex;
  const std::uint32_t cmd = s.CmdID;
  StageRow row;
  const std::shared_ptr<engine::Operation> operation = ctx.operations.Current();
  const bool e2Check = operation && operation->RamProgramToSend() == engine::RamProgram::kE2Check;
  if ((cmd == link::MsgRamBlock && e2Check) || (cmd == link::MsgE2Read && s.ReadLen < 65536)) {
    row.running = "(" + std::to_string(s.ElapsedSec >= 90 ? 90 : s.ElapsedSec) + "%)";
    return row;
  }
  if (cmd == link::MsgReadAppInfo) {
    row.running = "(90%)";
    return row;
  }
  if (cmd == link::MsgAppBackupStart) {
    const double f = 0.95 * q;
    row.finished = 1;
    row.running = Percentage(f);
    row.progressBar = Truncate(1024 * f);
    return row;
  }
  if (cmd == link::MsgParaBackupStart || cmd == link::MsgE2Read) {
    const double f = 0.01 * q + 0.01 * k + 0.95;
    row.finished = 1;
    row.running = Percentage(f);
    row.progressBar = Truncate(1024 * f);
    return row;
  }
  if (cmd == link::CmdParaBackupDone || cmd == link::MsgRamBlock || cmd == link::CmdBlUpgrade) {
    double f = 0.4 * q + (cmd == link::CmdBlUpgrade ? 0.4 : 0.0);
    row.finished = 2;
    row.running = Percentage(std::min(f, 1.0));
    return row;
  }
  if (cmd == link::CmdResource) {
    const double f = 0.3 * q;
    row.finished = 3;
    row.running = Percentage(f);
    row.progressBar = Truncate(3072 * f + 1024);
    return row;
  }
  if (cmd == link::CmdAppWaitBackup) {
    const std::uint32_t pos = StepPosition(s, 2099.2, 2099);
    row.finished = 3;
    row.running = Percentage((pos - 1945.6) * 0.05 / 154.6 + 0.3);
    row.progressBar = static_cast<int>(pos);
    return row;
  }
  if (cmd == link::CmdAppSending) {
    row.finished = 3;
    row.running = Percentage(0.5 * q + 0.35);
    return row;
  }
  if (cmd == link::CmdAppWriting) {
    const std::uint32_t pos = StepPosition(s, 3788.8, 3788);
    row.finished = 3;
    row.running = Percentage((pos - 3635.2) * 0.05 / 154.6 + 0.85);
    row.progressBar = static_cast<int>(pos);
    return row;
  }
  if (cmd == link::CmdParaWaitBackup) {
    const std::uint32_t pos = StepPosition(s, std::nullopt, 0);
    row.finished = 3;
    row.running = Percentage((pos - 3788.8) * 0.05 / 154.6 + 0.9);
    row.progressBar = static_cast<int>(pos);
    return row;
  }
  if (cmd == link::CmdParaSending || cmd == link::MsgE2WriteBlock || cmd == link::CmdFlashCopy) {
    const double f = 0.01 * q + 0.01 * k + 0.95;
    row.finished = 3;
    row.running = Percentage(f);
    row.progressBar = Truncate(3072 * f + 1022);
    return row;
  }
  if (cmd == link::CmdComplete) {
    row.finished = 4;
    row.running = "(50%)";
    row.runningIsWaitingLine = true;
    row.progressBar = 4095;
    return row;
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
  ctx.SetInfoText(std::move(text));
  if (row->progressBar)
    ctx.controls.SetPos(platform::kProgressBar, *row->progressBar);
}

}  // namespace tavro::operations
