// The console front end against the simulator on a real pseudo terminal:
// tavro-sim serve + tavro-cli info, checked on what a technician reads.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "data/file_io.hpp"
#include "data/ini_to_bin.hpp"
#include "support/source_tree.hpp"
#include "support/temp_dir.hpp"

extern char** environ;

namespace tavro::cli {
namespace {

using test::TempDir;

// A running `tavro-sim serve`, stopped at the end of the test.
class ServedTerminal {
 public:
  ServedTerminal(const std::string& profile, int com, const std::string& fault = {}) {
    int out[2];
    if (::pipe(out) != 0)
      return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const std::string comText = std::to_string(com);
    std::vector<const char*> argv = {TAVRO_SIM_PATH, "serve",         "--dir", profile.c_str(),
                                     "--com",        comText.c_str(), "--fast"};
    if (!fault.empty()) {
      argv.push_back("--fault");
      argv.push_back(fault.c_str());
    }
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, TAVRO_SIM_PATH, &actions, nullptr, const_cast<char**>(argv.data()),
                    environ) != 0) {
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ReadAlias(out[0], "TAVRO_COM" + comText + "=");
    ::close(out[0]);
  }
  ~ServedTerminal() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      int status = 0;
      ::waitpid(pid_, &status, 0);
    }
  }
  // The device path the simulator serves on; empty when it did not start.
  const std::string& path() const { return path_; }

 private:
  void ReadAlias(int fd, const std::string& prefix) {
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0)
        continue;
      char buffer[256];
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n <= 0)
        return;
      text.append(buffer, static_cast<std::size_t>(n));
      const std::size_t at = text.find(prefix);
      const std::size_t end = at == std::string::npos ? at : text.find('\n', at);
      if (end != std::string::npos) {
        path_ = text.substr(at + prefix.size(), end - at - prefix.size());
        return;
      }
    }
  }

  pid_t pid_ = -1;
  std::string path_;
};

struct CliRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

CliRun RunCli(const TempDir& scratch, const std::string& env, const std::string& args) {
  const std::string command = env + " '" TAVRO_CLI_PATH "' " + args + " >'" +
                              scratch.PathOf("out") + "' 2>'" + scratch.PathOf("err") +
                              "' </dev/null";
  const int status = std::system(command.c_str());
  CliRun r;
  if (status != -1 && WIFEXITED(status))
    r.exitCode = WEXITSTATUS(status);
  r.out = scratch.Read("out");
  r.err = scratch.Read("err");
  return r;
}

void MakeProgramDir(const TempDir& dir) {
  ASSERT_TRUE(data::CopyFileOverwrite(test::SourcePath("package/Language.ini"),
                                      dir.PathOf("Language.ini")));
  ASSERT_TRUE(
      data::IniToBin(dir.PathOf("SwUpdate.ini"), test::SourcePath("package/SwUpdate-source.ini")));
}

TEST(InfoCommand, ShowsTheServedTerminalsInformation) {
  TempDir program, profile, scratch;
  MakeProgramDir(program);
  ASSERT_EQ(std::system(("'" TAVRO_SIM_PATH "' init --dir '" + profile.Path() +
                         "' --bl 0x0215 --package '" + program.Path() + "' >/dev/null")
                            .c_str()),
            0);
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
  ASSERT_EQ(std::system(("'" TAVRO_SIM_PATH "' init --dir '" + profile.Path() +
                         "' --bl 0x0215 --package '" + program.Path() + "' >/dev/null")
                            .c_str()),
            0);
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
  EXPECT_NE(cli.err.find("ports, info, ini2bin"), std::string::npos) << cli.err;

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
