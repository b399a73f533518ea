// The demo's simulated terminal needs a pseudo terminal, which Windows does
// not have: the demo says so and the window runs without it.
#include "gui/demo.hpp"

namespace tavro::gui {

struct DemoTerminal::Server {};

std::unique_ptr<DemoTerminal> DemoTerminal::Start(const std::string&, std::string& error) {
  error =
      "the demo's simulated terminal needs a pseudo terminal, which Windows does not have; "
      "connect a terminal, or run the demo on Linux";
  return nullptr;
}

void DemoTerminal::StopTerminal() {}

DemoTerminal::~DemoTerminal() = default;

}  // namespace tavro::gui
