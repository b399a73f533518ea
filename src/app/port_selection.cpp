#include "app/port_selection.hpp"

#include "data/number_parse.hpp"
#include "engine/stage_control.hpp"
#include "engine/timer_engine.hpp"
#include "platform/control_ids.hpp"

namespace tavro::app {
namespace {

// Another port, or none: whatever is plugged in must announce itself anew.
void ClearLinkFlags(engine::Context& ctx) {
  engine::DropLink(ctx);
}

std::string ComName(std::uint32_t number) {
  return "COM" + std::to_string(number);
}

void TakeSelectedPortNumber(engine::Context& ctx) {
  const platform::ControlState& list = ctx.controls.Get(platform::kPortList);
  if (list.selected < 0 || list.selected >= static_cast<int>(list.items.size()))
    return;
  ctx.port.number = PortNumberOfEntry(list.items[static_cast<std::size_t>(list.selected)]);
}

}  // namespace

std::uint8_t PortNumberOfEntry(const std::string& entry) {
  const std::string digits = entry.size() > 3 ? entry.substr(3) : std::string();
  return static_cast<std::uint8_t>(data::ParseAutoBase(digits));
}

std::size_t EnumeratePorts(engine::Context& ctx, const PortSource& ports) {
  std::vector<std::string> names;
  if (ports) {
    for (const link::PortEntry& p : ports())
      names.push_back(p.name);
  }
  const std::size_t count = names.size();
  ctx.controls.SetItems(platform::kPortList, std::move(names));
  return count;
}

void OnPortListDropDown(engine::Context& ctx, const PortSource& ports) {
  const int index = ctx.controls.Get(platform::kPortList).selected;
  const std::size_t count = EnumeratePorts(ctx, ports);
  if (index >= 0 && static_cast<std::size_t>(index) < count) {
    ctx.controls.SetSelected(platform::kPortList, index);
  }
  ctx.Refresh();
}

bool OpenPortAndShow(engine::Context& ctx) {
  ctx.rx.Reset();
  const bool opened = ctx.serial.Open(ctx.port.number, ctx.port.line) && ctx.serial.StartWorker();
  if (!opened) {
    ShowPortClosed(ctx);
    return false;
  }
  ctx.controls.SetIcon(platform::kPortStatusIcon, platform::kIconOn);
  ClearLinkFlags(ctx);
  ctx.controls.SetText(platform::kPortButton, ctx.Text("B_CloseCom"));
  ctx.port.open = true;
  return true;
}

void ShowPortClosed(engine::Context& ctx) {
  // A closed port ends a link-query poll that may still run.
  ctx.loop.StopTimer(engine::kTimerLinkPoll);
  ctx.controls.SetIcon(platform::kPortStatusIcon, platform::kIconOff);
  ClearLinkFlags(ctx);
  ctx.controls.SetText(platform::kPortButton, ctx.Text("B_OpenCom"));
  ctx.port.open = false;
}

std::string PortNotOpenedText(engine::Context& ctx, std::uint32_t number) {
  return ctx.Text("C_Com") + ComName(number) + ctx.Text("C_NoCom");
}

void OnPortSelected(engine::Context& ctx, int index) {
  ctx.controls.SetSelected(platform::kPortList, index);
  TakeSelectedPortNumber(ctx);
  ctx.serial.RequestStop();
  ctx.loop.Sleep(2);
  if (OpenPortAndShow(ctx)) {
    ctx.Log(1, "\r\n" + ComName(ctx.port.number));
  } else {
    ctx.MessageBox(PortNotOpenedText(ctx, ctx.port.number), platform::kBoxError);
  }
  ctx.Refresh();
}

void OnBaudSelected(engine::Context& ctx, int index) {
  ctx.controls.SetSelected(platform::kBaudList, index);
  if (index == 0)
    ctx.port.line.baud = 9600;
  if (index == 1)
    ctx.port.line.baud = 115200;
  // The port is reopened at the new rate whether or not it was open; the
  // flag, the icons and the caption stay as they were, and a failure is silent.
  ctx.rx.Reset();
  if (ctx.serial.Open(ctx.port.number, ctx.port.line))
    ctx.serial.StartWorker();
  ctx.Refresh();
}

void OnPortButton(engine::Context& ctx) {
  ctx.rx.Reset();
  if (ctx.port.open) {
    ctx.serial.RequestStop();
    ShowPortClosed(ctx);
  } else if (!OpenPortAndShow(ctx)) {
    ctx.MessageBox(PortNotOpenedText(ctx, ctx.port.number), platform::kBoxError);
  }
  ctx.Refresh();
}

void OnDeviceRemoved(engine::Context& ctx, const PortSource& ports) {
  if (!ctx.port.open)
    return;
  const std::string name = ComName(ctx.port.number);
  EnumeratePorts(ctx, ports);
  const std::vector<std::string>& items = ctx.controls.Get(platform::kPortList).items;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i] == name) {
      ctx.controls.SetSelected(platform::kPortList, static_cast<int>(i));
      ctx.Refresh();
      return;
    }
  }
  // The open port's device is gone: end the operation, then the port.
  ctx.RxTextEcho = 0;
  engine::SetBusy(ctx, engine::WindowState::kIdle);
  ctx.serial.RequestStop();
  ctx.loop.Sleep(1);
  ctx.serial.ForceStop();
  ctx.rx.Reset();
  // The port name stands between two spaces; a language text that already
  // ends in one does not double it.
  std::string head = ctx.Text("C_Com");
  while (!head.empty() && head.back() == ' ')
    head.pop_back();
  const std::string lost = head + " " + name + " " + ctx.Text("C_ComLost");
  ctx.controls.SetText(platform::kTermText, lost);
  ctx.SetInfoText(lost);
  ShowPortClosed(ctx);
  if (!items.empty()) {
    ctx.controls.SetSelected(platform::kPortList, static_cast<int>(items.size() - 1));
    TakeSelectedPortNumber(ctx);
  }
  ctx.Refresh();
  ctx.MessageBox(lost, platform::kBoxError);
}

}  // namespace tavro::app
