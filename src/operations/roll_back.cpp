#include "operations/roll_back.hpp"

#include <memory>

#include "engine/stage_control.hpp"
#include "link/messages.hpp"
#include "operations/identify.hpp"
#include "operations/operation_checks.hpp"
#include "operations/view_info.hpp"
#include "platform/control_ids.hpp"

namespace tavro::operations {
namespace {

using engine::Context;

// Roll back is not one of the four buttons, so its question is one of the
// tool's own texts; a language file from before it gets the English text
// rather than "Null", which is what a missing key reads as.
constexpr const char* kQuestionKey = "Ext_AppGoback_Ask";
constexpr const char* kQuestionFallback =
    "Return the terminal to its backup App? Its current App is given up.";

class RollBack final : public IdentifyingOperation {
 public:
  // A terminal that restarts during the roll back is identified and shown.
  void OnIdentified(Context& ctx, engine::Identification) override { ShowDeviceInfo(ctx); }
};

}  // namespace

std::string RollBackQuestion(Context& ctx) {
  const std::string text = ctx.Text(kQuestionKey);
  return text.empty() || text == "Null" ? kQuestionFallback : text;
}

void StartRollBack(Context& ctx) {
  if (!RequireConnection(ctx))
    return;
  if (ctx.MessageBox(RollBackQuestion(ctx), platform::kBoxOkCancel) != platform::kButtonOk)
    return;
  ctx.operations.Install(std::make_shared<RollBack>());
  ctx.link.CmdID = link::MsgGoBack;
  engine::StartCommand(ctx);
}

}  // namespace tavro::operations
