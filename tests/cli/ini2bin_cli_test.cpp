#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "data/file_io.hpp"
#include "data/package.hpp"
#include "data/temp_dir.hpp"

namespace tavro::cli {
namespace {

using test_support::ReadText;
using test_support::TempDir;

struct Result {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs tavro-cli with `args` (already quoted for the shell) from `cwd`.
Result RunCli(const TempDir& scratch, const std::string& cwd, const std::string& args) {
  const std::string outFile = scratch / "stdout.txt";
  const std::string errFile = scratch / "stderr.txt";
  const std::string command = "cd '" + cwd + "' && '" TAVRO_CLI_PATH "' " + args + " >'" + outFile +
                              "' 2>'" + errFile + "'";
  const int status = std::system(command.c_str());
  Result r;
  if (status != -1 && WIFEXITED(status))
    r.exitCode = WEXITSTATUS(status);
  r.out = ReadText(outFile);
  r.err = ReadText(errFile);
  return r;
}

std::string SampleSource() {
  const char* root = std::getenv("TAVRO_SOURCE_DIR");
  return root == nullptr ? std::string() : std::string(root) + "/package/SwUpdate-source.ini";
}

TEST(Ini2BinCommand, WritesNewIniNextToTheSourceAndPrintsItsPath) {
  TempDir scratch;
  TempDir work;
  ASSERT_TRUE(data::CopyFileOverwrite(SampleSource(), work / "pkg.ini"));
  // A relative source path is taken from the current folder.
  const Result r = RunCli(scratch, work.path(), "ini2bin pkg.ini");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, work / "NewIni/pkg.ini\n");
  EXPECT_EQ(r.err, "");

  const auto bytes = data::ReadWholeFile(work / "NewIni/pkg.ini");
  ASSERT_TRUE(bytes.has_value());
  data::PackageValues v;
  data::AreaTable t;
  ASSERT_TRUE(data::ParsePackage(*bytes, 1, 0x230, v, t));
  EXPECT_EQ(t[data::kAppAreaIndex].fileName, "App.bin");
  EXPECT_EQ(t[data::kAppAreaIndex].areaAddr, 0x08020000u);

  // Global options before or after the command.
  const Result again =
      RunCli(scratch, "/",
             "--dir '" + work.path() + "' --port COM3 --yes ini2bin '" + (work / "pkg.ini") + "'");
  EXPECT_EQ(again.exitCode, 0) << again.err;
  EXPECT_EQ(again.out, work / "NewIni/pkg.ini\n");
  const Result after = RunCli(scratch, work.path(), "ini2bin pkg.ini --no");
  EXPECT_EQ(after.exitCode, 0) << after.err;
}

TEST(Ini2BinCommand, FailuresExitWithOne) {
  TempDir scratch;
  TempDir work;
  const Result missing = RunCli(scratch, work.path(), "ini2bin absent.ini");
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(missing.err, "error: source file not found: " + (work / "absent.ini") + "\n");
  EXPECT_FALSE(data::FileExists(work / "NewIni"));

  // A file where the output folder should be.
  test_support::WriteText(work / "pkg.ini", "[DebugLevel]\r\nDebugLevel=1\r\n");
  test_support::WriteText(work / "NewIni", "in the way");
  const Result blocked = RunCli(scratch, work.path(), "ini2bin pkg.ini");
  EXPECT_EQ(blocked.exitCode, 1);
  EXPECT_EQ(blocked.err.rfind("error: ", 0), 0u) << blocked.err;
  EXPECT_EQ(ReadText(work / "NewIni"), "in the way");
}

TEST(Ini2BinCommand, UsageErrorsExitWithTwo) {
  TempDir scratch;
  TempDir work;
  for (const std::string args :
       {"", "ini2bin", "nosuchcommand", "ini2bin a.ini b.ini", "--yes --no ini2bin a.ini",
        "--port COM0 ini2bin a.ini", "--port 3 ini2bin a.ini", "--port COMx ini2bin a.ini",
        "--dir /no/such/folder ini2bin a.ini", "--bogus ini2bin a.ini"}) {
    const Result r = RunCli(scratch, work.path(), args);
    EXPECT_EQ(r.exitCode, 2) << "args: " << args << "\n" << r.err;
    EXPECT_FALSE(r.err.empty()) << args;
  }
  EXPECT_FALSE(data::FileExists(work / "NewIni"));
  EXPECT_EQ(RunCli(scratch, work.path(), "--help").exitCode, 0);
}

}  // namespace
}  // namespace tavro::cli
