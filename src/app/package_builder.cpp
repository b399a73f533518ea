#include "app/package_builder.hpp"

#include <filesystem>
#include <optional>
#include <system_error>

#include "data/ini_to_bin.hpp"
#include "data/program_dir_lock.hpp"
#include "data/utf8_path.hpp"
#include "engine/context.hpp"

namespace tavro::app {

std::string PackageWrittenText(const std::string& outputPath) {
  return "Package description written to\r\n" + outputPath +
         "\r\nCopy it into the program directory as SwUpdate.ini to use it.";
}

PackageBuildResult RunIniToBinWithChooser(platform::Messages& messages, platform::Screen& screen) {
  PackageBuildResult result;
  const std::optional<std::string> chosen = screen.ChooseFile(kPackageSourceFilter);
  if (!chosen || chosen->empty())
    return result;

  // The builder reads a missing source as empty and would write a
  // description without areas; a chooser that hands over a name that is not
  // a file must not end in such a package.
  std::error_code ec;
  if (!std::filesystem::is_regular_file(data::Utf8Path(*chosen), ec)) {
    result.outcome = PackageBuildOutcome::kSourceMissing;
    platform::ReportFileNotFound(messages, *chosen);
    return result;
  }
  std::optional<std::string> output;
  bool written = false;
  {
    const data::ProgramDirLock lock(data::Utf8Of(data::Utf8Path(*chosen).parent_path()),
                                    [&screen](const std::string& holder) {
                                      screen.ShowNotice(engine::WaitingForLockText(holder));
                                    });
    output = data::IniToBinOutputPath(*chosen);
    written = output && data::IniToBin(*output, *chosen);
  }
  if (!output) {
    result.outcome = PackageBuildOutcome::kFolderFailed;
    const std::string folder = data::Utf8Of(data::Utf8Path(*chosen).parent_path() / "NewIni");
    messages.MessageBox("Cannot create the folder\r\n" + folder, platform::kBoxError);
    return result;
  }
  result.outputPath = *output;
  if (!written) {
    result.outcome = PackageBuildOutcome::kWriteFailed;
    messages.MessageBox("Cannot write the package description\r\n" + *output, platform::kBoxError);
    return result;
  }
  result.outcome = PackageBuildOutcome::kWritten;
  messages.MessageBox(PackageWrittenText(*output), platform::kBoxOk);
  return result;
}

}  // namespace tavro::app
