#include "engine/operation.hpp"

#include "engine/stage_control.hpp"
#include "link/messages.hpp"

namespace tavro::engine {

void Operation::OnReadBackDone(Context& ctx) {
  SetBusy(ctx, WindowState::kIdle);
}

std::optional<std::uint32_t> Operation::CommandAfterAreaReadBack() const {
  return link::CmdParaBackupDone;
}

void Operation::OnResumeHeadersRead(Context& ctx) {
  SetBusy(ctx, WindowState::kIdle);
}

}  // namespace tavro::engine
