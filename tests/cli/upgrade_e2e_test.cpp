// tavro-cli upgrade against tavro-sim serve on a pseudo terminal, with the
// simulator's sample package: the terminal's own data comes back converted,
// and an upgrade cut short by a power cut is resumed by the next one.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <thread>
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

std::size_t Records(const TempDir& program, int com) {
  return data::ListFiles(program.PathOf("Backup/TAVR" + std::to_string(com)), "*.log").size();
}

// --no answers "do not go on" everywhere, also where Cancel would go on
// without the App backup; a run that nobody can answer does not start.
TEST(UpgradeCommand, NoAndARunNobodyCanAnswerLeaveTheTerminalAsItWas) {
  TempDir program, profile, scratch;
  MakeProgramDir(program);
  ASSERT_TRUE(WriteSamplePackage(program));
  ASSERT_TRUE(InitTerminal(profile, program, "0x0215"));
  const auto app = Read(profile.PathOf("app.bin"));
  const auto backupApp = Read(profile.PathOf("app-backup.bin"));
  const auto areas = Areas(profile);
  ServedTerminal terminal(profile.Path(), 211);
  ASSERT_FALSE(terminal.path().empty()) << "the simulator did not start";
  const std::string env = "TAVRO_COM211=" + terminal.path();
  const std::string args = "--dir '" + program.Path() + "' --port COM211 ";
  const auto expectUnchanged = [&] {
    EXPECT_EQ(Read(profile.PathOf("app.bin")), app);
    EXPECT_EQ(Read(profile.PathOf("app-backup.bin")), backupApp);
    EXPECT_EQ(Areas(profile), areas);
    EXPECT_EQ(Records(program, 211), 0u) << "no download was recorded";
  };

  const CliRun no = RunCli(scratch, env, args + "--no upgrade");
  EXPECT_EQ(no.exitCode, 1) << no.err;
  EXPECT_TRUE(no.out.empty()) << no.out;
  EXPECT_NE(no.err.find("Cancel: go on without this backup. -> not answered\nerror: stopped at "
                        "this question"),
            std::string::npos)
      << no.err;
  expectUnchanged();

  const CliRun noDownload = RunCli(scratch, env, args + "--no download");
  EXPECT_EQ(noDownload.exitCode, 1) << noDownload.err;
  EXPECT_NE(noDownload.err.find("Cancel: stop. -> Cancel"), std::string::npos) << noDownload.err;
  EXPECT_TRUE(noDownload.out.empty()) << noDownload.out;
  EXPECT_TRUE(data::FileExists(program.PathOf("QZDownload.bin"))) << "the package is not used up";
  expectUnchanged();

  // stdin is /dev/null here: nobody can answer.
  for (const char* command : {"upgrade", "download", "rollback"}) {
    SCOPED_TRACE(command);
    const CliRun r = RunCli(scratch, env, args + command);
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_NE(r.err.find(std::string("error: ") + command + " asks questions"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("--yes"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--no"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("port:"), std::string::npos) << "refused before the port is opened";
    expectUnchanged();
  }
  EXPECT_TRUE(data::FileExists(program.PathOf("QZDownload.bin")));
}

// What a log of `tavro-cli --yes upgrade 2>&1 | tee` holds: the stages and a
// line per tenth of each, not the stage display redrawn every second; the
// final text on stdout only when the upgrade succeeded.
TEST(UpgradeCommand, ThroughAPipeAnUpgradeIsAFewLinesAndStdoutOnlyItsResult) {
  {
    TempDir program, profile;
    MakeProgramDir(program);
    ASSERT_TRUE(WriteSamplePackage(program));
    ASSERT_TRUE(InitTerminal(profile, program, "0x0215"));
    // At the line rate, as on a cable: the window redraws its stages
    // every second for the whole transfer.
    ServedTerminal terminal(profile.Path(), 212, {}, true);
    ASSERT_FALSE(terminal.path().empty()) << "the simulator did not start";
    const CliRun r =
        RunCliThroughPipes("TAVRO_COM212=" + terminal.path(),
                           "--dir '" + program.Path() + "' --port COM212 --yes upgrade");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "√Reading device information(100%)\n\n√Backing up to the PC(100%)\n\n"
              "√Converting data(100%)\n\n√Downloading(100%)\n\n√Starting the terminal(100%)\n\n"
              "Parameter data converted from 1.2.0.0 to 1.3.0.0\n\n"
              "App: 1.0.2.0 → 1.0.3.0\nParameter data: 1.2.0.0 → 1.3.0.0\n");
    std::vector<std::string> lines;
    for (std::size_t begin = 0; begin < r.err.size();) {
      const std::size_t end = r.err.find('\n', begin);
      lines.push_back(r.err.substr(begin, end - begin));
      begin = end == std::string::npos ? r.err.size() : end + 1;
    }
    EXPECT_LT(lines.size(), 30u) << r.err;
    const std::regex progress(R"(  \[([#-]{20})\] +([0-9]+)%(  .*)?)");
    int progressLines = 0, withFigures = 0, downloading = 0;
    for (const std::string& line : lines) {
      EXPECT_EQ(line.find('\r'), std::string::npos) << "nothing drawn in place in a log";
      EXPECT_EQ(line.find("√"), std::string::npos) << "no stage display: " << line;
      if (line == "  Downloading")
        ++downloading;
      std::smatch m;
      if (!std::regex_match(line, m, progress))
        continue;
      ++progressLines;
      const int percent = std::stoi(m[2]);
      EXPECT_EQ(std::count(line.begin(), line.end(), '#'), percent / 5) << line;
      if (std::regex_search(line, std::regex("App: [0-9]+/[0-9]+ B")))
        ++withFigures;
    }
    EXPECT_EQ(downloading, 1) << r.err;
    EXPECT_GE(progressLines, 3) << r.err;
    EXPECT_GE(withFigures, 1) << "the running transfer's figures: " << r.err;
  }
  {
    TempDir program, profile;
    MakeProgramDir(program);
    ASSERT_TRUE(WriteSamplePackage(program));
    ASSERT_TRUE(InitTerminal(profile, program, "0x0215"));
    ServedTerminal terminal(profile.Path(), 213, "PowerCut=para:2, 1");
    ASSERT_FALSE(terminal.path().empty()) << "the simulator did not start";
    const CliRun cut =
        RunCliThroughPipes("TAVRO_COM213=" + terminal.path(),
                           "--dir '" + program.Path() + "' --port COM213 --yes upgrade");
    EXPECT_EQ(cut.exitCode, 1) << cut.err;
    EXPECT_TRUE(cut.out.empty()) << cut.out;
    EXPECT_NE(cut.err.find("\nerror: "), std::string::npos) << cut.err;
  }
}

// Ctrl+C during an upgrade says, before the console ends, what the window's
// close question says: what runs, what a cut leaves, how to resume.
TEST(UpgradeCommand, CtrlCDuringTheUpgradeSaysWhatStoppingLeaves) {
  TempDir program, profile, scratch;
  MakeProgramDir(program);
  ASSERT_TRUE(WriteSamplePackage(program));
  ASSERT_TRUE(InitTerminal(profile, program, "0x0215"));
  ServedTerminal terminal(profile.Path(), 214, {}, true);
  ASSERT_FALSE(terminal.path().empty()) << "the simulator did not start";
  CliProcess run(scratch, "cut", "TAVRO_COM214=" + terminal.path(),
                 "--dir '" + program.Path() + "' --port COM214 --yes upgrade");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (scratch.Read("cut.err").find("Backing up") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_EQ(::kill(run.pid(), SIGINT), 0);
  const CliRun r = run.Wait();
  EXPECT_EQ(r.exitCode, 130) << r.err;
  EXPECT_NE(r.err.find("The upgrade is still running."), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("press Upgrade again"), std::string::npos) << r.err;
  EXPECT_TRUE(r.out.empty()) << r.out;
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
