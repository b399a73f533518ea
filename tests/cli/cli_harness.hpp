#pragma once
// The console tools as a technician runs them: `tavro-sim serve` on a pseudo
// terminal, `tavro-cli` as a separate process, and a program directory made
// from the shipped package.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
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

using test::TempDir;

// A running `tavro-sim serve`, stopped at the end of the test. Fast unless
// `atLineRate`: then it answers at 115200 baud, as a terminal on a cable.
class ServedTerminal {
 public:
  ServedTerminal(const std::string& profile, int com, const std::string& fault = {},
                 bool atLineRate = false) {
    int out[2];
    if (::pipe(out) != 0)
      return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const std::string comText = std::to_string(com);
    std::vector<const char*> argv = {TAVRO_SIM_PATH,  "serve", "--dir",
                                     profile.c_str(), "--com", comText.c_str()};
    if (!atLineRate)
      argv.push_back("--fast");
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

inline CliRun RunCli(const TempDir& scratch, const std::string& env, const std::string& args) {
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

// A tavro-cli run whose stdout and stderr are pipes read as it runs, as
// when its output is piped into a log; stdin is not a terminal.
inline CliRun RunCliThroughPipes(const std::string& env, const std::string& args) {
  CliRun r;
  int out[2], err[2];
  if (::pipe(out) != 0)
    return r;
  if (::pipe(err) != 0) {
    ::close(out[0]);
    ::close(out[1]);
    return r;
  }
  const std::string command = env + " exec '" TAVRO_CLI_PATH "' " + args + " </dev/null";
  const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  for (int fd : {out[0], out[1], err[0], err[1]})
    posix_spawn_file_actions_addclose(&actions, fd);
  pid_t pid = -1;
  if (posix_spawn(&pid, "/bin/sh", &actions, nullptr, const_cast<char**>(argv), environ) != 0)
    pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  ::close(err[1]);
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* texts[2] = {&r.out, &r.err};
  int open = pid > 0 ? 2 : 0;
  while (open > 0) {
    if (::poll(fds, 2, -1) < 0)
      break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0)
        continue;
      char buffer[4096];
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        texts[i]->append(buffer, static_cast<std::size_t>(n));
      } else {
        fds[i].fd = -1;
        --open;
      }
    }
  }
  ::close(out[0]);
  ::close(err[0]);
  int status = 0;
  if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
    r.exitCode = WEXITSTATUS(status);
  return r;
}

// A tavro-cli run in the background, beside others: its output goes to
// "<name>.out" and "<name>.err" in `scratch`.
class CliProcess {
 public:
  CliProcess(const TempDir& scratch, const std::string& name, const std::string& env,
             const std::string& args)
      : scratch_(scratch), name_(name) {
    const std::string command = env + " exec '" TAVRO_CLI_PATH "' " + args + " >'" +
                                scratch.PathOf(name + ".out") + "' 2>'" +
                                scratch.PathOf(name + ".err") + "' </dev/null";
    const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
    if (posix_spawn(&pid_, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
      pid_ = -1;
  }
  ~CliProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      Wait();
    }
  }
  CliProcess(const CliProcess&) = delete;
  CliProcess& operator=(const CliProcess&) = delete;

  pid_t pid() const { return pid_; }
  CliRun Wait() {
    CliRun r;
    if (pid_ > 0) {
      int status = 0;
      if (::waitpid(pid_, &status, 0) == pid_ && WIFEXITED(status))
        r.exitCode = WEXITSTATUS(status);
      pid_ = -1;
    }
    r.out = scratch_.Read(name_ + ".out");
    r.err = scratch_.Read(name_ + ".err");
    return r;
  }

 private:
  const TempDir& scratch_;
  std::string name_;
  pid_t pid_ = -1;
};

inline void MakeProgramDir(const TempDir& dir) {
  ASSERT_TRUE(data::CopyFileOverwrite(test::SourcePath("package/Language.ini"),
                                      dir.PathOf("Language.ini")));
  ASSERT_TRUE(
      data::IniToBin(dir.PathOf("SwUpdate.ini"), test::SourcePath("package/SwUpdate-source.ini")));
  // Without it the start-up would stop at the data preparation's box.
  ASSERT_TRUE(dir.MakeFolder("Data"));
  ASSERT_TRUE(data::CopyFileOverwrite(test::SourcePath("package/Data/DataVer.ini"),
                                      dir.PathOf("Data/DataVer.ini")));
}

// A simulator profile of the given bootloader version for `program`.
inline bool InitTerminal(const TempDir& profile, const TempDir& program, const char* bl) {
  return std::system(("'" TAVRO_SIM_PATH "' init --dir '" + profile.Path() + "' --bl " + bl +
                      " --package '" + program.Path() + "' >/dev/null")
                         .c_str()) == 0;
}

}  // namespace tavro::cli
