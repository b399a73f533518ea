#include "engine/register.hpp"

#include "engine/app_download.hpp"
#include "engine/backup_read.hpp"
#include "engine/e2_download.hpp"
#include "engine/para_download.hpp"
#include "engine/ram_loader.hpp"
#include "engine/read_back.hpp"
#include "engine/receive_path.hpp"
#include "engine/resource_download.hpp"
#include "engine/run_result.hpp"
#include "engine/stage_control.hpp"

namespace tavro::engine {

void RegisterEngine(Context& ctx) {
  RegisterReceivePath(ctx);
  RegisterStageControl(ctx);
  RegisterReadBack(ctx);
  RegisterBackupRead(ctx);
  RegisterAppDownload(ctx);
  RegisterParaDownload(ctx);
  RegisterE2Download(ctx);
  RegisterResourceDownload(ctx);
  RegisterRunResult(ctx);
  RegisterRamLoader(ctx);
}

}  // namespace tavro::engine
