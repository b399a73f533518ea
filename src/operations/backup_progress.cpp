#include "operations/backup_progress.hpp"

#include <algorithm>

#include "engine/progress.hpp"
#include "link/messages.hpp"
#include "platform/control_ids.hpp"

namespace tavro::operations {
namespace {

using engine::Context;
using engine::LinkState;
using engine::Percentage;

int Truncate(double v) {
  return static_cast<int>(v);
}

}  // namespace

void ShowBackupProgress(Context& ctx) {
  LinkState& s = ctx.link;
  const double q = static_cast<double>(s.gFrameNum) / (static_cast<double>(s.gFrameSum) + 1.0);
  if (s.CmdID == link::MsgAppBackupStart) {
    ctx.controls.SetPos(platform::kProgressBar, Truncate(512 * q));
    ctx.SetInfoText("  " + ctx.Text("Dis_Backup2PC_App") + Percentage(q) + s.Dots + "\r\n\r\n  " +
                    ctx.Text("Dis_Backup2PC_Para"));
  } else if (s.CmdID == link::MsgParaBackupStart || s.CmdID == link::MsgE2Read) {
    const double f = 0.2 * q + 0.2 * s.StepIndex;
    const double v = std::min(std::max(f, s.ParaReadProgress), 1.0);
    s.ParaReadProgress = v;
    ctx.controls.SetPos(platform::kProgressBar, Truncate(512 * v + 512));
    std::string text = ctx.device.CurAppIntact ? "√" + ctx.Text("Dis_Backup2PC_App") + "(100%)"
                                               : ctx.Text("Dis_Intg_ERR_CurApp");
    text += "\r\n\r\n  " + ctx.Text("Dis_Backup2PC_Para") + Percentage(v) + s.Dots;
    ctx.SetInfoText(std::move(text));
  }
}

}  // namespace tavro::operations
