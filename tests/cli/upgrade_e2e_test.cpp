// tavro-cli upgrade against tavro-sim serve on a pseudo terminal, with the
// simulator's sample package: the terminal's own data comes back converted,
// and an upgrade cut short by a power cut is resumed by the next one.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
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
  return std::system(
             ("'" TAVRO_SIM_PATH "' package --dir '" + program.Path() + "' >/dev/null").c_str()) ==
         0;
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

// Scratch folders of conversions ("Temp-<pid>") anywhere under `root`.
std::vector<std::string> ScratchFolders(const std::string& root) {
  std::vector<std::string> found;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (it->path().filename().string().rfind("Temp", 0) == 0)
      found.push_back(it->path().string());
  }
  return found;
}

TEST(UpgradeCommand, ThreeTerminalsUpgradedAtOnceFromOneProgramDirectoryEachEndAsAlone) {
  constexpr int kTerminals = 3;
  TempDir program, scratch;
  MakeProgramDir(program);
  ASSERT_TRUE(WriteSamplePackage(program));
  std::vector<std::unique_ptr<TempDir>> profiles;
  std::vector<std::vector<std::vector<std::uint8_t>>> before;
  std::vector<std::unique_ptr<ServedTerminal>> terminals;
  std::string env;
  for (int i = 0; i < kTerminals; ++i) {
    profiles.push_back(std::make_unique<TempDir>());
    ASSERT_TRUE(InitTerminal(*profiles[i], program, "0x0215"));
    before.push_back(Areas(*profiles[i]));
    terminals.push_back(std::make_unique<ServedTerminal>(profiles[i]->Path(), 200 + i));
    ASSERT_FALSE(terminals[i]->path().empty()) << "simulator " << i << " did not start";
    env += "TAVRO_COM" + std::to_string(200 + i) + "=" + terminals[i]->path() + " ";
  }

  // One tavro-cli per port, all started before any has finished its start-up.
  std::vector<std::unique_ptr<CliProcess>> runs;
  for (int i = 0; i < kTerminals; ++i) {
    const std::string port = "COM" + std::to_string(200 + i);
    runs.push_back(std::make_unique<CliProcess>(
        scratch, port, env, "--dir '" + program.Path() + "' --port " + port + " --yes upgrade"));
  }
  for (int i = 0; i < kTerminals; ++i) {
    const CliRun r = runs[i]->Wait();
    SCOPED_TRACE("COM" + std::to_string(200 + i));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Starting the terminal(100%)"), std::string::npos) << r.out;
    EXPECT_EQ(Read(profiles[i]->PathOf("app.bin")), Read(program.PathOf("SW/Flash/App.bin")));
    ExpectConverted(before[i], Areas(*profiles[i]));
    const std::string folder = program.PathOf("Backup/TAVR" + std::to_string(200 + i));
    EXPECT_TRUE(data::ListFiles(folder, "*.log").empty()) << "the finished upgrade's record goes";
    EXPECT_TRUE(data::FileExists(folder + "/Conv")) << "the port's own conversion";
  }
  // A run log each, every one named by its port. The programs may start in
  // different seconds, so the names' order says nothing about the ports.
  const std::vector<std::string> logs =
      data::ListFiles(program.PathOf("Backup/AppRunLog"), "*.txt");
  ASSERT_EQ(logs.size(), static_cast<std::size_t>(kTerminals));
  for (int i = 0; i < kTerminals; ++i) {
    const std::string suffix = "-COM" + std::to_string(200 + i) + ".txt";
    EXPECT_EQ(std::count_if(logs.begin(), logs.end(),
                            [&](const std::string& name) {
                              return name.size() > suffix.size() &&
                                     name.compare(name.size() - suffix.size(), suffix.size(),
                                                  suffix) == 0;
                            }),
              1)
        << suffix;
  }
  EXPECT_TRUE(ScratchFolders(program.Path()).empty());
}

}  // namespace
}  // namespace tavro::cli
