#include "operations/registry.hpp"

#include "operations/download_stages.hpp"
#include "operations/identify.hpp"
#include "operations/view_info.hpp"
#include "platform/control_ids.hpp"

namespace tavro::operations {

std::vector<OperationButton> RegisterOperations(engine::Context& ctx) {
  RegisterIdentification(ctx);
  RegisterDownloadStages(ctx);
  ctx.operations.SetFallback(MakeViewInfo());
  return {
      {platform::kDeviceInfoButton, &StartViewInfo},
  };
}

}  // namespace tavro::operations
