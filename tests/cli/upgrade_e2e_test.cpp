// tavro-cli upgrade against tavro-sim serve on a pseudo terminal, with the
// simulator's sample package: the terminal's own data comes back converted,
// and an upgrade cut short by a power cut is resumed by the next one.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/cli_harness.hpp"
#include "data/file_io.hpp"
#include "link/byte_order.hpp"

namespace tavro::cli {
namespace {

constexpr std::uint32_t kPackageData = 0x01030000;

std::vector<std::uint8_t> Read(const std::string& path) {
  return data::ReadWholeFile(path).value_or(std::vector<std::uint8_t>{});
}

bool WriteSamplePackage(const TempDir& program) {
  return std::system(("'" TAVRO_SIM_PATH "' package --dir '" + program.Path() + "' >/dev/null")
                         .c_str()) == 0;
}

// The terminal's five areas as its profile keeps them.
std::vector<std::vector<std::uint8_t>> Areas(const TempDir& profile) {
  std::vector<std::vector<std::uint8_t>> areas;
  for (int k = 1; k <= 5; ++k)
    areas.push_back(Read(profile.PathOf("para" + std::to_string(k) + ".bin")));
  return areas;
}

// The sample rules write the new data version into the first four data
// bytes and copy the rest.
void ExpectConverted(const std::vector<std::vector<std::uint8_t>>& before,
                     const std::vector<std::vector<std::uint8_t>>& after) {
  ASSERT_EQ(after.size(), before.size());
  for (std::size_t i = 0; i < after.size(); ++i) {
    ASSERT_EQ(after[i].size(), before[i].size()) << "area " << i + 1;
    ASSERT_GT(after[i].size(), 516u);
    EXPECT_EQ(link::GetU32(after[i].data() + 6), kPackageData) << "header of area " << i + 1;
    EXPECT_EQ(link::GetU32(after[i].data() + 512), kPackageData) << "data of area " << i + 1;
    EXPECT_TRUE(std::equal(after[i].begin() + 516, after[i].end(), before[i].begin() + 516))
        << "area " << i + 1;
  }
}

TEST(UpgradeCommand, TheTerminalKeepsItsOwnDataConvertedAndRunsTheNewApp) {
  TempDir program, profile, scratch;
  MakeProgramDir(program);
  ASSERT_TRUE(WriteSamplePackage(program));
  ASSERT_TRUE(InitTerminal(profile, program, "0x0215"));
  const auto before = Areas(profile);
  ServedTerminal terminal(profile.Path(), 209);
  ASSERT_FALSE(terminal.path().empty()) << "the simulator did not start";

  const CliRun r = RunCli(scratch, "TAVRO_COM209=" + terminal.path(),
                          "--dir '" + program.Path() + "' --port COM209 --yes upgrade");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("Starting the terminal(100%)"), std::string::npos) << r.out;
  EXPECT_EQ(Read(profile.PathOf("app.bin")), Read(program.PathOf("SW/Flash/App.bin")));
  ExpectConverted(before, Areas(profile));
}

TEST(UpgradeCommand, AnUpgradeCutShortByAPowerCutIsResumedByTheNextOne) {
  TempDir program, profile, scratch;
  MakeProgramDir(program);
  ASSERT_TRUE(WriteSamplePackage(program));
  ASSERT_TRUE(InitTerminal(profile, program, "0x0215"));
  const auto before = Areas(profile);
  // The power goes at the second block of the third area.
  ServedTerminal terminal(profile.Path(), 210, "PowerCut=para:2, 1");
  ASSERT_FALSE(terminal.path().empty()) << "the simulator did not start";
  const std::string env = "TAVRO_COM210=" + terminal.path();
  const std::string args = "--dir '" + program.Path() + "' --port COM210 --yes upgrade";

  const CliRun cut = RunCli(scratch, env, args);
  EXPECT_NE(cut.exitCode, 0) << cut.out;
  ASSERT_EQ(data::ListFiles(program.PathOf("Backup/TAVR210"), "*.log").size(), 1u)
      << "the record of the interrupted download stays";

  const CliRun resumed = RunCli(scratch, env, args);
  ASSERT_EQ(resumed.exitCode, 0) << resumed.err;
  ExpectConverted(before, Areas(profile));
  EXPECT_TRUE(data::ListFiles(program.PathOf("Backup/TAVR210"), "*.log").empty());
}

}  // namespace
}  // namespace tavro::cli
