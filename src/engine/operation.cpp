#include "engine/operation.hpp"

#include "engine/stage_control.hpp"

namespace tavro::engine {

void Operation::OnReadBackDone(Context& ctx) {
  SetBusy(ctx, WindowState::kIdle);
}

void Operation::OnResumeHeadersRead(Context& ctx) {
  SetBusy(ctx, WindowState::kIdle);
}

}  // namespace tavro::engine
