#include "cli/rules_command.hpp"

#include <iostream>
#include <memory>

#include "data/file_io.hpp"
#include "data/rule_file.hpp"
#include "data/rule_text.hpp"

namespace tavro::cli {

int RunRulesShow(const std::string& path, std::ostream& out, std::ostream& err) {
  const std::optional<std::uint64_t> size = data::FileSize(path);
  if (!size) {
    err << "error: cannot open " << path << '\n';
    return kExitFailure;
  }
  if (*size > data::kMaxRuleImageSize) {
    err << "error: " << path << " holds " << *size << " bytes, more than any rule file may ("
        << data::kMaxRuleImageSize << ")\n";
    return kExitFailure;
  }
  const std::optional<link::Bytes> bytes = data::ReadWholeFile(path);
  if (!bytes) {
    err << "error: cannot read " << path << '\n';
    return kExitFailure;
  }
  const data::RuleParse parse = data::ParseRuleFile(*bytes);
  if (!parse.ok()) {
    const data::RuleParseError& e = parse.error;
    err << "error: " << path << ": ";
    if (e.fault == data::RuleFault::kByteErr)
      err << "rule_" << e.offset << "_byte_err (a column runs past its row): " << e.why << '\n';
    else
      err << "offset " << e.offset << ": " << e.why << '\n';
    return kExitFailure;
  }
  out << path << " (" << bytes->size() << " bytes)\n" << data::DescribeRuleFile(parse.file);
  return kExitOk;
}

Command AddRulesCommand(CLI::App& app) {
  auto path = std::make_shared<std::string>();
  CLI::App* sub = app.add_subcommand("rules", "Rule files of the data conversion");
  sub->require_subcommand(1);
  CLI::App* show =
      sub->add_subcommand("show", "Print a rule file as text, or where it is malformed");
  show->add_option("FILE", *path, "Rule file")->required();
  return Command{
      sub, [path](const GlobalOptions&) { return RunRulesShow(*path, std::cout, std::cerr); }};
}

}  // namespace tavro::cli
