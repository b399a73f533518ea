#include "operations/file_set_check.hpp"

#include <vector>

#include "data/file_io.hpp"
#include "data/package.hpp"

namespace tavro::operations {

std::string AppFolder(const engine::Context& ctx, bool newBootloader) {
  const std::uint16_t bl = ctx.device.BlVersion;
  const bool e2 =
      bl >= engine::kBlE2prom || (bl >= 0x220 && newBootloader && ctx.package.blUpDataConfig != 0);
  return ctx.Path(e2 ? "/SW/E2prom" : "/SW/Flash");
}

bool FileSetCheck(engine::Context& ctx, AreaCheck areaCheck, FileScope scope) {
  if (!data::FileExists(ctx.Path(data::kPackageFileName))) {
    ctx.LogCommandState(1, "Noini");
    ctx.MessageBox("SwUpdate.ini" + ctx.Text("F_NotExist"), platform::kBoxError);
    return false;
  }
  // A package that cannot be used stops here, before the terminal is read:
  // a damaged PC file must never look like damaged terminal data.
  const data::PackageError error = data::ReadPackage(ctx.programDir, ctx.link.TerminalType,
                                                     ctx.device.BlVersion, ctx.package, ctx.areas);
  if (error == data::PackageError::kNotFound) {
    platform::ReportFileNotFound(ctx.messages, ctx.Path(data::kPackageFileName));
    return false;
  }
  const bool areasMissing = areaCheck == AreaCheck::kConnectedTerminal &&
                            !data::AreasUsable(ctx.areas, ctx.package, ctx.device.BlVersion);
  if (error != data::PackageError::kNone || areasMissing) {
    platform::ReportFileUnreadable(ctx.messages, ctx.Path(data::kPackageFileName));
    return false;
  }

  const std::string blFolder = ctx.Path("/Data/Bl");
  const std::vector<std::string> bootloaders = data::ListFiles(blFolder, "*.bin");
  if (bootloaders.size() >= 2) {
    ctx.MessageBox(ctx.programDir + ctx.Text("F_multiFile"), platform::kBoxError);
    return false;
  }
  const bool newBootloader =
      bootloaders.size() == 1 &&
      (blFolder + "/" + bootloaders.front()).find("_BL_") != std::string::npos;

  if (scope != FileScope::kWithDownloadFiles)
    return true;

  const std::string appFolder = AppFolder(ctx, newBootloader);
  const std::size_t apps = data::ListFiles(appFolder, "*.bin").size();
  if (apps >= 2) {
    ctx.MessageBox(appFolder + ctx.Text("F_multiFile"), platform::kBoxError);
    return false;
  }
  ctx.link.DownloadApp = apps == 1 ? 1 : 0;

  if (data::ListFiles(ctx.Path("/Data/Res"), "*.rom").size() >= 2) {
    ctx.MessageBox(ctx.programDir + ctx.Text("F_multiFile"), platform::kBoxError);
    return false;
  }
  return true;
}

}  // namespace tavro::operations
