// tavro-cli backup, upgrade, backups and restore against tavro-sim serve on
// a pseudo terminal, for both generations: the restore returns the terminal
// to its backup (time stamps aside), --no leaves it as it is, and a folder
// outside the Backup tree is refused.

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_harness.hpp"
#include "data/file_io.hpp"

namespace tavro::cli {
namespace {

std::vector<std::uint8_t> Read(const std::string& path) {
  return data::ReadWholeFile(path).value_or(std::vector<std::uint8_t>{});
}

bool WriteSamplePackage(const TempDir& program) {
  return std::system(
             ("'" TAVRO_SIM_PATH "' package --dir '" + program.Path() + "' >/dev/null").c_str()) ==
         0;
}

struct Generation {
  const char* bl;
  int com;
  bool e2;
};

// The terminal's data as its profile keeps it, the download's time stamps
// blanked.
std::vector<std::vector<std::uint8_t>> DataOf(const TempDir& profile, bool e2) {
  std::vector<std::vector<std::uint8_t>> data;
  if (e2) {
    auto bytes = Read(profile.PathOf("e2prom.bin"));
    if (bytes.size() >= 32)
      std::fill(bytes.begin() + 18, bytes.begin() + 32, 0);
    data.push_back(bytes);
    return data;
  }
  for (int k = 1; k <= 5; ++k) {
    auto bytes = Read(profile.PathOf("para" + std::to_string(k) + ".bin"));
    if (bytes.size() >= 64)
      std::fill(bytes.begin() + 48, bytes.begin() + 64, 0);
    data.push_back(bytes);
  }
  return data;
}

// The folders `backups` lists, in its order (the last word of each line).
std::vector<std::string> ListedFolders(const std::string& out) {
  std::vector<std::string> folders;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    const auto space = line.rfind(' ');
    if (space != std::string::npos)
      folders.push_back(line.substr(space + 1));
  }
  return folders;
}

class RestoreCommand : public ::testing::TestWithParam<Generation> {};

TEST_P(RestoreCommand, ReturnsTheTerminalToItsBackupAfterAnUpgrade) {
  const Generation& g = GetParam();
  TempDir program, profile, scratch;
  MakeProgramDir(program);
  ASSERT_TRUE(WriteSamplePackage(program));
  ASSERT_TRUE(InitTerminal(profile, program, g.bl));
  const auto app = Read(profile.PathOf("app.bin"));
  const auto data = DataOf(profile, g.e2);
  ServedTerminal terminal(profile.Path(), g.com);
  ASSERT_FALSE(terminal.path().empty()) << "the simulator did not start";
  const std::string port = "COM" + std::to_string(g.com);
  const std::string env = "TAVRO_" + port + "=" + terminal.path();
  const std::string dir = "--dir '" + program.Path() + "' ";
  const std::string args = dir + "--port " + port + " ";

  const CliRun backup = RunCli(scratch, env, args + "backup");
  ASSERT_EQ(backup.exitCode, 0) << backup.err;
  const CliRun listed = RunCli(scratch, env, dir + "backups");
  ASSERT_EQ(listed.exitCode, 0) << listed.err;
  const std::vector<std::string> points = ListedFolders(listed.out);
  ASSERT_EQ(points.size(), 1u) << listed.out;
  EXPECT_NE(listed.out.find("TAVR" + std::to_string(g.com)), std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find(g.e2 ? "E2PROM" : "Flash areas"), std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find(" complete "), std::string::npos) << listed.out;
  const std::string point = points[0];

  const CliRun upgrade = RunCli(scratch, env, args + "--yes upgrade");
  ASSERT_EQ(upgrade.exitCode, 0) << upgrade.err;
  ASSERT_NE(DataOf(profile, g.e2), data);
  ASSERT_NE(Read(profile.PathOf("app.bin")), app);
  const auto upgradedApp = Read(profile.PathOf("app.bin"));
  const auto upgradedData = DataOf(profile, g.e2);

  // --no: the question is answered with Cancel and nothing is sent.
  const CliRun declined = RunCli(scratch, env, args + "--no restore '" + point + "'");
  EXPECT_EQ(declined.exitCode, 1) << declined.err;
  EXPECT_EQ(Read(profile.PathOf("app.bin")), upgradedApp);
  EXPECT_EQ(DataOf(profile, g.e2), upgradedData);

  const CliRun outside = RunCli(scratch, env, args + "--yes restore '" + profile.Path() + "'");
  EXPECT_EQ(outside.exitCode, 1) << outside.err;
  EXPECT_NE(outside.err.find("Nothing was sent"), std::string::npos) << outside.err;
  EXPECT_EQ(DataOf(profile, g.e2), upgradedData);

  const CliRun restored = RunCli(scratch, env, args + "--yes restore '" + point + "'");
  ASSERT_EQ(restored.exitCode, 0) << restored.err;
  EXPECT_NE(restored.out.find("Restored the backup"), std::string::npos) << restored.out;
  EXPECT_EQ(Read(profile.PathOf("app.bin")), app);
  EXPECT_EQ(DataOf(profile, g.e2), data);
  EXPECT_TRUE(
      data::ListFiles(program.PathOf("Backup/TAVR" + std::to_string(g.com)), "*.log").empty());

  // The upgrade and the restore each saved what the terminal held first.
  const CliRun after = RunCli(scratch, env, dir + "backups");
  const std::vector<std::string> folders = ListedFolders(after.out);
  EXPECT_EQ(folders.size(), 3u) << after.out;
  // Within one second the backup and the upgrade's read-back share a stamp,
  // and their order is the folders'.
  EXPECT_NE(std::find(folders.begin(), folders.end(), point), folders.end()) << after.out;
  EXPECT_NE(folders.front(), point) << "the newest is the restore's own backup\n" << after.out;
}

INSTANTIATE_TEST_SUITE_P(BothGenerations, RestoreCommand,
                         ::testing::Values(Generation{"0x0215", 220, false},
                                           Generation{"0x0230", 221, true}),
                         [](const ::testing::TestParamInfo<Generation>& info) {
                           return std::string(info.param.e2 ? "E2prom" : "FlashAreas");
                         });

}  // namespace
}  // namespace tavro::cli
