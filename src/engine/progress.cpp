#include "engine/progress.hpp"

#include "platform/control_ids.hpp"

namespace tavro::engine {

std::string Percentage(double fraction) {
  return "(" + std::to_string(static_cast<int>(100 * fraction)) + "%)";
}

void AdvanceClock(Context& ctx) {
  LinkState& s = ctx.link;
  ++s.ElapsedSec;
  s.TotalTimeText = ctx.Text("Dis_TotalTime") + ":" + std::to_string(s.ElapsedSec) + " S";
  ctx.controls.SetText(platform::kProgressNote, s.TotalTimeText);
  s.Dots += ".";
  if (s.Dots.size() > 3)
    s.Dots = ".";
}

void OnProgressTick(Context& ctx, int timerId) {
  AdvanceClock(ctx);
  if (const std::shared_ptr<Operation> operation = ctx.operations.Current())
    operation->OnProgressTick(ctx, timerId);
}

}  // namespace tavro::engine
