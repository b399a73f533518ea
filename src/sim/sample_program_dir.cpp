#include "sim/sample_program_dir.hpp"

#include <filesystem>
#include <sstream>
#include <system_error>

#include "data/file_io.hpp"
#include "data/ini_to_bin.hpp"
#include "data/package.hpp"
#include "data/utf8_path.hpp"
#include "sim/commands.hpp"

namespace tavro::sim {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPackageSource = "SwUpdate-source.ini";

bool CopyTree(const fs::path& from, const fs::path& to, std::string& error) {
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(from, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    const fs::path relative = it->path().lexically_relative(from);
    const std::string name = data::Utf8Of(it->path().filename());
    if (name.empty() || name[0] == '.') {
      if (it->is_directory(ec))
        it.disable_recursion_pending();
      continue;
    }
    if (relative == kPackageSource)
      continue;
    const fs::path target = to / relative;
    if (it->is_directory(ec)) {
      if (!data::CreateFolders(data::Utf8Of(target))) {
        error = "cannot create " + data::Utf8Of(target);
        return false;
      }
    } else if (it->is_regular_file(ec) &&
               !data::CopyFileOverwrite(data::Utf8Of(it->path()), data::Utf8Of(target))) {
      error = "cannot copy " + data::Utf8Of(it->path()) + " to " + data::Utf8Of(target);
      return false;
    }
  }
  if (ec) {
    error = "cannot read " + data::Utf8Of(from) + ": " + ec.message();
    return false;
  }
  return true;
}

}  // namespace

bool MakeSampleProgramDir(const std::string& packageDir, const std::string& programDir,
                          std::string& error) {
  std::error_code ec;
  if (!fs::is_regular_file(data::Utf8Path(packageDir) / kPackageSource, ec)) {
    error = "no package source " + data::Utf8Of(data::Utf8Path(packageDir) / kPackageSource);
    return false;
  }
  if (!data::CreateFolders(programDir)) {
    error = "cannot create " + programDir;
    return false;
  }
  if (!CopyTree(data::Utf8Path(packageDir), data::Utf8Path(programDir), error))
    return false;
  const std::string description = programDir + data::kPackageFileName;
  if (!data::IniToBin(description, data::Utf8Of(data::Utf8Path(packageDir) / kPackageSource))) {
    error = "cannot write " + description;
    return false;
  }
  return true;
}

bool MakeDemoSetUp(const std::string& packageDir, const std::string& programDir,
                   const std::string& terminalDir, std::string& error) {
  if (!MakeSampleProgramDir(packageDir, programDir, error))
    return false;
  InitOptions init;
  init.dir = terminalDir;
  init.packageDir = programDir;
  std::ostringstream out;
  std::ostringstream err;
  if (RunInit(init, out, err) != 0) {
    error = "simulated terminal: " + err.str();
    return false;
  }
  PackageOptions package;
  package.programDir = programDir;
  if (RunPackage(package, out, err) != 0) {
    error = "sample package: " + err.str();
    return false;
  }
  return true;
}

}  // namespace tavro::sim
