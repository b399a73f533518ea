#include "cli/convert_command.hpp"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>
#include <vector>

#include "cli/path_checks.hpp"
#include "data/rule_image.hpp"
#include "data/rule_step.hpp"
#include "data/utf8_path.hpp"

namespace tavro::cli {
namespace {

struct ConvertOptions {
  std::string rule;
  std::string from;
  std::string to;
  std::optional<int> headerKind;
  std::string time;
};

std::string Absolute(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path p =
      std::filesystem::absolute(data::Utf8Path(path), ec).lexically_normal();
  std::string text = ec ? path : data::Utf8Of(p);
  while (text.size() > 1 && text.back() == '/')
    text.pop_back();
  return text;
}

int RunConvert(const ConvertOptions& options) {
  const std::string rule = Absolute(options.rule);
  const int headerKind = options.headerKind.value_or(HeaderKindOfRuleFolder(rule));
  link::TimeStamp stamp = link::NowTimeStamp();
  if (!options.time.empty())
    stamp = *ParseTimeOption(options.time);  // checked while parsing
  data::StepOutput output;
  output.folder = Absolute(options.to);
  const data::StepResult step =
      data::ConvertWithRule(rule, Absolute(options.from), headerKind, output, stamp);
  if (!step.ok()) {
    std::fprintf(stderr, "error: %s\n", data::ConsoleText(step.error).c_str());
    return kExitFailure;
  }
  std::printf("converted 0x%X to 0x%X with %s (header kind %d)\n", step.srcVersion, step.newVersion,
              rule.c_str(), headerKind);
  for (const std::string& path : step.written)
    std::printf("%s\n", path.c_str());
  return kExitOk;
}

}  // namespace

int HeaderKindOfRuleFolder(const std::string& rulePath) {
  const std::string folder = data::Utf8Of(data::Utf8Path(rulePath).parent_path().filename());
  if (folder == "F2E")
    return data::kHeaderE2;
  if (folder == "E2E")
    return data::kHeaderE2E;
  return data::kHeaderFlash;
}

std::optional<link::TimeStamp> ParseTimeOption(const std::string& text) {
  std::vector<int> fields;
  std::stringstream in(text);
  std::string part;
  while (std::getline(in, part, ',')) {
    if (part.empty() || part.size() > 4 ||
        part.find_first_not_of("0123456789") != std::string::npos)
      return std::nullopt;
    fields.push_back(std::stoi(part));
  }
  if (fields.size() != 6 || text.back() == ',')
    return std::nullopt;
  const int lows[] = {1000, 1, 1, 0, 0, 0};
  const int highs[] = {9999, 12, 31, 23, 59, 59};
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (fields[i] < lows[i] || fields[i] > highs[i])
      return std::nullopt;
  }
  link::TimeStamp t;
  t.year = static_cast<std::uint16_t>(fields[0]);
  t.month = static_cast<std::uint8_t>(fields[1]);
  t.day = static_cast<std::uint8_t>(fields[2]);
  t.hour = static_cast<std::uint8_t>(fields[3]);
  t.minute = static_cast<std::uint8_t>(fields[4]);
  t.second = static_cast<std::uint8_t>(fields[5]);
  return t;
}

Command AddConvertCommand(CLI::App& app) {
  auto options = std::make_shared<ConvertOptions>();
  CLI::App* sub = app.add_subcommand("convert", "Run one conversion step with a rule file");
  sub->add_option("--rule", options->rule, "Rule file")->required()->check(kExistingFile);
  sub->add_option("--from", options->from, "Folder of the source images")
      ->required()
      ->check(kExistingFolder);
  sub->add_option("--to", options->to, "Output folder (created when missing)")->required();
  sub->add_option("--header-kind", options->headerKind,
                  "0 Flash header, 1 E2PROM header over Flash sources, 2 E2PROM header "
                  "(default: by the rule's folder F2F, F2E, E2E; else 0)")
      ->check(CLI::IsMember({0, 1, 2}));
  sub->add_option("--time", options->time,
                  "Time stamp of the Flash header, Y,M,D,h,m,s (default: now)")
      ->check([](const std::string& text) {
        return ParseTimeOption(text) ? std::string()
                                     : "expected Y,M,D,h,m,s such as 2024,5,17,9,30,0";
      });
  return Command{sub, [options](const GlobalOptions&) { return RunConvert(*options); }};
}

}  // namespace tavro::cli
