#include "data/rule_chain.hpp"

#include <algorithm>
#include <cstdio>
#include <set>
#include <utility>

#include "data/file_io.hpp"

namespace tavro::data {

namespace {

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

void AddNotice(std::vector<ConvertError>& notices, ConvertError error) {
  const bool known = std::any_of(notices.begin(), notices.end(), [&error](const ConvertError& e) {
    return e.path == error.path && e.kind == error.kind;
  });
  if (!known)
    notices.push_back(std::move(error));
}

}  // namespace

std::vector<FoundRule> ListRules(const std::string& folder, std::vector<ConvertError>& notices) {
  std::vector<FoundRule> rules;
  for (const std::string& name : ListFiles(folder, "*.bin")) {
    const std::string path = folder + "/" + name;
    RuleVersionsResult versions = RuleVersions(path);
    if (!versions.ok()) {
      AddNotice(notices, std::move(versions.error));
      continue;
    }
    rules.push_back(FoundRule{path, versions.srcVersion, versions.dstVersion});
  }
  return rules;
}

std::optional<FoundRule> FindRule(const std::string& folder, std::uint32_t version,
                                  std::vector<ConvertError>& notices) {
  for (FoundRule& rule : ListRules(folder, notices)) {
    if (rule.srcVersion == version)
      return std::move(rule);
  }
  return std::nullopt;
}

ChainResult RunChain(const ChainRequest& request) {
  ChainResult result;
  std::uint32_t current = request.from;
  std::string source = request.srcFolder;
  // Versions each folder's rules have converted from.
  std::set<std::pair<std::string, std::uint32_t>> visited;
  while (current < request.target) {
    const RuleFamily family = request.family(current);
    const std::optional<FoundRule> rule = FindRule(family.folder, current, result.notices);
    if (!rule) {
      result.end = ChainEnd::kNoRule;
      break;
    }
    if (!visited.emplace(family.folder, current).second) {
      result.end = ChainEnd::kFailed;
      result.error.kind = ConvertErrorKind::kChainLoop;
      result.error.path = rule->path;
      result.error.text = "the rules of " + family.folder + " come back to version " +
                          Hex(current) + " (again converted by " + rule->path +
                          "): the chain would never reach " + Hex(request.target);
      break;
    }
    StepResult step =
        ConvertWithRule(rule->path, source, family.headerKind, request.output, request.stamp);
    if (!step.ok()) {
      result.end = ChainEnd::kFailed;
      result.error = std::move(step.error);
      break;
    }
    result.steps.push_back(
        ChainStep{rule->path, current, step.newVersion, step.outFolder, std::move(step.written)});
    source = step.outFolder;
    current = step.newVersion;
  }
  result.reached = current;
  return result;
}

}  // namespace tavro::data
