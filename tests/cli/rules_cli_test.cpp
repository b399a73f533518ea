// The package author's commands on the sample package: prepare, convert and
// rules show, with their exit statuses.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "cli/cli_harness.hpp"
#include "data/para_header.hpp"
#include "data/para_images.hpp"
#include "link/file_lock.hpp"
#include "support/lock_waiters.hpp"
#include "support/rule_builder.hpp"

namespace tavro::cli {
namespace {

class RuleCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    // The program directory as the README makes it.
    const std::string command = "TAVRO_CLI='" TAVRO_CLI_PATH "' bash '" +
                                test::SourcePath("scripts/make-program-dir") + "' '" +
                                program.Path() + "' >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
  CliRun Cli(const std::string& args) { return RunCli(scratch, "", args); }
  std::string Program(const std::string& relative) const { return program.PathOf(relative); }

  TempDir program;
  TempDir scratch;
};

TEST_F(RuleCommands, PrepareBuildsTheSamplesInitialDataOnceAndThenKeepsIt) {
  const CliRun first = Cli("--dir '" + program.Path() + "' prepare");
  ASSERT_EQ(first.exitCode, 0) << first.err;
  EXPECT_NE(first.out.find("converted 0xFE00 to 0xFF00 with " +
                           Program("Data/Rule/E2E/E2E_FE00_FF00.bin")),
            std::string::npos)
      << first.out;
  EXPECT_NE(first.out.find("log: FDest_10000_Conv2_10000_Ok\n"), std::string::npos) << first.out;
  EXPECT_TRUE(data::IsE2ImageComplete(Program("Data/InitData/E2prom")));
  EXPECT_TRUE(data::IsFlashSetComplete(Program("Data/InitData/Flash"), 5));

  const CliRun again = Cli("--dir '" + program.Path() + "' prepare");
  EXPECT_EQ(again.exitCode, 0) << again.err;
  EXPECT_NE(again.out.find("log: E2Dest=Base_10000_OK\nlog: FDest=Base_10000_Ok\n"),
            std::string::npos)
      << again.out;

  ASSERT_TRUE(data::RemoveFile(Program("Data/DataVer.ini")));
  const CliRun missing = Cli("--dir '" + program.Path() + "' prepare");
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.err.find("error: DataVer.ini"), std::string::npos) << missing.err;
  EXPECT_EQ(missing.out, "");
}

TEST_F(RuleCommands, TwoProgramsStartedAtOnceOnUnpreparedDataPrepareItOnce) {
  // What one program alone leaves, in a program directory of its own.
  TempDir alone;
  ASSERT_EQ(std::system(("TAVRO_CLI='" TAVRO_CLI_PATH "' bash '" +
                         test::SourcePath("scripts/make-program-dir") + "' '" + alone.Path() +
                         "' >/dev/null")
                            .c_str()),
            0);
  ASSERT_EQ(RunCli(scratch, "", "--dir '" + alone.Path() + "' prepare").exitCode, 0);

  // A third instance holds the program directory, so both programs are
  // surely under way when it lets go.
  const std::string lockPath = Program("SwUpdate.lock");
  link::FileLock other(lockPath);
  ASSERT_EQ(other.TryLock(), link::LockAttempt::kHeld);
  CliProcess first(scratch, "first", "", "--dir '" + program.Path() + "' prepare");
  CliProcess second(scratch, "second", "", "--dir '" + program.Path() + "' prepare");
  const bool bothWaited = test::WaitForLockWaiters(lockPath, 2);
  other.Unlock();
  const CliRun a = first.Wait();
  const CliRun b = second.Wait();
  ASSERT_TRUE(bothWaited);
  ASSERT_EQ(a.exitCode, 0) << a.err;
  ASSERT_EQ(b.exitCode, 0) << b.err;
  const std::string waiting = "  Waiting for process " + std::to_string(::getpid());
  EXPECT_EQ(a.err.rfind(waiting, 0), 0u) << a.err;
  EXPECT_EQ(b.err.rfind(waiting, 0), 0u) << b.err;

  // One converted, the other found the data at the destination version.
  const std::string converted = "converted 0xFE00 to 0xFF00";
  const std::string kept = "log: E2Dest=Base_10000_OK\nlog: FDest=Base_10000_Ok\n";
  const bool aConverted = a.out.find(converted) != std::string::npos;
  const CliRun& converter = aConverted ? a : b;
  const CliRun& keeper = aConverted ? b : a;
  EXPECT_NE(converter.out.find(converted), std::string::npos) << converter.out;
  EXPECT_NE(keeper.out.find(kept), std::string::npos) << keeper.out;
  EXPECT_EQ(keeper.out.find(converted), std::string::npos) << keeper.out;

  // The data is what one program alone makes (the time stamps aside).
  const auto image = [](const std::string& path) {
    return data::ReadWholeFile(path).value_or(link::Bytes{});
  };
  const link::Bytes e2 = image(Program("Data/InitData/E2prom/E2.dat"));
  EXPECT_EQ(e2.size(), data::kE2ImageSize);
  EXPECT_EQ(e2, image(alone.PathOf("Data/InitData/E2prom/E2.dat")));
  for (int k = 1; k <= 5; ++k) {
    const std::string name = "Data/InitData/Flash/" + std::to_string(k) + ".dat";
    const link::Bytes ours = image(Program(name));
    const link::Bytes theirs = image(alone.PathOf(name));
    ASSERT_EQ(ours.size(), theirs.size()) << name;
    ASSERT_GT(ours.size(), data::kFlashImageHeaderSize) << name;
    EXPECT_TRUE(std::equal(ours.begin(), ours.begin() + 48, theirs.begin())) << name;
    EXPECT_TRUE(std::equal(ours.begin() + 56, ours.end(), theirs.begin() + 56)) << name;
  }
}

TEST_F(RuleCommands, ConvertRunsOneStepWithTheGivenTimeStamp) {
  const std::string out = scratch.PathOf("converted");
  const CliRun f2f =
      Cli("convert --rule '" + Program("Data/Rule/F2F/F2F_FF00_10000.bin") + "' --from '" +
          Program("Data/BaseData/Flash") + "' --to '" + out + "' --time 2024,5,17,9,30,0");
  ASSERT_EQ(f2f.exitCode, 0) << f2f.err;
  EXPECT_EQ(f2f.out.rfind("converted 0xFF00 to 0x10000 with ", 0), 0u) << f2f.out;
  EXPECT_NE(f2f.out.find("(header kind 0)\n" + out + "/1.dat\n"), std::string::npos) << f2f.out;
  const auto image = data::ReadWholeFile(out + "/1.dat");
  ASSERT_TRUE(image.has_value());
  const data::ParaHeader header = *data::DecodeParaHeader(*image);
  EXPECT_EQ(data::TimeText(header), "20240517093000");
  EXPECT_EQ(header.dataVersion, 0x10000u);

  // The F2E folder implies header kind 1.
  const CliRun f2e = Cli("convert --rule '" + Program("Data/Rule/F2E/F2E_FF00_10000.bin") +
                         "' --from '" + Program("Data/BaseData/Flash") + "' --to '" + out + "'");
  ASSERT_EQ(f2e.exitCode, 0) << f2e.err;
  EXPECT_NE(f2e.out.find("(header kind 1)\n" + out + "/E2.dat\n"), std::string::npos) << f2e.out;
  EXPECT_EQ(data::FileSize(out + "/E2.dat"), data::kE2ImageSize);
}

TEST_F(RuleCommands, ConvertRefusesBadOptionsAndReportsFailedSteps) {
  const std::string rule = Program("Data/Rule/F2F/F2F_FF00_10000.bin");
  const std::string common = "convert --rule '" + rule + "' --from '" +
                             Program("Data/BaseData/E2prom") + "' --to '" +
                             scratch.PathOf("converted") + "'";
  EXPECT_EQ(Cli(common + " --time 2024,13,1,0,0,0").exitCode, 2);
  EXPECT_EQ(Cli(common + " --time 2024,1,1").exitCode, 2);
  EXPECT_EQ(Cli(common + " --header-kind 3").exitCode, 2);
  // The Flash rule finds no Flash images among the E2PROM base data.
  const CliRun failed = Cli(common);
  EXPECT_EQ(failed.exitCode, 1);
  EXPECT_EQ(failed.err, "error: cannot open " + Program("Data/BaseData/E2prom/1.dat") + "\n");
}

TEST_F(RuleCommands, RulesShowPrintsARuleOrWhereItIsMalformed) {
  const CliRun shown = Cli("rules show '" + Program("Data/Rule/E2E/E2E_FE00_FF00.bin") + "'");
  ASSERT_EQ(shown.exitCode, 0) << shown.err;
  EXPECT_NE(shown.out.find("converts 0xFE00 to 0xFF00, 1 block\n"), std::string::npos);
  EXPECT_NE(shown.out.find("table of 16 rows x 24 bytes"), std::string::npos) << shown.out;

  const link::Bytes bad = test::RuleWriter()
                              .Block(test::Header("1.dat", 1, 2))
                              .Add(test::Column(test::Fill(4, 0), 2, 2))
                              .Bytes();
  ASSERT_TRUE(scratch.Write("bad.bin", std::string(bad.begin(), bad.end())));
  const CliRun byteErr = Cli("rules show '" + scratch.PathOf("bad.bin") + "'");
  EXPECT_EQ(byteErr.exitCode, 1);
  EXPECT_EQ(byteErr.err.rfind("error: " + scratch.PathOf("bad.bin") + ": rule_207_byte_err", 0), 0u)
      << byteErr.err;
  EXPECT_EQ(Cli("rules show '" + scratch.PathOf("none.bin") + "'").exitCode, 1);
  EXPECT_EQ(Cli("rules").exitCode, 2) << "rules needs show";
}

}  // namespace
}  // namespace tavro::cli
