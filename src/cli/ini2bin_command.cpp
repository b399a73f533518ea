#include "cli/ini2bin_command.hpp"

#include <filesystem>
#include <iostream>
#include <memory>
#include <system_error>

#include "data/file_io.hpp"
#include "data/ini_to_bin.hpp"
#include "data/program_dir_lock.hpp"
#include "data/utf8_path.hpp"
#include "engine/context.hpp"

namespace tavro::cli {

int RunIni2Bin(const std::string& source, std::ostream& out, std::ostream& err) {
  std::error_code ec;
  const std::filesystem::path absolute =
      std::filesystem::absolute(data::Utf8Path(source), ec).lexically_normal();
  if (ec) {
    err << "error: cannot resolve " << source << ": " << ec.message() << '\n';
    return kExitFailure;
  }
  // The builder would read a missing source as empty; on the console that
  // is almost always a typing error, so it is refused.
  if (!std::filesystem::is_regular_file(absolute, ec)) {
    err << "error: source file not found: " << data::Utf8Of(absolute) << '\n';
    return kExitFailure;
  }
  const data::ProgramDirLock lock(
      data::Utf8Of(absolute.parent_path()), [&err](const std::string& holder) {
        err << "  waiting for " << holder << ", which is changing the shared files of this folder"
            << std::endl;
      });
  const auto output = data::IniToBinOutputPath(data::Utf8Of(absolute));
  if (!output) {
    err << "error: cannot create folder " << data::Utf8Of(absolute.parent_path() / "NewIni")
        << '\n';
    return kExitFailure;
  }
  if (!data::IniToBin(*output, absolute.string())) {
    err << "error: cannot write " << *output << '\n';
    return kExitFailure;
  }
  out << *output << '\n';
  return kExitOk;
}

Command AddIni2BinCommand(CLI::App& app) {
  auto source = std::make_shared<std::string>();
  CLI::App* sub =
      app.add_subcommand("ini2bin", "Build the binary package description from its text source");
  sub->add_option("SOURCE", *source, "Package source INI file")->required();
  return Command{
      sub, [source](const GlobalOptions&) { return RunIni2Bin(*source, std::cout, std::cerr); }};
}

}  // namespace tavro::cli
