#include "sim/sample_program_dir.hpp"

#include <filesystem>
#include <system_error>

#include "data/file_io.hpp"
#include "data/ini_to_bin.hpp"
#include "data/package.hpp"

namespace tavro::sim {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPackageSource = "SwUpdate-source.ini";

bool CopyTree(const fs::path& from, const fs::path& to, std::string& error) {
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(from, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    const fs::path relative = it->path().lexically_relative(from);
    const std::string name = it->path().filename().string();
    if (name.empty() || name[0] == '.') {
      if (it->is_directory(ec))
        it.disable_recursion_pending();
      continue;
    }
    if (relative == kPackageSource)
      continue;
    const fs::path target = to / relative;
    if (it->is_directory(ec)) {
      if (!data::CreateFolders(target.string())) {
        error = "cannot create " + target.string();
        return false;
      }
    } else if (it->is_regular_file(ec) &&
               !data::CopyFileOverwrite(it->path().string(), target.string())) {
      error = "cannot copy " + it->path().string() + " to " + target.string();
      return false;
    }
  }
  if (ec) {
    error = "cannot read " + from.string() + ": " + ec.message();
    return false;
  }
  return true;
}

}  // namespace

bool MakeSampleProgramDir(const std::string& packageDir, const std::string& programDir,
                          std::string& error) {
  std::error_code ec;
  if (!fs::is_regular_file(fs::path(packageDir) / kPackageSource, ec)) {
    error = "no package source " + (fs::path(packageDir) / kPackageSource).string();
    return false;
  }
  if (!data::CreateFolders(programDir)) {
    error = "cannot create " + programDir;
    return false;
  }
  if (!CopyTree(packageDir, programDir, error))
    return false;
  const std::string description = programDir + data::kPackageFileName;
  if (!data::IniToBin(description, (fs::path(packageDir) / kPackageSource).string())) {
    error = "cannot write " + description;
    return false;
  }
  return true;
}

}  // namespace tavro::sim
