#include "app/startup_sequence.hpp"

#include <vector>

#include "app/run_log_report.hpp"
#include "data/file_io.hpp"
#include "engine/stage_control.hpp"
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

StartupOutcome RunStartupSequence(CTAVRODlg& dlg, std::optional<std::uint8_t> onlyPort) {
  StartupOutcome outcome;
  engine::Context& ctx = dlg.context();
  if (!dlg.SetUpWindow())
    return outcome;
  outcome.languageReady = true;
  outcome.portOpened = OpenStartupPort(dlg, onlyPort);
  dlg.FinishWindowSetUp();

  if (!operations::FileSetCheck(ctx)) {
    engine::SetBusy(ctx, engine::WindowState::kIdle);
    ctx.Refresh();
    return outcome;
  }
  for (const char* folder : kProgramTree)
    data::CreateFolder(ctx.Path(folder));
  outcome.packageReady = true;

  if (ctx.package.debugLevel != 0 && !OpenRunLogOrReport(dlg.runLog(), ctx.messages, ctx.programDir,
                                                         ctx.loop.WallTime(), ctx.port.number)) {
    dlg.Close();
    outcome.exitRequested = true;
  }
  ctx.Refresh();
  return outcome;
}

}  // namespace tavro::app
