#include "cli/backups_command.hpp"

#include <cstdio>
#include <string>

#include "data/restore_point.hpp"
#include "operations/device_info_decode.hpp"

namespace tavro::cli {
namespace {

// One line per restore point: port folder, time, App, data version,
// generation, whether whole, and the folder to give to restore.
int RunBackups(const GlobalOptions& options) {
  const std::vector<data::RestorePoint> points = data::ListRestorePoints(options.programDir);
  if (points.empty()) {
    std::fprintf(stderr, "no backup under %s/Backup\n", options.programDir.c_str());
    return kExitOk;
  }
  for (const data::RestorePoint& point : points) {
    const data::RestorePointSummary summary = data::SummarizeRestorePoint(point);
    const std::string app = point.appFile ? "App " + point.appFolderVersion : "no App";
    const std::string version = summary.dataVersion ? operations::VersionText(*summary.dataVersion)
                                                    : point.folderVersion + "?";
    const char* generation = point.hasFlashImages ? "Flash areas" : "E2PROM";
    std::printf("%-8s %s  %-16s data %-10s %-11s %-10s %s\n", point.portFolder.c_str(),
                operations::ReadableStamp(point.stamp).c_str(), app.c_str(), version.c_str(),
                generation, summary.complete ? "complete" : "incomplete", point.dataFolder.c_str());
  }
  return kExitOk;
}

}  // namespace

Command AddBackupsCommand(CLI::App& app) {
  CLI::App* sub = app.add_subcommand(
      "backups",
      "List the restore points under the program directory's Backup folder, newest first");
  return Command{sub, RunBackups};
}

}  // namespace tavro::cli
