#include "operations/registry.hpp"

#include "operations/backup.hpp"
#include "operations/download.hpp"
#include "operations/download_completion.hpp"
#include "operations/identify.hpp"
#include "operations/read_back_flow.hpp"
#include "operations/restore.hpp"
#include "operations/roll_back.hpp"
#include "operations/upgrade.hpp"
#include "operations/view_info.hpp"
#include "platform/control_ids.hpp"

namespace tavro::operations {
namespace {

constexpr std::uint32_t kMinutes = 60 * 1000;

// A 64 KiB E2PROM, a 1 MiB App or a bootloader upgrade at the slowest line
// rate stay well inside these.
// A plain array: its length is the rows written, never a count to keep.
constexpr OperationRow kRows[] = {
    {platform::kDeviceInfoButton, "B_Connect", "Device Info", Placement::kButton, "info",
     "Connect to the terminal and show its device information", false, 5 * kMinutes,
     "Ext_Close_Info", Interruption::kNothingWritten, &StartViewInfo},
    {platform::kBackupButton, "B_Backup", "Backup", Placement::kButton, "backup",
     "Connect to the terminal and back its App and parameter data up to the PC", true,
     30 * kMinutes, "Ext_Close_Backup", Interruption::kNothingWritten, &StartBackup},
    {platform::kDownloadButton, "B_Download", "Download", Placement::kButton, "download",
     "Connect, then download the package in the program directory to the terminal", true,
     60 * kMinutes, "Ext_Close_Download", Interruption::kPartlyWritten, &StartDownload},
    {platform::kUpgradeButton, "B_Update", "Upgrade", Placement::kButton, "upgrade",
     "Connect, then upgrade the terminal keeping its own data (or resume an interrupted upgrade)",
     true, 60 * kMinutes, "Ext_Close_Upgrade", Interruption::kResumable, &StartUpgrade},
    {platform::kRollBackAction, "Ext_Menu_RollBack", "&Roll back to the backup App…",
     Placement::kToolsMenu, "rollback",
     "Connect, confirm, and return the terminal to its backup App", true, 5 * kMinutes,
     "Ext_Close_RollBack", Interruption::kPartlyWritten, &StartRollBack},
    {platform::kRestoreAction, "Ext_Menu_Restore", "Restore from &backup…", Placement::kToolsMenu,
     "restore",
     "Connect, check and confirm, back the terminal up, then return it to the backup in FOLDER "
     "(a data backup folder under the program directory's Backup folder)",
     true, 60 * kMinutes, "Ext_Close_Restore", Interruption::kResumable, &StartRestore},
};

}  // namespace

std::span<const OperationRow> OperationRows() {
  return kRows;
}

const OperationRow* FindOperationRow(int controlId) {
  for (const OperationRow& row : kRows) {
    if (row.controlId == controlId)
      return &row;
  }
  return nullptr;
}

const OperationRow* FindOperationCommand(std::string_view command) {
  for (const OperationRow& row : kRows) {
    if (row.command == command)
      return &row;
  }
  return nullptr;
}

void RegisterOperations(engine::Context& ctx) {
  RegisterIdentification(ctx);
  RegisterDownloadStages(ctx);
  RegisterReadBackFlow(ctx);
  ctx.operations.SetFallback(MakeViewInfo());
}

}  // namespace tavro::operations
