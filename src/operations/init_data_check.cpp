#include "operations/init_data_check.hpp"

#include "data/init_data.hpp"
#include "engine/stage_control.hpp"
#include "platform/control_ids.hpp"

namespace tavro::operations {

bool CheckInitData(engine::Context& ctx) {
  engine::LinkState& s = ctx.link;
  const data::InitDataChoice choice{ctx.device.BlVersion, ctx.package.blUpDataConfig,
                                    s.NewBlFile == 1, ctx.package.paraFileTotalNum};
  const data::InitDataCheck check = data::CheckInitData(ctx.programDir, choice, ctx.areas);
  s.ParaPath = check.paraPath;
  if (check.complete) {
    s.DownloadData = 1;
    return true;
  }
  ctx.SetInfoText(ctx.Text("Sw_UpdateStop"));
  ctx.Log(1, check.LogLine());
  // Nothing has been written to the terminal: the operation ends here.
  engine::SetBusy(ctx, engine::WindowState::kIdle);
  ctx.Refresh();
  ctx.MessageBox(check.BoxText() + ctx.Text("Sw_UpdateStop"), platform::kBoxError);
  return false;
}

}  // namespace tavro::operations
