#include "operations/registry.hpp"

#include "operations/backup.hpp"
#include "operations/download.hpp"
#include "operations/download_completion.hpp"
#include "operations/identify.hpp"
#include "operations/read_back_flow.hpp"
#include "operations/roll_back.hpp"
#include "operations/upgrade.hpp"
#include "operations/view_info.hpp"
#include "platform/control_ids.hpp"

namespace tavro::operations {

std::vector<OperationButton> RegisterOperations(engine::Context& ctx) {
  RegisterIdentification(ctx);
  RegisterDownloadStages(ctx);
  RegisterReadBackFlow(ctx);
  ctx.operations.SetFallback(MakeViewInfo());
  return {
      {platform::kDeviceInfoButton, &StartViewInfo}, {platform::kBackupButton, &StartBackup},
      {platform::kDownloadButton, &StartDownload},   {platform::kUpgradeButton, &StartUpgrade},
      {platform::kRollBackAction, &StartRollBack},
  };
}

}  // namespace tavro::operations
