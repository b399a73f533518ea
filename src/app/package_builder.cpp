#include "app/package_builder.hpp"

#include <filesystem>
#include <optional>
#include <system_error>

#include "data/ini_to_bin.hpp"
#include "data/program_dir_lock.hpp"
#include "data/utf8_path.hpp"
#include "engine/context.hpp"

namespace tavro::app {
namespace {

// The written notice, the path and the hint to install it as SwUpdate.ini.
std::string PackageWrittenText(platform::Messages& messages, const std::string& outputPath) {
  return messages.Text("Ext_Pkg_Written") + "\r\n" + outputPath + "\r\n" +
         messages.Text("Ext_Pkg_Install");
}

}  // namespace

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
    const data::ProgramDirLock lock(
        data::Utf8Of(data::Utf8Path(*chosen).parent_path()),
        [&screen, &messages](const std::string& holder) {
          screen.ShowNotice(engine::WaitingForLockText(messages, holder));
        });
    output = data::IniToBinOutputPath(*chosen);
    written = output && data::IniToBin(*output, *chosen);
  }
  if (!output) {
    result.outcome = PackageBuildOutcome::kFolderFailed;
    const std::string folder = data::Utf8Of(data::Utf8Path(*chosen).parent_path() / "NewIni");
    messages.MessageBox(messages.Text("Ext_Pkg_NoFolder") + "\r\n" + folder, platform::kBoxError);
    return result;
  }
  result.outputPath = *output;
  if (!written) {
    result.outcome = PackageBuildOutcome::kWriteFailed;
    messages.MessageBox(messages.Text("Ext_Pkg_NotWritten") + "\r\n" + *output,
                        platform::kBoxError);
    return result;
  }
  result.outcome = PackageBuildOutcome::kWritten;
  messages.MessageBox(PackageWrittenText(messages, *output), platform::kBoxOk);
  return result;
}

}  // namespace tavro::app
