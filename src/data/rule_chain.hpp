#pragma once
// Chains of conversion steps: from a data version, the first rule file (in
// listing order) that converts from it is applied, then the next from the
// version it produced, until the target version is reached or no rule
// starts at the current version. A chain that would convert from a version
// a second time with rules of the same folder stops with an error: it
// would never end.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "data/convert_error.hpp"
#include "data/rule_step.hpp"
#include "link/time_stamp.hpp"

namespace tavro::data {

inline constexpr const char* kRuleF2FFolder = "/Data/Rule/F2F";
inline constexpr const char* kRuleF2EFolder = "/Data/Rule/F2E";
inline constexpr const char* kRuleE2EFolder = "/Data/Rule/E2E";

struct FoundRule {
  std::string path;
  std::uint32_t srcVersion = 0;
  std::uint32_t dstVersion = 0;
};

// The rule files ("*.bin") of `folder` in listing order with their versions.
// A file whose versions cannot be read is left out and its error appended to
// `notices`, unless one for the same file is there already.
std::vector<FoundRule> ListRules(const std::string& folder, std::vector<ConvertError>& notices);
// The first of them that converts from `version`.
std::optional<FoundRule> FindRule(const std::string& folder, std::uint32_t version,
                                  std::vector<ConvertError>& notices);

// The rules a chain takes at one version: a folder and the header kind its
// images get.
struct RuleFamily {
  std::string folder;
  int headerKind = 0;
};

struct ChainRequest {
  std::uint32_t from = 0;
  std::uint32_t target = 0;
  std::string srcFolder;  // of the first step; each later one reads the step before's output
  StepOutput output;
  link::TimeStamp stamp;
  // The family to take at the current version, asked before every step.
  std::function<RuleFamily(std::uint32_t version)> family;
};

struct ChainStep {
  std::string rulePath;
  std::uint32_t from = 0;
  std::uint32_t to = 0;
  std::string outFolder;
  std::vector<std::string> written;
};

enum class ChainEnd {
  kReached,  // the current version is at or above the target
  kNoRule,   // no rule converts from the current version
  kFailed,   // a step failed, or the chain came back to a version
};

struct ChainResult {
  ChainEnd end = ChainEnd::kReached;
  std::uint32_t reached = 0;
  std::vector<ChainStep> steps;
  ConvertError error;                 // kFailed
  std::vector<ConvertError> notices;  // rule files whose versions could not be read

  // The output folder of the last step; empty when none ran.
  std::string LastFolder() const { return steps.empty() ? std::string() : steps.back().outFolder; }
};

ChainResult RunChain(const ChainRequest& request);

}  // namespace tavro::data
