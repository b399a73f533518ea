#include "data/file_io.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "data/temp_dir.hpp"

namespace tavro::data {
namespace {

using test_support::FolderEntries;
using test_support::ReadText;
using test_support::TempDir;
using test_support::WriteText;
using ::testing::ElementsAre;

TEST(ReadWholeFile, ReadsEveryByteAndTellsWhyItFailed) {
  TempDir dir;
  std::string content(100000, '\0');
  for (std::size_t i = 0; i < content.size(); ++i)
    content[i] = static_cast<char>(i * 7);
  WriteText(dir / "blob", content);
  const auto bytes = ReadWholeFile(dir / "blob");
  ASSERT_TRUE(bytes.has_value());
  EXPECT_EQ(std::string(bytes->begin(), bytes->end()), content);

  ReadError why = ReadError::kNone;
  EXPECT_FALSE(ReadWholeFile(dir / "missing", &why).has_value());
  EXPECT_EQ(why, ReadError::kCannotOpen);
  why = ReadError::kNone;
  EXPECT_FALSE(ReadWholeFile(dir.path(), &why).has_value());  // a folder is no file
  EXPECT_EQ(why, ReadError::kCannotOpen);

  WriteText(dir / "empty", "");
  const auto empty = ReadWholeFile(dir / "empty");
  ASSERT_TRUE(empty.has_value());
  EXPECT_TRUE(empty->empty());
}

TEST(WriteFileAtomic, ReplacesWholeAndLeavesNoTemporary) {
  TempDir dir;
  const std::string path = dir / "out.bin";
  ASSERT_TRUE(WriteFileAtomic(path, {1, 2, 3}));
  ASSERT_TRUE(WriteFileAtomic(path, {9}));
  EXPECT_EQ(ReadText(path), "\x09");
  EXPECT_THAT(FolderEntries(dir.path()), ElementsAre("out.bin"));
  ASSERT_TRUE(WriteFileAtomic(path, {}));
  EXPECT_EQ(FileSize(path), 0u);
}

TEST(WriteFileAtomic, FailureKeepsTheOldFileAndCleansUp) {
  TempDir dir;
  // Missing folder: nothing is created anywhere.
  EXPECT_FALSE(WriteFileAtomic(dir / "no/such/file", {1}));
  EXPECT_TRUE(FolderEntries(dir.path()).empty());

  // A folder stands where the file should go: the rename fails after the
  // temporary was written; the folder and its content stay, no temporary.
  std::filesystem::create_directory(dir / "target");
  WriteText(dir / "target/keep", "old");
  EXPECT_FALSE(WriteFileAtomic(dir / "target", {1, 2}));
  EXPECT_THAT(FolderEntries(dir.path()), ElementsAre("target"));
  EXPECT_EQ(ReadText(dir / "target/keep"), "old");

  EXPECT_FALSE(WriteFileAtomic("", {1}));
}

TEST(WriteFileAtomic, KeepsThePermissionBitsOfTheFileItReplaces) {
  TempDir dir;
  const std::string path = dir / "script";
  WriteText(path, "x");
  ASSERT_EQ(::chmod(path.c_str(), 0751), 0);
  ASSERT_TRUE(WriteFileAtomic(path, {'y'}));
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0751u);
}

TEST(FileQueries, ExistsAndSize) {
  TempDir dir;
  WriteText(dir / "f", "12345");
  EXPECT_TRUE(FileExists(dir / "f"));
  EXPECT_TRUE(FileExists(dir.path()));
  EXPECT_FALSE(FileExists(dir / "nothing"));
  EXPECT_FALSE(FileExists(""));
  EXPECT_TRUE(FolderExists(dir.path()));
  EXPECT_FALSE(FolderExists(dir / "f"));
  EXPECT_EQ(FileSize(dir / "f"), 5u);
  EXPECT_EQ(FileSize(dir / "nothing"), std::nullopt);
  EXPECT_EQ(FileSize(dir.path()), std::nullopt);
}

TEST(WildcardMatch, DesktopStylePatterns) {
  EXPECT_TRUE(WildcardMatch("*.dat", "1.dat"));
  EXPECT_TRUE(WildcardMatch("*.dat", "E2.DAT"));  // case does not matter
  EXPECT_TRUE(WildcardMatch("*.DaT", "x.dat"));
  EXPECT_FALSE(WildcardMatch("*.dat", "1.data"));
  EXPECT_FALSE(WildcardMatch("*.dat", "1.da"));
  EXPECT_TRUE(WildcardMatch("?.dat", "5.dat"));
  EXPECT_FALSE(WildcardMatch("?.dat", "10.dat"));
  EXPECT_TRUE(WildcardMatch("COMLog-*.log", "comlog-20240101120000.log"));
  EXPECT_TRUE(WildcardMatch("*a*b*", "xxaYYbzz"));
  EXPECT_FALSE(WildcardMatch("*a*b*", "xxbYYazz"));
  EXPECT_TRUE(WildcardMatch("*", ""));
  EXPECT_FALSE(WildcardMatch("?", ""));
  EXPECT_TRUE(WildcardMatch("*.*", "README"));  // "*.*" is everything
  EXPECT_TRUE(WildcardMatch("a*", "a"));
}

TEST(IsPlainFileName, OnlyNamesThatStayInTheirFolder) {
  EXPECT_TRUE(IsPlainFileName("1.dat"));
  EXPECT_TRUE(IsPlainFileName("a..b.dat"));  // dots inside a name go nowhere
  EXPECT_TRUE(IsPlainFileName(".hidden"));
  EXPECT_FALSE(IsPlainFileName(""));
  EXPECT_FALSE(IsPlainFileName("."));
  EXPECT_FALSE(IsPlainFileName(".."));
  EXPECT_FALSE(IsPlainFileName("../1.dat"));
  EXPECT_FALSE(IsPlainFileName("..\\1.dat"));
  EXPECT_FALSE(IsPlainFileName("/etc/passwd"));
  EXPECT_FALSE(IsPlainFileName("sub/1.dat"));
  EXPECT_FALSE(IsPlainFileName(std::string_view("1.dat\0x", 7)));
  EXPECT_FALSE(IsPlainFileName("C:1.dat"));
}

TEST(ListFiles, SortedMatchingFilesOnlyWithoutMovingTheCurrentFolder) {
  TempDir dir;
  for (const char* name : {"b.dat", "A.dat", "a.DAT", "c.txt", "10.dat", "2.dat"}) {
    WriteText(dir / name, "x");
  }
  std::filesystem::create_directory(dir / "folder.dat");
  const auto before = std::filesystem::current_path();
  EXPECT_THAT(ListFiles(dir.path(), "*.dat"),
              ElementsAre("10.dat", "2.dat", "A.dat", "a.DAT", "b.dat"));
  EXPECT_EQ(std::filesystem::current_path(), before);
  EXPECT_THAT(ListFiles(dir.path(), "?.TXT"), ElementsAre("c.txt"));
  EXPECT_TRUE(ListFiles(dir / "missing", "*").empty());
}

TEST(Folders, CreateAcceptsExistingAndRefusesFiles) {
  TempDir dir;
  EXPECT_TRUE(CreateFolder(dir / "one"));
  EXPECT_TRUE(CreateFolder(dir / "one"));   // exists already
  EXPECT_FALSE(CreateFolder(dir / "a/b"));  // parent missing
  WriteText(dir / "file", "x");
  EXPECT_FALSE(CreateFolder(dir / "file"));
  EXPECT_TRUE(CreateFolders(dir / "a/b/c"));
  EXPECT_TRUE(FolderExists(dir / "a/b/c"));
  EXPECT_FALSE(CreateFolders(dir / "file/sub"));
}

TEST(Folders, DeleteTreeIsSilentAndRefusesRoots) {
  TempDir dir;
  ASSERT_TRUE(CreateFolders(dir / "t/x/y"));
  WriteText(dir / "t/x/y/f", "1");
  WriteText(dir / "t/g", "2");
  EXPECT_TRUE(DeleteTree(dir / "t"));
  EXPECT_FALSE(FileExists(dir / "t"));
  EXPECT_TRUE(DeleteTree(dir / "t"));  // already gone
  EXPECT_FALSE(DeleteTree(""));
  EXPECT_FALSE(DeleteTree("/"));
  EXPECT_TRUE(FolderExists("/"));
}

TEST(Files, RemoveAndCopy) {
  TempDir dir;
  WriteText(dir / "src", "payload");
  WriteText(dir / "dst", "old and longer");
  EXPECT_TRUE(CopyFileOverwrite(dir / "src", dir / "dst"));
  EXPECT_EQ(ReadText(dir / "dst"), "payload");
  EXPECT_FALSE(CopyFileOverwrite(dir / "missing", dir / "dst"));
  EXPECT_EQ(ReadText(dir / "dst"), "payload");
  EXPECT_TRUE(RemoveFile(dir / "src"));
  EXPECT_FALSE(FileExists(dir / "src"));
  EXPECT_TRUE(RemoveFile(dir / "src"));
  EXPECT_FALSE(RemoveFile(dir.path()));  // never a folder
  EXPECT_TRUE(FolderExists(dir.path()));
}

}  // namespace
}  // namespace tavro::data
