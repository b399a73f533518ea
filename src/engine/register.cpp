#include "engine/register.hpp"

#include "engine/backup_read.hpp"
#include "engine/read_back.hpp"
#include "engine/receive_path.hpp"
#include "engine/stage_control.hpp"

namespace tavro::engine {

void RegisterEngine(Context& ctx) {
  RegisterReceivePath(ctx);
  RegisterStageControl(ctx);
  RegisterReadBack(ctx);
  RegisterBackupRead(ctx);
}

}  // namespace tavro::engine
