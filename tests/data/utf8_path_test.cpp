// File and folder names that are not ASCII: what the program writes under
// such a name it finds, lists and reads again under the same name, on every
// platform (on Windows std::filesystem's own narrow conversion would change
// them).
#include <gtest/gtest.h>

#include <fstream>

#include "data/file_io.hpp"
#include "data/ini_to_bin.hpp"
#include "data/utf8_path.hpp"
#include "support/temp_dir.hpp"

namespace tavro::data {
namespace {

const std::string kFolder = "Prüfung 测试";
const std::string kFile = "Daten-ñ-数据.dat";

TEST(Utf8PathTest, NamesRoundTripThroughThePathType) {
  const std::string name = kFolder + "/" + kFile;
  EXPECT_EQ(Utf8Of(Utf8Path(name)), name);
  EXPECT_EQ(Utf8Of(Utf8Path(name).filename()), kFile);
  EXPECT_EQ(Utf8Of(Utf8Path(name).parent_path()), kFolder);
}

TEST(Utf8PathTest, FilesUnderNonAsciiNamesAreWrittenFoundListedAndRemoved) {
  test::TempDir dir;
  const std::string folder = dir.Path() + "/" + kFolder;
  ASSERT_TRUE(CreateFolders(folder + "/inner"));
  EXPECT_TRUE(FolderExists(folder));
  const std::string file = folder + "/" + kFile;
  ASSERT_TRUE(WriteFileAtomic(file, {1, 2, 3}));
  EXPECT_TRUE(FileExists(file));
  EXPECT_EQ(FileSize(file), 3u);
  EXPECT_EQ(ReadWholeFile(file), (std::vector<std::uint8_t>{1, 2, 3}));
  EXPECT_EQ(ListFiles(folder, "*.dat"), std::vector<std::string>{kFile});
  // Streams opened by name find the same file.
  std::ifstream in(Utf8Path(file), std::ios::binary);
  EXPECT_EQ(in.get(), 1);
  in.close();
  ASSERT_TRUE(CopyFileOverwrite(file, folder + "/inner/" + kFile));
  EXPECT_EQ(ListFiles(folder + "/inner", "*.*"), std::vector<std::string>{kFile});
  EXPECT_TRUE(RemoveFile(file));
  EXPECT_FALSE(FileExists(file));
  EXPECT_TRUE(DeleteTree(folder));
  EXPECT_FALSE(FolderExists(folder));
}

TEST(Utf8PathTest, ThePackageBuildersOutputStaysBesideItsNonAsciiSource) {
  test::TempDir dir;
  const std::string folder = dir.Path() + "/" + kFolder;
  ASSERT_TRUE(CreateFolders(folder));
  const auto output = IniToBinOutputPath(folder + "/SwUpdate.ini");
  ASSERT_TRUE(output.has_value());
  EXPECT_EQ(Utf8Of(Utf8Path(*output).parent_path().parent_path()), Utf8Of(Utf8Path(folder)));
  EXPECT_TRUE(FolderExists(folder + "/NewIni"));
}

}  // namespace
}  // namespace tavro::data
