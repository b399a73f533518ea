#include "data/terminal_convert.hpp"

#include <cstdio>

#include "data/file_io.hpp"
#include "data/rule_image.hpp"

namespace tavro::data {

namespace {

constexpr std::uint16_t kBlE2prom = 0x230;
constexpr std::uint16_t kBlE2promAfterUpdate = 0x220;

enum class Family { kF2F, kF2E, kE2E };

// The first bootloader image of the package is a new bootloader when its
// name says so.
bool NewBootloader(const std::string& programDir) {
  const std::vector<std::string> images = ListFiles(programDir + "/Data/Bl", "*.bin");
  return !images.empty() && images.front().find("BL") != std::string::npos;
}

std::string F2ELogLine(std::uint32_t src, std::uint32_t dst) {
  char line[64];
  std::snprintf(line, sizeof line, "\r\nF2E_Rule_Ver_%X-%X", src, dst);
  return line;
}

}  // namespace

TerminalConversionResult ConvertTerminalData(const TerminalConversion& request) {
  TerminalConversionResult result;
  const std::uint16_t bl = request.blVersion;

  // The move to the E2PROM applies only where its rule exists; without one
  // the Flash chain goes on by its own rules.
  bool f2eAvailable = false;
  std::uint32_t f2eSrc = 0;
  if (bl >= kBlE2promAfterUpdate && bl < kBlE2prom && request.blUpDataConfig != 0 &&
      NewBootloader(request.programDir)) {
    const std::vector<FoundRule> rules =
        ListRules(request.programDir + kRuleF2EFolder, result.chain.notices);
    std::uint32_t f2eDst = 0;
    if (!rules.empty()) {
      f2eAvailable = true;
      f2eSrc = rules.front().srcVersion;
      f2eDst = rules.front().dstVersion;
    }
    result.logLines.push_back(F2ELogLine(f2eSrc, f2eDst));
  }

  Family family = bl < kBlE2prom && !request.toE2 ? Family::kF2F : Family::kE2E;
  bool movedToE2 = false;
  ChainRequest chain;
  chain.from = request.dataVersion;
  chain.target = request.targetVersion;
  chain.srcFolder = request.backupFolder;
  chain.output.kind = kOutputConv;
  chain.output.programDir = request.programDir;
  chain.output.comPort = request.comPort;
  chain.output.backupSetName = request.backupSetName;
  chain.stamp = request.stamp;
  chain.family = [&](std::uint32_t version) {
    if (family == Family::kF2F && f2eAvailable && version == f2eSrc) {
      family = Family::kF2E;
    } else if (family == Family::kF2E && movedToE2) {
      // Once the F2E step has run the data is an E2PROM image.
      family = Family::kE2E;
    }
    switch (family) {
      case Family::kF2F:
        return RuleFamily{request.programDir + kRuleF2FFolder, kHeaderFlash};
      case Family::kF2E:
        movedToE2 = true;
        return RuleFamily{request.programDir + kRuleF2EFolder, kHeaderE2};
      case Family::kE2E:
        break;
    }
    return RuleFamily{request.programDir + kRuleE2EFolder, kHeaderE2E};
  };
  std::vector<ConvertError> notices = std::move(result.chain.notices);
  result.chain = RunChain(chain);
  notices.insert(notices.end(), result.chain.notices.begin(), result.chain.notices.end());
  result.chain.notices = std::move(notices);
  result.paraPath = result.chain.LastFolder();
  switch (result.chain.end) {
    case ChainEnd::kReached:
      result.code = kConvertReached;
      break;
    case ChainEnd::kNoRule:
      result.code = kConvertNoRule;
      break;
    case ChainEnd::kFailed:
      result.code = kConvertFailed;
      break;
  }
  return result;
}

}  // namespace tavro::data
