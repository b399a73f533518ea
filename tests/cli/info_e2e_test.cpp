// The console front end against the simulator on a real pseudo terminal:
// tavro-sim serve + tavro-cli info, checked on what a technician reads.

#include <gtest/gtest.h>
#include <pty.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>

#include "cli/cli_harness.hpp"
#include "data/file_io.hpp"

namespace tavro::cli {
namespace {

TEST(InfoCommand, ShowsTheServedTerminalsInformation) {
  TempDir program, profile, scratch;
  MakeProgramDir(program);
  ASSERT_TRUE(InitTerminal(profile, program, "0x0215"));
  ServedTerminal terminal(profile.Path(), 201);
  ASSERT_FALSE(terminal.path().empty()) << "the simulator did not start";

  const CliRun r = RunCli(scratch, "TAVRO_COM201=" + terminal.path(),
                          "--dir '" + program.Path() + "' --port COM201 info");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  // The port it chose, before it talked.
  EXPECT_EQ(r.err.rfind("port: COM201 (" + terminal.path() + ")\n", 0), 0u) << r.err;
  EXPECT_EQ(r.out,
            "Bootloader version: 2.15\nChip number: QZA100\nManufacturer number: TVRO\n"
            "Current App version: 1.0.2.0\nBackup App version: 1.0.1.0\n"
            "Parameter data version: 1.2.0.0\n");
  // The run log was opened (the sample package asks for one).
  EXPECT_FALSE(data::ListFiles(program.PathOf("Backup/AppRunLog"), "*.txt").empty());
}

TEST(InfoCommand, PortThatCannotBeOpenedExitsWithThree) {
  TempDir program, scratch;
  MakeProgramDir(program);
  const CliRun r = RunCli(scratch, "TAVRO_COM202=" + scratch.PathOf("no-such-device"),
                          "--dir '" + program.Path() + "' --port COM202 info");
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_NE(r.err.find("warning: "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("COM202"), std::string::npos) << r.err;
  // The box names the port only; the console adds the device and the reason.
  EXPECT_NE(r.err.find("\nerror: COM202 (" + scratch.PathOf("no-such-device") +
                       "): No such file or directory\n"),
            std::string::npos)
      << r.err;
  EXPECT_TRUE(r.out.empty()) << r.out;
}

// Root passes TIOCEXCL; the advisory lock still keeps a second program off.
TEST(InfoCommand, APortAnotherProgramHoldsIsRefusedAndTheHolderNamed) {
  TempDir program, scratch;
  MakeProgramDir(program);
  int master = -1;
  int slave = -1;
  char name[128] = {};
  ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
  ASSERT_EQ(::flock(slave, LOCK_EX | LOCK_NB), 0);
  const CliRun r = RunCli(scratch, std::string("TAVRO_COM203=") + name,
                          "--dir '" + program.Path() + "' --port COM203 info");
  ::close(slave);
  ::close(master);
  EXPECT_EQ(r.exitCode, 3) << r.err;
  EXPECT_NE(r.err.find(std::string("error: COM203 (") + name + "): in use by process " +
                       std::to_string(::getpid())),
            std::string::npos)
      << r.err;
  EXPECT_TRUE(r.out.empty()) << r.out;
}

// After a failure only the error is shown: no stage line reaches stdout.
TEST(InfoCommand, AFailedIdentificationPrintsNothingOnStdout) {
  TempDir program, profile, scratch;
  MakeProgramDir(program);
  ASSERT_TRUE(InitTerminal(profile, program, "0x0215"));
  ServedTerminal terminal(profile.Path(), 204, "FlashReadErr=2");
  ASSERT_FALSE(terminal.path().empty()) << "the simulator did not start";
  const CliRun r = RunCli(scratch, "TAVRO_COM204=" + terminal.path(),
                          "--dir '" + program.Path() + "' --port COM204 info");
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_TRUE(r.out.empty()) << r.out;
  EXPECT_NE(r.err.find("error: "), std::string::npos) << r.err;
}

TEST(InfoCommand, PortNumbersOutsideOneTo255AreRefusedBeforeAnythingOpens) {
  TempDir program, scratch;
  MakeProgramDir(program);
  // 456 and 256 would wrap onto COM200 and COM0 in an 8-bit port number.
  const std::string alias = "TAVRO_COM200=" + scratch.PathOf("no-such-device");
  for (const char* port : {"COM456", "COM256", "COM0", "COM1000000"}) {
    SCOPED_TRACE(port);
    const CliRun r =
        RunCli(scratch, alias, "--dir '" + program.Path() + "' --port " + port + " info");
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_NE(r.err.find("1 to 255"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("cannot be opened"), std::string::npos) << r.err;
  }
  const CliRun edge = RunCli(scratch, "TAVRO_COM255=" + scratch.PathOf("no-such-device"),
                             "--dir '" + program.Path() + "' --port COM255 info");
  EXPECT_EQ(edge.exitCode, 3) << "COM255 is a port number: it is tried" << edge.err;
}

// A word that names no command is named in the error, with the commands
// there are; both programs exit 2 for every usage error.
TEST(CommandLine, UnknownCommandsAreNamedAndExitWithTwo) {
  TempDir scratch;
  const CliRun cli = RunCli(scratch, "", "--port COM3 frobnicate");
  EXPECT_EQ(cli.exitCode, 2);
  EXPECT_NE(cli.err.find("unknown command 'frobnicate'"), std::string::npos) << cli.err;
  EXPECT_NE(
      cli.err.find(
          "ports, info, backup, download, upgrade, rollback, restore, backups, ini2bin, prepare, "
          "convert, rules"),
      std::string::npos)
      << cli.err;

  const auto runSim = [&](const std::string& args) {
    const std::string command = "'" TAVRO_SIM_PATH "' " + args + " >/dev/null 2>'" +
                                scratch.PathOf("sim-err") + "' </dev/null";
    const int status = std::system(command.c_str());
    return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  EXPECT_EQ(runSim("frobnicate"), 2);
  EXPECT_NE(scratch.Read("sim-err").find("unknown command 'frobnicate'"), std::string::npos);
  EXPECT_EQ(runSim("init"), 2) << "a missing required option";
  EXPECT_EQ(runSim("--help"), 0);
}

TEST(InfoCommand, MissingLanguageFileFailsClearly) {
  TempDir program, scratch;
  const CliRun r = RunCli(scratch, "", "--dir '" + program.Path() + "' info");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("error: Language.ini does not exist !"), std::string::npos) << r.err;
  // On a line of its own: where it looked, and how to look elsewhere.
  EXPECT_NE(r.err.find("\n  looked in " + program.Path() + "/Language.ini; pass --dir"),
            std::string::npos)
      << r.err;
  EXPECT_TRUE(r.out.empty()) << r.out;
}

}  // namespace
}  // namespace tavro::cli
