#include "app/package_builder.hpp"

#include <gtest/gtest.h>

#include <filesystem>

#include "data/ini_to_bin.hpp"
#include "support/recording_messages.hpp"
#include "support/recording_screen.hpp"
#include "support/temp_dir.hpp"

namespace tavro::app {
namespace {

constexpr const char* kSource =
    "[DebugLevel]\nDebugLevel=1\n"
    "[Flash_Addr_Start]\n"
    "[T1]\nA=0x1000\nB=256\nC=0\nD=1.dat\n";

class PackageBuilderTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  test::RecordingScreen screen;
  test::RecordingMessages messages;
};

TEST_F(PackageBuilderTest, CancelledChoiceWritesAndShowsNothing) {
  const PackageBuildResult result = RunIniToBinWithChooser(messages, screen);
  EXPECT_EQ(result.outcome, PackageBuildOutcome::kCancelled);
  EXPECT_TRUE(messages.boxes().empty());
  ASSERT_EQ(screen.fileFilters().size(), 1u);
  EXPECT_EQ(screen.fileFilters()[0], kPackageSourceFilter);
}

TEST_F(PackageBuilderTest, WritesIntoNewIniNextToTheSourceAndSaysWhere) {
  ASSERT_TRUE(dir.Write("src/pkg.ini", kSource));
  screen.QueueFile(dir.PathOf("src/pkg.ini"));

  const PackageBuildResult result = RunIniToBinWithChooser(messages, screen);

  EXPECT_EQ(result.outcome, PackageBuildOutcome::kWritten);
  EXPECT_EQ(result.outputPath, dir.PathOf("src/NewIni/pkg.ini"));
  // Same bytes as the builder writes directly.
  ASSERT_TRUE(data::IniToBin(dir.PathOf("direct.bin"), dir.PathOf("src/pkg.ini")));
  EXPECT_EQ(dir.Read("src/NewIni/pkg.ini"), dir.Read("direct.bin"));
  EXPECT_EQ(dir.Read("src/NewIni/pkg.ini").size(), 16u + 56u);
  ASSERT_EQ(messages.boxes().size(), 1u);
  EXPECT_EQ(messages.boxes()[0].kind, platform::kBoxOk);
  EXPECT_EQ(messages.boxes()[0].text,
            "<Ext_Pkg_Written>\r\n" + result.outputPath + "\r\n<Ext_Pkg_Install>");
  EXPECT_NE(messages.boxes()[0].text.find(result.outputPath), std::string::npos);
}

TEST_F(PackageBuilderTest, ChosenNameThatIsNoFileIsReportedAndBuildsNothing) {
  screen.QueueFile(dir.PathOf("missing.ini"));
  EXPECT_EQ(RunIniToBinWithChooser(messages, screen).outcome, PackageBuildOutcome::kSourceMissing);
  EXPECT_FALSE(dir.Exists("NewIni"));
  ASSERT_EQ(messages.boxes().size(), 1u);
  EXPECT_EQ(messages.boxes()[0],
            (test::RecordedBox{dir.PathOf("missing.ini") + "<F_NotExist>", platform::kBoxError}));

  // A folder is not a source either.
  messages.Clear();
  ASSERT_TRUE(dir.MakeFolder("folder.ini"));
  screen.QueueFile(dir.PathOf("folder.ini"));
  EXPECT_EQ(RunIniToBinWithChooser(messages, screen).outcome, PackageBuildOutcome::kSourceMissing);
  EXPECT_EQ(messages.boxes().size(), 1u);
}

TEST_F(PackageBuilderTest, FolderOrFileThatCannotBeCreatedIsAnError) {
  ASSERT_TRUE(dir.Write("a/pkg.ini", kSource));
  ASSERT_TRUE(dir.Write("a/NewIni", "a file where the folder should be"));
  screen.QueueFile(dir.PathOf("a/pkg.ini"));
  EXPECT_EQ(RunIniToBinWithChooser(messages, screen).outcome, PackageBuildOutcome::kFolderFailed);
  ASSERT_EQ(messages.boxes().size(), 1u);
  EXPECT_EQ(messages.boxes()[0].kind, platform::kBoxError);
  EXPECT_NE(messages.boxes()[0].text.find(dir.PathOf("a/NewIni")), std::string::npos);

  messages.Clear();
  ASSERT_TRUE(dir.Write("b/pkg.ini", kSource));
  ASSERT_TRUE(dir.MakeFolder("b/NewIni/pkg.ini"));  // the output name is taken by a folder
  screen.QueueFile(dir.PathOf("b/pkg.ini"));
  const PackageBuildResult result = RunIniToBinWithChooser(messages, screen);
  EXPECT_EQ(result.outcome, PackageBuildOutcome::kWriteFailed);
  ASSERT_EQ(messages.boxes().size(), 1u);
  EXPECT_EQ(messages.boxes()[0].kind, platform::kBoxError);
  EXPECT_NE(messages.boxes()[0].text.find(dir.PathOf("b/NewIni/pkg.ini")), std::string::npos);
}

}  // namespace
}  // namespace tavro::app
