#include "gui/session.hpp"

#include "app/control_ids.hpp"
#include "link/com_ports.hpp"
#include "link/port_list.hpp"

namespace tavro::gui {

Session::Session(std::string programDir)
    : screen_(window_),
      serial_(loop_, screen_),
      model_(loop_, screen_, serial_, std::move(programDir), &link::ListSerialPorts),
      monitor_(loop_, [this](const link::PortRemoval&) { model_.OnDeviceRemoved(); }) {
  window_.Attach(model_);
}

Session::~Session() {
  monitor_.Stop();
  serial_.ForceStop();
}

bool Session::Start(std::optional<std::uint32_t> port) {
  window_.show();
  monitor_.Start();
  if (!model_.SetUpWindow())
    return false;
  if (port)
    SelectPort(model_, *port);
  model_.FinishWindowSetUp();
  return true;
}

bool SelectPort(app::CTAVRODlg& model, std::uint32_t port) {
  model.OnDropDown(app::kPortList);
  const std::vector<std::string>& items = model.controls().Get(app::kPortList).items;
  const std::string name = link::ComName(port);
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i] == name) {
      model.OnSelect(app::kPortList, static_cast<int>(i));
      return true;
    }
  }
  return false;
}

}  // namespace tavro::gui
