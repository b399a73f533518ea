#include "sim/commands.hpp"

#include <algorithm>

#include "data/file_io.hpp"
#include "data/package.hpp"
#include "data/rule_file.hpp"
#include "sim/device_factory.hpp"
#include "sim/device_report.hpp"
#include "sim/profile.hpp"
#include "sim/sample_rules.hpp"
#include "sim/text_util.hpp"

namespace tavro::sim {
namespace {

// The area table and parameter-area count of the package's records in
// `areas` and `values`, as a generated terminal takes them.
void TakeAreas(const data::PackageValues& values, const data::AreaTable& areas, DeviceSpec& out) {
  for (std::size_t i = 0; i < kAreaEntries; ++i) {
    out.areas[i] = {areas[i].areaAddr, areas[i].areaLen, areas[i].areaArg, areas[i].fileName};
  }
  out.paraCount = std::min<std::size_t>(values.paraFileTotalNum, kMaxParaAreas);
}

// The area table and parameter-area count the package gives this terminal.
bool AreasFromPackage(const InitOptions& o, DeviceSpec& spec, std::ostream& err) {
  const std::string path = o.packageDir + data::kPackageFileName;
  const auto bytes = data::ReadWholeFile(path);
  if (!bytes) {
    err << path << ": cannot be read\n";
    return false;
  }
  data::PackageValues values;
  data::AreaTable areas;
  const std::uint32_t type = o.terminalType.value_or(0);
  if (!data::ParsePackage(*bytes, type, o.blVersion, values, areas)) {
    err << path << ": not a package description\n";
    return false;
  }
  const bool any = std::any_of(areas.begin(), areas.end(),
                               [](const data::AreaEntry& e) { return e.areaAddr != 0; });
  if (!any) {
    err << path << ": no areas for terminal type " << type << " and bootloader class "
        << Hex(data::BlVersionClass(o.blVersion)) << "\n";
    return false;
  }
  TakeAreas(values, areas, spec);
  return true;
}

// The rule files that convert the data of a terminal `init --package` makes
// with its defaults. A rule copies fixed widths, so the Flash rule fits the
// areas' data sizes of that terminal only: a smaller area fails the step (a
// copy past the end of its image), a larger one would lose the bytes beyond
// the width. Empty with `error` set when an area's read-back name cannot be
// named in a rule.
std::vector<std::pair<std::string, link::Bytes>> SampleRules(const data::PackageValues& values,
                                                             const data::AreaTable& areas,
                                                             std::uint32_t dstVersion,
                                                             std::string& error) {
  const InitOptions defaults;
  DeviceSpec wanted;
  wanted.blVersion = defaults.blVersion;
  wanted.terminalType = defaults.terminalType;
  wanted.dataVersion = kSampleRuleSource;
  TakeAreas(values, areas, wanted);
  const Device terminal = MakeDevice(wanted);
  std::vector<SampleFlashImage> images;
  for (std::size_t i = 0; i < terminal.para.size(); ++i) {
    const link::Bytes& area = terminal.para[i].primary.bytes;
    if (area.size() < kParaHeaderSize)
      continue;  // left erased: nothing is read back from it
    const std::string& name = terminal.areas[i].fileName;
    if (!data::IsRuleDataFileName(name)) {
      error = "parameter area " + std::to_string(i + 1) + ": its file name \"" + name +
              "\" cannot be named in a rule file";
      return {};
    }
    images.push_back({i, name, area.size() - kParaHeaderSize});
  }
  return {{kSampleFlashRule, SampleFlashRule(images, dstVersion)},
          {kSampleE2Rule, SampleE2Rule(dstVersion)}};
}

}  // namespace

int RunInit(const InitOptions& o, std::ostream& out, std::ostream& err) {
  if (o.dir.empty()) {
    err << "init: no folder given\n";
    return 2;
  }
  if (!o.force && data::FileExists(o.dir + "/" + kProfileIni)) {
    err << o.dir << ": holds a terminal already (--force replaces it)\n";
    return 1;
  }
  DeviceSpec spec;
  spec.blVersion = o.blVersion;
  spec.terminalType = o.terminalType;
  spec.appVersion = o.appVersion;
  spec.backupAppVersion = o.appVersion > 0x100 ? o.appVersion - 0x100 : o.appVersion;
  spec.dataVersion = o.dataVersion;
  spec.sizeCode = o.sizeCode;
  spec.model = o.model;
  if (!o.packageDir.empty() && !AreasFromPackage(o, spec, err))
    return 1;
  Profile profile;
  profile.device = MakeDevice(spec);
  std::string error;
  if (!SaveProfile(o.dir, profile, error)) {
    err << error << "\n";
    return 1;
  }
  out << "Terminal created in " << o.dir << "\n" << DescribeDevice(profile.device);
  return 0;
}

int RunPackage(const PackageOptions& o, std::ostream& out, std::ostream& err) {
  const std::string dir = o.programDir;
  const auto bytes = data::ReadWholeFile(dir + data::kPackageFileName);
  data::PackageValues values;
  data::AreaTable areas;
  if (!bytes || !data::ParsePackage(*bytes, 1, 0x0215, values, areas)) {
    err << dir << data::kPackageFileName << ": not a package description\n";
    return 1;
  }
  // Small enough for the smallest parameter area of every generation.
  constexpr std::size_t kSampleDataSize = 2000;
  constexpr std::size_t kSampleAppSize = 40 * 1024 + 77;
  const link::Bytes app = MakeAppFile(o.appVersion, o.model, kSampleAppSize);
  std::vector<std::pair<std::string, link::Bytes>> files = {
      {"/SW/Flash/App.bin", app},
      {"/SW/E2prom/App.bin", app},
      {"/Data/InitData/E2prom/E2.dat", MakeE2Image(o.dataVersion, o.model, {})},
      {"/QZDownload.bin", {}},
  };
  const std::size_t count = std::min<std::size_t>(values.paraFileTotalNum, kMaxParaAreas);
  for (std::size_t i = 0; i < count; ++i) {
    files.emplace_back("/Data/InitData/Flash/" + std::to_string(i + 1) + ".dat",
                       MakeParaImage(i, o.dataVersion, o.model, kSampleDataSize, {}));
  }
  const std::string version = "[DestPara]\r\nDestParaVer=" + Hex(o.dataVersion) + "\r\n";
  files.emplace_back("/Data/DataVer.ini", link::Bytes(version.begin(), version.end()));
  // Rules only lead to a newer version; older sample rules would convert a
  // terminal to a version this package does not have.
  const bool withRules = o.dataVersion > kSampleRuleSource;
  if (withRules) {
    std::string error;
    auto rules = SampleRules(values, areas, o.dataVersion, error);
    if (rules.empty()) {
      err << dir << data::kPackageFileName << ": " << error << "\n";
      return 1;
    }
    files.insert(files.end(), rules.begin(), rules.end());
  } else {
    for (const char* rule : {kSampleFlashRule, kSampleE2Rule}) {
      if (data::FileExists(dir + rule) && !data::RemoveFile(dir + rule)) {
        err << dir + rule << ": cannot be removed\n";
        return 1;
      }
    }
  }
  for (const auto& [relative, content] : files) {
    const std::string path = dir + relative;
    if (!data::CreateFolders(path.substr(0, path.rfind('/'))) ||
        !data::WriteFileAtomic(path, content)) {
      err << path << ": cannot be written\n";
      return 1;
    }
  }
  out << "Sample package written to " << dir << ": App " << Hex(o.appVersion) << ", parameter data "
      << Hex(o.dataVersion) << "\n";
  if (withRules) {
    out << "Conversion rules from " << Hex(kSampleRuleSource) << ": " << dir << kSampleFlashRule
        << ", " << dir << kSampleE2Rule << "\n";
  } else {
    out << "No conversion rules: the data version is not above " << Hex(kSampleRuleSource) << "\n";
  }
  return 0;
}

int RunShow(const std::string& dir, std::ostream& out, std::ostream& err) {
  Profile profile;
  std::string error;
  if (!LoadProfile(dir, profile, error)) {
    err << error << "\n";
    return 1;
  }
  out << DescribeDevice(profile.device);
  const auto faults = FaultEntries(profile.faults);
  if (!faults.empty()) {
    out << "Faults:";
    for (const auto& [key, value] : faults)
      out << " " << key << "=" << value;
    out << "\n";
  }
  return 0;
}

}  // namespace tavro::sim
