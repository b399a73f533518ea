#include "data/init_prepare.hpp"

#include <array>
#include <cstdio>
#include <fstream>
#include <optional>

#include "data/file_io.hpp"
#include "data/package.hpp"
#include "data/para_images.hpp"
#include "data/rule_chain.hpp"
#include "data/rule_image.hpp"
#include "data/utf8_path.hpp"

namespace tavro::data {

namespace {

constexpr std::size_t kE2NameLength = 6;     // "E2.dat"
constexpr std::size_t kFlashNameLength = 5;  // "k.dat"

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%x", value);
  return text;
}

// A version as the console shows it.
std::string Shown(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

// The last `n` characters of a name; a shorter name whole.
std::string LastCharacters(const std::string& name, std::size_t n) {
  return name.size() > n ? name.substr(name.size() - n) : name;
}

// The data version of an image, from a header of at least `headerSize`
// bytes.
std::optional<std::uint32_t> ImageVersion(const std::string& path, std::size_t headerSize,
                                          ConvertError& error) {
  std::ifstream in(Utf8Path(path), std::ios::binary);
  if (!FileSize(path) || !in) {
    error = FileNotFound(path);
    return std::nullopt;
  }
  std::array<std::uint8_t, kFlashImageHeaderSize> head{};
  in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(headerSize));
  if (static_cast<std::size_t>(in.gcount()) < headerSize) {
    error = FileUnreadable(path, "shorter than its " + std::to_string(headerSize) + "-byte header");
    return std::nullopt;
  }
  return link::GetU32(head.data() + 6);
}

// One area (the E2PROM image or the Flash images) and what it shares with
// the other: the request and the result being filled.
class Preparation {
 public:
  Preparation(const PrepareRequest& request, PrepareResult& result)
      : request_(request), result_(result) {}

  std::string Path(const char* relative) const { return request_.programDir + relative; }

  void Log(std::string line) { result_.logLines.push_back(std::move(line)); }
  void Did(std::string action) { result_.actions.push_back(std::move(action)); }

  bool Fail(ConvertError error, int code) {
    result_.error = std::move(error);
    result_.code = code;
    return false;
  }

  // Copies the base images named in `names` into `to`, each under its last
  // `keep` characters.
  bool CopyBase(const std::string& from, const std::vector<std::string>& names,
                const std::string& to, std::size_t keep, int failCode) {
    for (const std::string& name : names) {
      const std::string target = to + "/" + LastCharacters(name, keep);
      if (!CopyFileOverwrite(from + "/" + name, target))
        return Fail(WriteFailed(target, "the image"), failCode);
      Did("copied " + from + "/" + name + " to " + target);
    }
    return true;
  }

  // Converts from `version` with the rules of `rules` until the
  // destination version; returns the version reached, nullopt on failure.
  std::optional<std::uint32_t> Convert(std::uint32_t version, const char* rules,
                                       const std::string& baseFolder, int headerKind,
                                       int outputKind, const char* noRuleLine, int failCode) {
    ChainRequest chain;
    chain.from = version;
    chain.target = result_.destVersion;
    chain.srcFolder = baseFolder;
    chain.output.kind = outputKind;
    chain.output.programDir = request_.programDir;
    chain.stamp = request_.stamp;
    const RuleFamily family{Path(rules), headerKind};
    chain.family = [&family](std::uint32_t) { return family; };
    ChainResult run = RunChain(chain);
    result_.notices.insert(result_.notices.end(), run.notices.begin(), run.notices.end());
    for (const ChainStep& step : run.steps) {
      Did("converted " + Shown(step.from) + " to " + Shown(step.to) + " with " + step.rulePath +
          " into " + step.outFolder);
    }
    if (!run.steps.empty())
      result_.paraPath = run.LastFolder();
    if (run.end == ChainEnd::kFailed) {
      Fail(std::move(run.error), failCode);
      return std::nullopt;
    }
    if (run.end == ChainEnd::kNoRule) {
      Log(noRuleLine);
      Did("no rule in " + Path(rules) + " converts from " + Shown(run.reached));
    }
    return run.reached;
  }

  bool E2prom() {
    const std::string init = Path(kInitE2promFolder) + "/" + kE2ImageName;
    const std::string dest = Hex(result_.destVersion);
    if (FileExists(init)) {
      ConvertError error;
      const std::optional<std::uint32_t> version = ImageVersion(init, kE2HeaderSize, error);
      if (!version)
        return Fail(std::move(error), kPrepareE2promFailed);
      if (*version == result_.destVersion) {
        Log("\r\nE2Dest=Base_" + dest + "_OK");
        Did(init + " is at " + Shown(result_.destVersion) + " already");
        return true;
      }
      if (!RemoveFile(init))
        return Fail(RemoveFailed(init), kPrepareE2promFailed);
      Did("removed " + init + " (" + Shown(*version) + ")");
    }
    const std::string baseFolder = Path(kBaseE2promFolder);
    const std::string base = baseFolder + "/" + kE2ImageName;
    if (!FileExists(base)) {
      Log("\r\nNoBaseE2");
      Did("no base E2PROM image " + base);
      return true;
    }
    ConvertError error;
    const std::optional<std::uint32_t> baseVersion = ImageVersion(base, kE2HeaderSize, error);
    if (!baseVersion)
      return Fail(std::move(error), kPrepareE2promFailed);
    Log("\r\nE2Base_" + Hex(*baseVersion));
    std::uint32_t reached = *baseVersion;
    if (reached < result_.destVersion) {
      const auto converted = Convert(reached, kRuleE2EFolder, baseFolder, kHeaderE2E,
                                     kOutputInitE2prom, "\r\nE2_B2D_NoRule", kPrepareE2promFailed);
      DeleteTree(Path(kInitE2promFolder) + "/" + ScratchFolderName());
      if (!converted)
        return false;
      reached = *converted;
    } else if (!CopyBase(baseFolder, ListFiles(baseFolder, "*.dat"), Path(kInitE2promFolder),
                         kE2NameLength, kPrepareE2promFailed)) {
      return false;
    }
    Log("\r\nE2Dest_" + dest + "_Conv2_" + Hex(reached) + "_OK");
    return true;
  }

  bool Flash() {
    const std::string initFolder = Path(kInitFlashFolder);
    const std::string dest = Hex(result_.destVersion);
    const std::vector<std::string> initImages = ListFiles(initFolder, "*.dat");
    // Without images the set counts as being at version 0.
    bool atDest = initImages.empty() ? result_.destVersion == 0 : true;
    for (const std::string& name : initImages) {
      ConvertError error;
      const auto version = ImageVersion(initFolder + "/" + name, kFlashImageHeaderSize, error);
      if (!version)
        return Fail(std::move(error), kPrepareFlashFailed);
      if (*version != result_.destVersion) {
        atDest = false;
        break;
      }
    }
    if (atDest) {
      Log("\r\nFDest=Base_" + dest + "_Ok");
      Did(initFolder + " is at " + Shown(result_.destVersion) + " already");
      return true;
    }
    for (const std::string& name : initImages) {
      if (!RemoveFile(initFolder + "/" + name))
        return Fail(RemoveFailed(initFolder + "/" + name), kPrepareFlashFailed);
      Did("removed " + initFolder + "/" + name);
    }
    const std::string baseFolder = Path(kBaseFlashFolder);
    const std::vector<std::string> baseImages = ListFiles(baseFolder, "*.dat");
    if (baseImages.empty() || baseImages.size() < request_.requisiteNum) {
      Log("\r\nNoBaseFlash");
      Did("no base Flash set in " + baseFolder + " (" + std::to_string(baseImages.size()) +
          " images, " + std::to_string(request_.requisiteNum) + " required)");
      return true;
    }
    ConvertError error;
    const auto baseVersion =
        ImageVersion(baseFolder + "/" + baseImages.front(), kFlashImageHeaderSize, error);
    if (!baseVersion)
      return Fail(std::move(error), kPrepareFlashFailed);
    Log("\r\nFBase_" + Hex(*baseVersion));
    std::uint32_t reached = *baseVersion;
    if (reached < result_.destVersion) {
      const auto converted = Convert(reached, kRuleF2FFolder, baseFolder, kHeaderFlash,
                                     kOutputInitFlash, "\r\nF_B2D_NoRule", kPrepareFlashFailed);
      DeleteTree(initFolder + "/" + ScratchFolderName());
      if (!converted)
        return false;
      reached = *converted;
    } else if (!CopyBase(baseFolder, baseImages, initFolder, kFlashNameLength,
                         kPrepareFlashFailed)) {
      return false;
    }
    Log("\r\nFDest_" + dest + "_Conv2_" + Hex(reached) + "_Ok");
    return true;
  }

 private:
  const PrepareRequest& request_;
  PrepareResult& result_;
};

}  // namespace

PrepareResult PrepareInitialData(const PrepareRequest& request) {
  PrepareResult result;
  if (!FileExists(request.programDir + kDataVersionFile)) {
    result.code = kPrepareNoDataVersion;
    result.actions.push_back("no data version file " + request.programDir + kDataVersionFile);
    return result;
  }
  result.destVersion = ReadDestVersion(request.programDir);
  result.actions.push_back("destination data version " + Shown(result.destVersion));
  Preparation preparation(request, result);
  if (preparation.E2prom())
    preparation.Flash();
  return result;
}

}  // namespace tavro::data
