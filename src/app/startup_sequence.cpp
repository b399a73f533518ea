#include "app/startup_sequence.hpp"

#include <vector>

#include "app/run_log_report.hpp"
#include "data/file_io.hpp"
#include "engine/stage_control.hpp"
#include "link/time_stamp.hpp"
#include "operations/convert_report.hpp"
#include "operations/file_set_check.hpp"
#include "platform/control_ids.hpp"

namespace tavro::app {

bool OpenStartupPort(CTAVRODlg& dlg, std::optional<std::uint8_t> onlyPort) {
  engine::Context& ctx = dlg.context();
  std::vector<int> order;  // list indexes to try; -1 = a port number without an entry
  if (onlyPort) {
    // The list still shows every port, with the given one selected.
    EnumeratePorts(ctx, dlg.ports());
    const std::vector<std::string>& items = ctx.controls.Get(platform::kPortList).items;
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (PortNumberOfEntry(items[i]) == *onlyPort)
        ctx.controls.SetSelected(platform::kPortList, static_cast<int>(i));
    }
    ctx.port.number = *onlyPort;
    order.push_back(-1);
  } else {
    const int count = static_cast<int>(EnumeratePorts(ctx, dlg.ports()));
    for (int i = count - 1; i >= 0; --i)
      order.push_back(i);
    if (order.empty()) {
      ctx.port.number = 1;
      order.push_back(-1);
    }
  }
  std::string failures;
  for (int index : order) {
    if (index >= 0) {
      ctx.controls.SetSelected(platform::kPortList, index);
      ctx.port.number = PortNumberOfEntry(
          ctx.controls.Get(platform::kPortList).items[static_cast<std::size_t>(index)]);
    }
    if (OpenPortAndShow(ctx)) {
      ctx.Refresh();
      return true;
    }
    if (!failures.empty())
      failures += "\r\n";
    failures += PortNotOpenedText(ctx, ctx.port.number);
  }
  ctx.MessageBox(failures, platform::kBoxWarning);
  return false;
}

bool CheckPackageAndCreateTree(engine::Context& ctx) {
  if (!operations::FileSetCheck(ctx)) {
    engine::SetBusy(ctx, engine::WindowState::kIdle);
    ctx.Refresh();
    return false;
  }
  const data::ProgramDirLock lock = ctx.LockSharedFiles();
  for (const char* folder : kProgramTree)
    data::CreateFolder(ctx.Path(folder));
  return true;
}

data::PrepareResult PrepareStartupData(engine::Context& ctx) {
  const data::PrepareRequest request{ctx.programDir, ctx.package.paraFileRequisiteNum,
                                     link::LocalTimeStamp(ctx.loop.WallTime())};
  // Another instance may be preparing the same data: it finishes first, and
  // this one then finds the data at the destination version and leaves it.
  data::PrepareResult result = [&ctx, &request] {
    const data::ProgramDirLock lock = ctx.LockSharedFiles();
    return data::PrepareInitialData(request);
  }();
  for (const std::string& line : result.logLines)
    ctx.Log(1, line);
  if (!result.notices.empty() || !result.error.ok())
    engine::SetBusy(ctx, engine::WindowState::kIdle);
  for (const data::ConvertError& notice : result.notices)
    operations::ReportConvertError(ctx, notice);
  operations::ReportConvertError(ctx, result.error);
  if (result.code == data::kPrepared)
    return result;
  engine::SetBusy(ctx, engine::WindowState::kIdle);
  ctx.Refresh();
  ctx.Log(1, "\r\nParaBase2DestErr_" + std::to_string(result.code));
  if (result.code == data::kPrepareNoDataVersion)
    ctx.MessageBox("DataVer.ini" + ctx.Text("F_NotExist"), platform::kBoxError);
  return result;
}

StartupOutcome RunStartupSequence(CTAVRODlg& dlg, std::optional<std::uint8_t> onlyPort) {
  StartupOutcome outcome;
  engine::Context& ctx = dlg.context();
  if (!dlg.SetUpWindow())
    return outcome;
  outcome.languageReady = true;
  outcome.portOpened = OpenStartupPort(dlg, onlyPort);
  dlg.FinishWindowSetUp();

  if (!CheckPackageAndCreateTree(ctx))
    return outcome;
  outcome.packageReady = true;

  if (ctx.package.debugLevel != 0 && !OpenRunLogOrReport(dlg.runLog(), ctx.messages, ctx.programDir,
                                                         ctx.loop.WallTime(), ctx.port.number)) {
    dlg.Close();
    outcome.exitRequested = true;
    ctx.Refresh();
    return outcome;
  }
  outcome.dataPreparation = PrepareStartupData(ctx).code;
  ctx.Refresh();
  return outcome;
}

}  // namespace tavro::app
