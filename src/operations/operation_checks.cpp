#include "operations/operation_checks.hpp"

#include "data/backup_tree.hpp"
#include "data/file_io.hpp"
#include "platform/control_ids.hpp"

namespace tavro::operations {

bool RequireConnection(engine::Context& ctx) {
  if (!ctx.serial.IsOpen()) {
    ctx.MessageBox(ctx.Text("C_ComClose"), platform::kBoxError);
    return false;
  }
  if (ctx.link.LinkUp == 0) {
    ctx.MessageBox(ctx.Text("Run_UnConnect"), platform::kBoxError);
    return false;
  }
  // Every write depends on the generation, which only the bootloader's
  // announcement tells.
  if (!ctx.device.BlAnnounced) {
    ctx.MessageBox(ctx.Text("Ext_NoBlHello"), platform::kBoxError);
    return false;
  }
  return true;
}

void DeleteResumeRecords(engine::Context& ctx) {
  const std::string folder = data::PortBackupFolder(ctx.programDir, ctx.port.number);
  for (const std::string& name : data::ListFiles(folder, "*.log"))
    data::RemoveFile(folder + "/" + name);
}

}  // namespace tavro::operations
