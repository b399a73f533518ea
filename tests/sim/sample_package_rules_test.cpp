// The sample package's conversion rules: an upgrade of a terminal made by
// `init` from the package converts its data to the package's version.

#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "data/file_io.hpp"
#include "data/ini_to_bin.hpp"
#include "data/init_prepare.hpp"
#include "data/package.hpp"
#include "data/para_images.hpp"
#include "data/rule_file.hpp"
#include "data/terminal_convert.hpp"
#include "sim/commands.hpp"
#include "sim/profile.hpp"
#include "sim/sample_rules.hpp"
#include "support/temp_dir.hpp"

namespace tavro::sim {
namespace {

using link::Bytes;

constexpr std::uint32_t kPackageVersion = 0x01030000;
constexpr link::TimeStamp kUpgradeTime{2025, 6, 7, 8, 9, 10};

class SamplePackageRules : public ::testing::Test {
 protected:
  void SetUp() override {
    program = dir.PathOf("program");
    ASSERT_TRUE(data::CreateFolders(program));
    ASSERT_TRUE(data::IniToBin(program + data::kPackageFileName,
                               std::string(TAVRO_TEST_PACKAGE_DIR) + "/SwUpdate-source.ini"));
    PackageOptions o;
    o.programDir = program;
    std::ostringstream out, err;
    ASSERT_EQ(RunPackage(o, out, err), 0) << err.str();
    ASSERT_EQ(o.dataVersion, kPackageVersion);
  }

  // A terminal as `tavro-sim init --package` makes it, with its defaults.
  Device Terminal(std::uint16_t blVersion) {
    InitOptions o;
    o.dir = dir.PathOf("terminal-" + std::to_string(blVersion));
    o.blVersion = blVersion;
    o.packageDir = program;
    std::ostringstream out, err;
    EXPECT_EQ(RunInit(o, out, err), 0) << err.str();
    Profile p;
    std::string error;
    EXPECT_TRUE(LoadProfile(o.dir, p, error)) << error;
    return p.device;
  }

  // Writes `images` as the read-back leaves them and converts them.
  data::TerminalConversionResult Convert(const Device& device,
                                         const std::vector<std::pair<std::string, Bytes>>& images) {
    const std::string backup = dir.PathOf("readback");
    EXPECT_TRUE(data::CreateFolders(backup));
    for (const auto& [name, bytes] : images)
      EXPECT_TRUE(data::WriteFileAtomic(backup + "/" + name, bytes)) << name;
    data::TerminalConversion request;
    request.programDir = program;
    request.comPort = 7;
    request.blVersion = device.bootloader.version;
    request.dataVersion = kSampleRuleSource;
    request.backupFolder = backup;
    request.backupSetName = "20250607080910-Bak";
    request.stamp = kUpgradeTime;
    request.targetVersion = kPackageVersion;
    return data::ConvertTerminalData(request);
  }

  // The converted image against its source: same size and model, the new
  // version, the mark over the first data bytes and the rest unchanged.
  void ExpectConverted(const Bytes& out, const Bytes& src, std::size_t headerSize) {
    ASSERT_EQ(out.size(), src.size());
    EXPECT_EQ(link::GetU32(out.data() + 6), kPackageVersion);
    EXPECT_EQ(link::GetU32(out.data() + 2), link::GetU32(src.data() + 2)) << "data size";
    EXPECT_TRUE(std::equal(out.begin() + 10, out.begin() + 18, src.begin() + 10)) << "model";
    const Bytes mark(out.begin() + headerSize, out.begin() + headerSize + kSampleMarkBytes);
    EXPECT_EQ(link::GetU32(mark.data()), kPackageVersion);
    EXPECT_FALSE(std::equal(mark.begin(), mark.end(), src.begin() + headerSize))
        << "the mark changes the data";
    EXPECT_TRUE(std::equal(out.begin() + headerSize + kSampleMarkBytes, out.end(),
                           src.begin() + headerSize + kSampleMarkBytes))
        << "the rest is copied";
  }

  test::TempDir dir;
  std::string program;
};

TEST_F(SamplePackageRules, RuleFilesAreWholeAndConvertFromTheInitVersion) {
  EXPECT_EQ(InitOptions{}.dataVersion, kSampleRuleSource) << "init's default terminals convert";
  const std::pair<const char*, std::size_t> rules[] = {{kSampleFlashRule, 5}, {kSampleE2Rule, 1}};
  for (const auto& [rule, blocks] : rules) {
    const auto bytes = data::ReadWholeFile(program + rule);
    ASSERT_TRUE(bytes) << rule;
    const data::RuleParse parse = data::ParseRuleFile(*bytes);
    ASSERT_TRUE(parse.ok()) << rule << ": " << parse.error.why;
    EXPECT_EQ(parse.file.srcVersion, kSampleRuleSource);
    EXPECT_EQ(parse.file.dstVersion, kPackageVersion);
    EXPECT_EQ(parse.file.blocks.size(), blocks) << rule;
  }
}

TEST_F(SamplePackageRules, FlashTerminalDataIsConverted) {
  const Device device = Terminal(0x0215);
  ASSERT_EQ(device.para.size(), 5u);
  std::vector<std::pair<std::string, Bytes>> images;
  std::set<std::size_t> sizes;
  for (std::size_t i = 0; i < device.para.size(); ++i) {
    images.emplace_back(device.areas[i].fileName, device.para[i].primary.bytes);
    sizes.insert(device.para[i].primary.bytes.size());
  }
  EXPECT_GT(sizes.size(), 1u) << "the areas' data sizes differ";
  const auto result = Convert(device, images);
  ASSERT_EQ(result.code, data::kConvertReached) << result.chain.error.text;
  ASSERT_EQ(result.chain.steps.size(), 1u);
  EXPECT_EQ(result.chain.reached, kPackageVersion);
  EXPECT_EQ(result.chain.steps[0].written.size(), images.size());
  EXPECT_EQ(data::ListFiles(result.paraPath, "*.dat").size(), images.size());
  for (std::size_t i = 0; i < images.size(); ++i) {
    SCOPED_TRACE(images[i].first);
    const auto out = data::ReadWholeFile(result.paraPath + "/" + std::to_string(i + 1) + ".dat");
    ASSERT_TRUE(out);
    ExpectConverted(*out, images[i].second, kParaHeaderSize);
    // Each converted image still goes into its own area.
    EXPECT_LE(out->size(), device.para[i].primary.capacity);
  }
}

TEST_F(SamplePackageRules, E2promTerminalDataIsConverted) {
  const Device device = Terminal(0x0230);
  ASSERT_EQ(device.e2prom.size(), kE2Size);
  const auto result = Convert(device, {{"E2.dat", device.e2prom}});
  ASSERT_EQ(result.code, data::kConvertReached) << result.chain.error.text;
  ASSERT_EQ(result.chain.steps.size(), 1u);
  EXPECT_EQ(data::ListFiles(result.paraPath, "*.dat"), std::vector<std::string>{"E2.dat"});
  const auto out = data::ReadWholeFile(result.paraPath + "/E2.dat");
  ASSERT_TRUE(out);
  ExpectConverted(*out, device.e2prom, kE2HeaderSize);
}

TEST_F(SamplePackageRules, StartUpPreparationKeepsTheInitialData) {
  std::vector<std::pair<std::string, std::optional<Bytes>>> before;
  const std::string flash = program + data::kInitFlashFolder;
  for (const std::string& name : data::ListFiles(flash, "*.dat"))
    before.emplace_back(flash + "/" + name, data::ReadWholeFile(flash + "/" + name));
  const std::string e2 = program + data::kInitE2promFolder + "/E2.dat";
  before.emplace_back(e2, data::ReadWholeFile(e2));
  ASSERT_EQ(before.size(), 6u);

  data::PrepareRequest request;
  request.programDir = program;
  request.requisiteNum = 5;
  request.stamp = kUpgradeTime;
  const data::PrepareResult result = data::PrepareInitialData(request);
  EXPECT_EQ(result.code, data::kPrepared) << result.error.text;
  EXPECT_EQ(result.destVersion, kPackageVersion);
  EXPECT_TRUE(result.paraPath.empty()) << "no conversion ran";
  EXPECT_EQ(data::ListFiles(flash, "*.dat").size(), 5u);
  for (const auto& [path, bytes] : before) {
    ASSERT_TRUE(bytes) << path;
    EXPECT_EQ(data::ReadWholeFile(path), bytes) << path;
  }
}

TEST_F(SamplePackageRules, NoRulesForAVersionThatIsNotNewer) {
  // Written again at the terminals' own version: the rules of the first
  // run would convert to a version the package no longer has.
  PackageOptions o;
  o.programDir = program;
  o.dataVersion = kSampleRuleSource;
  std::ostringstream out, err;
  ASSERT_EQ(RunPackage(o, out, err), 0) << err.str();
  EXPECT_FALSE(data::FileExists(program + kSampleFlashRule));
  EXPECT_FALSE(data::FileExists(program + kSampleE2Rule));
  EXPECT_NE(out.str().find("No conversion rules"), std::string::npos) << out.str();
}

}  // namespace
}  // namespace tavro::sim
