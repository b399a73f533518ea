// tavro-cli backup against tavro-sim serve on a pseudo terminal, for both
// terminal generations: the files on the disk are the terminal's contents.

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "cli/cli_harness.hpp"
#include "data/file_io.hpp"

namespace tavro::cli {
namespace {

std::vector<std::uint8_t> Read(const std::string& path) {
  return data::ReadWholeFile(path).value_or(std::vector<std::uint8_t>{});
}

// The one line that follows `label` in the summary.
std::string PathAfter(const std::string& out, const std::string& label) {
  const std::size_t at = out.find(label + ":\n");
  if (at == std::string::npos)
    return {};
  const std::size_t begin = at + label.size() + 2;
  return out.substr(begin, out.find('\n', begin) - begin);
}

TEST(BackupCommand, BothGenerationsAreBackedUpAsTheTerminalHoldsThem) {
  for (const char* bl : {"0x0215", "0x0230"}) {
    SCOPED_TRACE(bl);
    TempDir program, profile, scratch;
    MakeProgramDir(program);
    ASSERT_TRUE(InitTerminal(profile, program, bl));
    ServedTerminal terminal(profile.Path(), 205);
    ASSERT_FALSE(terminal.path().empty()) << "the simulator did not start";

    const CliRun r = RunCli(scratch, "TAVRO_COM205=" + terminal.path(),
                            "--dir '" + program.Path() + "' --port COM205 backup");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind("√App backup(100%)\n√Parameter data backup(100%)\n", 0), 0u) << r.out;
    const std::string app = PathAfter(r.out, "App backup file");
    const std::string data = PathAfter(r.out, "Parameter data backup folder");
    ASSERT_EQ(app.rfind(program.PathOf("Backup/TAVR205/SW/1.0.2.0/"), 0), 0u) << r.out;
    ASSERT_EQ(data.rfind(program.PathOf("Backup/TAVR205/Data/1.2.0.0/"), 0), 0u) << r.out;
    EXPECT_EQ(Read(app), Read(profile.PathOf("app.bin")));
    if (std::string(bl) == "0x0230") {
      EXPECT_EQ(data::ListFiles(data, "*"), std::vector<std::string>{"E2.dat"});
      EXPECT_EQ(Read(data + "/E2.dat"), Read(profile.PathOf("e2prom.bin")));
      EXPECT_EQ(Read(data + "/E2.dat").size(), 65536u);
    } else {
      EXPECT_EQ(data::ListFiles(data, "*").size(), 5u);
      for (int k = 1; k <= 5; ++k) {
        // An area is read up to the end of its data; the terminal's area
        // holds at least that.
        const auto file = Read(data + "/" + std::to_string(k) + ".dat");
        const auto area = Read(profile.PathOf("para" + std::to_string(k) + ".bin"));
        ASSERT_GE(file.size(), 512u) << k;
        ASSERT_LE(file.size(), area.size()) << k;
        EXPECT_TRUE(std::equal(file.begin(), file.end(), area.begin())) << k;
      }
    }
  }
}

TEST(BackupCommand, AFailedBackupExitsWithOneAndPrintsNoSummary) {
  TempDir program, profile, scratch;
  MakeProgramDir(program);
  ASSERT_TRUE(InitTerminal(profile, program, "0x0230"));
  ServedTerminal terminal(profile.Path(), 206, "E2ReadErr=0#2");
  ASSERT_FALSE(terminal.path().empty()) << "the simulator did not start";
  const CliRun r = RunCli(scratch, "TAVRO_COM206=" + terminal.path(),
                          "--dir '" + program.Path() + "' --port COM206 backup");
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_TRUE(r.out.empty()) << r.out;
  EXPECT_NE(r.err.find("error: The terminal could not read its E2PROM."), std::string::npos)
      << r.err;
  EXPECT_FALSE(data::FileExists(program.PathOf("Backup/TAVR206/Data")));
}

TEST(RollbackCommand, ConfirmedItReturnsTheTerminalToItsBackupApp) {
  TempDir program, profile, scratch;
  MakeProgramDir(program);
  ASSERT_TRUE(InitTerminal(profile, program, "0x0215"));
  ServedTerminal terminal(profile.Path(), 207);
  ASSERT_FALSE(terminal.path().empty()) << "the simulator did not start";
  const std::string env = "TAVRO_COM207=" + terminal.path();
  const std::string args = "--dir '" + program.Path() + "' --port COM207 ";

  const CliRun refused = RunCli(scratch, env, args + "--no rollback");
  EXPECT_EQ(refused.exitCode, 1) << refused.err;
  EXPECT_NE(refused.err.find("not confirmed"), std::string::npos) << refused.err;
  EXPECT_TRUE(refused.out.empty());

  const CliRun done = RunCli(scratch, env, args + "--yes rollback");
  EXPECT_EQ(done.exitCode, 0) << done.err;
  EXPECT_EQ(done.out, "The terminal has returned to its backup App.\n");
}

// The window goes idle at the terminal's first "in progress" report; the
// console waits for the result, and a failure is never reported as done.
TEST(RollbackCommand, AFailedRollBackIsNotReportedAsDone) {
  for (const char* result : {"GoBackResult=0", "GoBackResult=2"}) {
    SCOPED_TRACE(result);
    TempDir program, profile, scratch;
    MakeProgramDir(program);
    ASSERT_TRUE(InitTerminal(profile, program, "0x0215"));
    const auto app = Read(profile.PathOf("app.bin"));
    ServedTerminal terminal(profile.Path(), 206, result);
    ASSERT_FALSE(terminal.path().empty()) << "the simulator did not start";
    const CliRun r = RunCli(scratch, "TAVRO_COM206=" + terminal.path(),
                            "--dir '" + program.Path() + "' --port COM206 --yes rollback");
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_NE(r.err.find("error: "), std::string::npos) << r.err;
    EXPECT_EQ(Read(profile.PathOf("app.bin")), app);
  }
}

// A package in the program directory: the marker, an App and the initial
// Flash data, then tavro-cli download against tavro-sim serve.
TEST(DownloadCommand, ThePackageEndsUpInTheTerminalAndItsAppRuns) {
  TempDir program, profile, scratch;
  MakeProgramDir(program);
  ASSERT_TRUE(InitTerminal(profile, program, "0x0215"));
  std::vector<std::uint8_t> app(9000);
  for (std::size_t i = 0; i < app.size(); ++i)
    app[i] = static_cast<std::uint8_t>(i * 13);
  app[64] = 0x00;
  app[65] = 0x03;
  app[66] = 0x00;
  app[67] = 0x01;  // version 1.0.3.0
  ASSERT_TRUE(program.Write("SW/Flash/App.bin", std::string(app.begin(), app.end())));
  for (int k = 1; k <= 5; ++k) {
    std::string image(512 + 300, '\0');
    image[0] = 1;                              // intact
    image[2] = static_cast<char>(300 & 0xFF);  // data size
    image[3] = static_cast<char>(300 >> 8);
    image[8] = 3;  // data version 1.3.0.0
    image[9] = 1;
    image.replace(10, 5, "TR100");
    for (std::size_t i = 512; i < image.size(); ++i)
      image[i] = static_cast<char>(k * 7 + i);
    ASSERT_TRUE(program.Write("Data/InitData/Flash/" + std::to_string(k) + ".dat", image));
  }
  ASSERT_TRUE(program.Write("QZDownload.bin", ""));
  // The initial data is at the destination version: the start-up leaves it.
  ASSERT_TRUE(program.Write("Data/DataVer.ini", "[DestPara]\r\nDestParaVer=0x01030000\r\n"));
  ServedTerminal terminal(profile.Path(), 208);
  ASSERT_FALSE(terminal.path().empty()) << "the simulator did not start";

  const CliRun r = RunCli(scratch, "TAVRO_COM208=" + terminal.path(),
                          "--dir '" + program.Path() + "' --port COM208 --yes download");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("Starting the terminal(100%)"), std::string::npos) << r.out;
  // Into a log: the stage, then its progress by tenths. (The fast simulator
  // ends each transfer between two redraws of the stages, so the transfer's
  // own figures are checked at the line rate, in the upgrade's pipe test.)
  EXPECT_TRUE(std::regex_search(r.err, std::regex(R"(\n  Downloading\n  \[#+-*\] +[0-9]+%\n)")))
      << "the stage and its progress: " << r.err;
  EXPECT_EQ(Read(profile.PathOf("app.bin")), app);
  const auto area = Read(profile.PathOf("para1.bin"));
  ASSERT_EQ(area.size(), 812u);
  EXPECT_EQ(area[512], static_cast<std::uint8_t>(7 + 512));
  EXPECT_FALSE(data::FileExists(program.PathOf("QZDownload.bin")));
}

}  // namespace
}  // namespace tavro::cli
