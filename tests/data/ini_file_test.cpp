#include "data/ini_file.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "data/temp_dir.hpp"

namespace tavro::data {
namespace {

using test_support::FolderEntries;
using test_support::ReadText;
using test_support::TempDir;
using test_support::WriteBytes;
using test_support::WriteText;
using ::testing::ElementsAre;

const char* const kSample =
    "; package notes\r\n"
    "stray=outside\r\n"
    "[First]\r\n"
    "  Alpha = one  \r\n"
    "beta=two=three\r\n"
    "; comment=ignored\r\n"
    "no equals sign\r\n"
    "=starts with equals\r\n"
    "quoted=\"  spaced  \"\r\n"
    "single='x'\r\n"
    "half=\"open\r\n"
    "alpha=duplicate\r\n"
    "empty=\r\n"
    "\r\n"
    "[ Second ]\r\n"
    "gamma=3\r\n"
    "[first]\r\n"
    "delta=from the duplicate section\r\n";

TEST(IniRead, ValuesDefaultsAndCaseInsensitiveNames) {
  TempDir dir;
  WriteText(dir / "a.ini", kSample);
  const CIni ini(dir / "a.ini");
  EXPECT_EQ(ini.GetString("First", "Alpha", "d"), "one");
  EXPECT_EQ(ini.GetString("FIRST", "ALPHA", "d"), "one");  // first occurrence wins
  EXPECT_EQ(ini.GetString("first", "beta", "d"), "two=three");
  EXPECT_EQ(ini.GetString("First", "quoted", "d"), "  spaced  ");
  EXPECT_EQ(ini.GetString("First", "single", "d"), "x");
  EXPECT_EQ(ini.GetString("First", "half", "d"), "\"open");
  EXPECT_EQ(ini.GetString("First", "empty", "d"), "");
  EXPECT_EQ(ini.GetString("second", "Gamma", "d"), "3");
  EXPECT_EQ(ini.GetString("First", "missing", "dflt"), "dflt");
  EXPECT_EQ(ini.GetString("Nowhere", "gamma", "dflt"), "dflt");
  // Only the first section of a name is searched; comments and lines
  // before any section are no keys.
  EXPECT_EQ(ini.GetString("First", "delta", "d"), "d");
  EXPECT_EQ(ini.GetString("First", "; comment", "d"), "d");
  EXPECT_EQ(ini.GetString("", "stray", "d"), "d");

  const CIni missing(dir / "none.ini");
  EXPECT_EQ(missing.GetString("First", "Alpha", "fallback"), "fallback");
  EXPECT_TRUE(missing.GetSectionNames().empty());
  EXPECT_EQ(CIni().GetString("a", "b", "c"), "c");
}

TEST(IniRead, SectionsAndKeysInFileOrder) {
  TempDir dir;
  WriteText(dir / "a.ini", kSample);
  const CIni ini(dir / "a.ini");
  EXPECT_THAT(ini.GetSectionNames(), ElementsAre("First", "Second", "first"));
  EXPECT_THAT(ini.GetKeyNames("first"),
              ElementsAre("Alpha", "beta", "quoted", "single", "half", "alpha", "empty"));
  EXPECT_THAT(ini.GetKeyNames("Second"), ElementsAre("gamma"));
  EXPECT_TRUE(ini.GetKeyNames("Nowhere").empty());
}

TEST(IniRead, LongValuesAndLfOnlyFiles) {
  TempDir dir;
  const std::string longValue(5000, 'v');
  WriteText(dir / "a.ini", "[S]\nlong=" + longValue + "\nnext=1");
  const CIni ini(dir / "a.ini");
  EXPECT_EQ(ini.GetString("S", "long", ""), longValue);
  EXPECT_EQ(ini.GetString("S", "next", ""), "1");  // last line without a line break
}

TEST(IniRead, ByteOrderMarks) {
  TempDir dir;
  WriteText(dir / "utf8.ini", "\xEF\xBB\xBF[Lang]\r\nname=caf\xC3\xA9\r\n");
  EXPECT_EQ(CIni(dir / "utf8.ini").GetString("Lang", "name", ""), "caf\xC3\xA9");
  EXPECT_THAT(CIni(dir / "utf8.ini").GetSectionNames(), ElementsAre("Lang"));

  // UTF-16LE with its mark: "[Lang]\r\nname=中\r\n".
  std::vector<std::uint8_t> wide{0xFF, 0xFE};
  for (char16_t c : std::u16string(u"[Lang]\r\nname=\u4E2D\r\n")) {
    wide.push_back(static_cast<std::uint8_t>(c));
    wide.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  WriteBytes(dir / "utf16.ini", wide);
  CIni ini(dir / "utf16.ini");
  EXPECT_EQ(ini.GetString("lang", "NAME", ""), "\xE4\xB8\xAD");

  // Rewritten as UTF-8 without losing the existing key.
  ASSERT_TRUE(ini.WriteString("Lang", "other", "1"));
  EXPECT_EQ(ReadText(dir / "utf16.ini"), "[Lang]\r\nname=\xE4\xB8\xAD\r\nother=1\r\n");
}

// U+FEFF at the start of a UTF-16 file's text (behind its mark) is text:
// the first line is no section header, before a rewrite or after it.
TEST(IniWrite, AUtf16TextThatBeginsWithAMarkKeepsItsFirstLine) {
  TempDir dir;
  std::vector<std::uint8_t> wide{0xFF, 0xFE};
  for (char16_t c : std::u16string(u"\uFEFF[S]\r\nk=1\r\n")) {
    wide.push_back(static_cast<std::uint8_t>(c));
    wide.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  WriteBytes(dir / "a.ini", wide);
  CIni ini(dir / "a.ini");
  EXPECT_TRUE(ini.GetSectionNames().empty());
  ASSERT_TRUE(ini.WriteString("T", "x", "2"));
  EXPECT_THAT(ini.GetSectionNames(), ElementsAre("T"));
  EXPECT_EQ(ini.GetString("S", "k", "none"), "none");
  EXPECT_EQ(ReadText(dir / "a.ini"), "\xEF\xBB\xBF\xEF\xBB\xBF[S]\r\nk=1\r\n[T]\r\nx=2\r\n");
}

TEST(IniWrite, CreatesFileSectionAndKey) {
  TempDir dir;
  CIni ini(dir / "new.ini");
  ASSERT_TRUE(ini.WriteString("Para", "DlTime", "20240102030405"));
  ASSERT_TRUE(ini.WriteString("Para", "1.dat", "0"));
  ASSERT_TRUE(ini.WriteString("Other", "k", ""));
  EXPECT_EQ(ReadText(dir / "new.ini"),
            "[Para]\r\nDlTime=20240102030405\r\n1.dat=0\r\n[Other]\r\nk=\r\n");
  EXPECT_EQ(ini.GetString("para", "1.DAT", "x"), "0");
}

TEST(IniWrite, MissingFolderFailsAndCreatesNothing) {
  TempDir dir;
  CIni ini(dir / "absent/new.ini");
  EXPECT_FALSE(ini.WriteString("S", "k", "v"));
  EXPECT_TRUE(FolderEntries(dir.path()).empty());
  EXPECT_FALSE(CIni().WriteString("S", "k", "v"));
}

TEST(IniWrite, KeepsEveryOtherLine) {
  TempDir dir;
  WriteText(dir / "a.ini", kSample);
  CIni ini(dir / "a.ini");
  ASSERT_TRUE(ini.WriteString("first", "ALPHA", "replaced"));
  ASSERT_TRUE(ini.WriteString("First", "added", "new"));
  ASSERT_TRUE(ini.WriteString("Third", "t", "3"));
  EXPECT_EQ(ReadText(dir / "a.ini"),
            "; package notes\r\n"
            "stray=outside\r\n"
            "[First]\r\n"
            "ALPHA=replaced\r\n"
            "beta=two=three\r\n"
            "; comment=ignored\r\n"
            "no equals sign\r\n"
            "=starts with equals\r\n"
            "quoted=\"  spaced  \"\r\n"
            "single='x'\r\n"
            "half=\"open\r\n"
            "alpha=duplicate\r\n"
            "empty=\r\n"
            "added=new\r\n"  // before the blank line that ends the section
            "\r\n"
            "[ Second ]\r\n"
            "gamma=3\r\n"
            "[first]\r\n"
            "delta=from the duplicate section\r\n"
            "[Third]\r\n"
            "t=3\r\n");
}

TEST(IniWrite, KeepsLfLineEndsAndTheUtf8Mark) {
  TempDir dir;
  WriteText(dir / "a.ini", "\xEF\xBB\xBF[S]\nk=1\n\n[T]\nx=2");
  CIni ini(dir / "a.ini");
  ASSERT_TRUE(ini.WriteString("S", "k2", "two"));
  ASSERT_TRUE(ini.WriteString("T", "y", "3"));
  EXPECT_EQ(ReadText(dir / "a.ini"), "\xEF\xBB\xBF[S]\nk=1\nk2=two\n\n[T]\nx=2\ny=3\n");
  EXPECT_THAT(FolderEntries(dir.path()), ElementsAre("a.ini"));
}

TEST(IniWrite, RefusesTextThatWouldBreakTheLineStructure) {
  TempDir dir;
  WriteText(dir / "a.ini", "[S]\r\nk=1\r\n");
  CIni ini(dir / "a.ini");
  EXPECT_FALSE(ini.WriteString("S", "k", "two\r\n[Evil]"));
  EXPECT_FALSE(ini.WriteString("S", "a=b", "1"));
  EXPECT_FALSE(ini.WriteString("S]x", "k", "1"));
  EXPECT_FALSE(ini.WriteString("S", "  ", "1"));
  EXPECT_FALSE(ini.WriteString("S", ";k", "1"));
  EXPECT_FALSE(ini.WriteString(" ", "k", "1"));
  EXPECT_EQ(ReadText(dir / "a.ini"), "[S]\r\nk=1\r\n");
}

TEST(IniWrite, AnUnreadableFileIsNotReplaced) {
  TempDir dir;
  std::filesystem::create_directory(dir / "folder.ini");
  CIni ini(dir / "folder.ini");
  EXPECT_FALSE(ini.WriteString("S", "k", "v"));
  EXPECT_TRUE(std::filesystem::is_directory(dir / "folder.ini"));
}

// ---- Reads served from the parsed file: never stale ------------------------

// Another program rewriting the file in place: same inode, same size, within
// the same clock tick as the read before it.
TEST(IniCache, SeesInPlaceRewritesOfTheSameSizeAtOnce) {
  TempDir dir;
  const std::string path = dir / "a.ini";
  WriteText(path, "[S]\r\nk=0000\r\n");
  const CIni ini(path);
  for (int i = 1; i <= 200; ++i) {
    char value[8];
    std::snprintf(value, sizeof value, "%04d", i);
    WriteText(path, std::string("[S]\r\nk=") + value + "\r\n");
    ASSERT_EQ(ini.GetString("S", "k", ""), value) << "rewrite " << i;
  }
}

// A file system that keeps whole seconds gives a rewrite of the same size
// within the same second the very same size and modification time; so does
// a writer that puts the old time back (as copy and archive tools do).
TEST(IniCache, SeesARewriteOfTheSameSizeAndModificationTime) {
  TempDir dir;
  const std::string path = dir / "a.ini";
  const auto wholeSecond =
      std::chrono::file_clock::from_sys(std::chrono::sys_seconds(std::chrono::seconds(1767225600)));
  const auto setTime = [&](const std::string& file) {
    std::error_code ec;
    std::filesystem::last_write_time(file, wholeSecond, ec);
    return !ec;
  };
  WriteText(path, "[S]\r\nk=old\r\n");
  ASSERT_TRUE(setTime(path));
  const CIni ini(path);
  EXPECT_EQ(ini.GetString("S", "k", ""), "old");

  WriteText(path, "[S]\r\nk=new\r\n");
  ASSERT_TRUE(setTime(path));
  EXPECT_EQ(ini.GetString("S", "k", ""), "new");
  WriteText(dir / "next.tmp", "[S]\r\nk=3rd\r\n");
  ASSERT_TRUE(setTime(dir / "next.tmp"));
  std::error_code renamed;
  std::filesystem::rename(dir / "next.tmp", path, renamed);  // replaces on every platform
  ASSERT_FALSE(renamed);
  EXPECT_EQ(ini.GetString("S", "k", ""), "3rd");
}

// WriteString of another object, and a replace by rename that keeps the size.
TEST(IniCache, SeesReplacesByAnotherObjectAndByRename) {
  TempDir dir;
  const std::string path = dir / "a.ini";
  WriteText(path, "[S]\r\nk=1\r\n");
  const CIni reader(path);
  CIni writer(path);
  EXPECT_EQ(reader.GetString("S", "k", ""), "1");
  EXPECT_THAT(reader.GetSectionNames(), ElementsAre("S"));

  ASSERT_TRUE(writer.WriteString("S", "k", "2"));
  ASSERT_TRUE(writer.WriteString("T", "added", "3"));
  EXPECT_EQ(reader.GetString("S", "k", ""), "2");
  EXPECT_EQ(reader.GetString("T", "added", ""), "3");
  EXPECT_THAT(reader.GetSectionNames(), ElementsAre("S", "T"));

  const std::string replaced = "[S]\r\nk=5\r\n[T]\r\nadded=6\r\n";
  ASSERT_EQ(replaced.size(), ReadText(path).size());
  WriteText(dir / "next.tmp", replaced);
  std::error_code renamed;
  std::filesystem::rename(dir / "next.tmp", path, renamed);  // replaces on every platform
  ASSERT_FALSE(renamed);
  EXPECT_EQ(reader.GetString("S", "k", ""), "5");
  EXPECT_EQ(reader.GetString("T", "added", ""), "6");

  // The writer's own reads see its writes too.
  EXPECT_EQ(writer.GetString("T", "added", ""), "6");
  ASSERT_TRUE(writer.WriteString("T", "added", "7"));
  EXPECT_EQ(writer.GetString("T", "added", ""), "7");
  EXPECT_THAT(writer.GetKeyNames("t"), ElementsAre("added"));
}

TEST(IniCache, AFileRemovedReadsAsMissingUntilItComesBack) {
  TempDir dir;
  const std::string path = dir / "a.ini";
  WriteText(path, "[S]\r\nk=1\r\n");
  const CIni ini(path);
  EXPECT_EQ(ini.GetString("S", "k", "gone"), "1");
  std::filesystem::remove(path);
  EXPECT_EQ(ini.GetString("S", "k", "gone"), "gone");
  EXPECT_TRUE(ini.GetSectionNames().empty());
  WriteText(path, "[S]\r\nk=2\r\n");
  EXPECT_EQ(ini.GetString("S", "k", "gone"), "2");
}

TEST(IniCache, RebindingAndCopiesReadTheirOwnFile) {
  TempDir dir;
  WriteText(dir / "a.ini", "[S]\r\nk=a\r\n");
  WriteText(dir / "b.ini", "[S]\r\nk=b\r\n");
  CIni ini(dir / "a.ini");
  EXPECT_EQ(ini.GetString("S", "k", ""), "a");
  const CIni copy = ini;
  ini.Bind(dir / "b.ini");
  EXPECT_EQ(ini.GetString("S", "k", ""), "b");
  EXPECT_EQ(copy.GetString("S", "k", ""), "a");
  WriteText(dir / "a.ini", "[S]\r\nk=A\r\n");
  EXPECT_EQ(copy.GetString("S", "k", ""), "A");
}

// Once the file has settled its parse is kept: lookups do not read it
// again until it changes, and the first change after that is seen at once.
TEST(IniCache, ASettledFileIsReadOnceAndItsNextChangeSeen) {
  TempDir dir;
  const std::string path = dir / "a.ini";
  WriteText(path, "[S]\r\nk=old\r\nother=1\r\n");
  const CIni ini(path);
  // Just written: the file may still change without a new stamp, so every
  // lookup reads it.
  EXPECT_EQ(ini.GetString("S", "k", ""), "old");
  EXPECT_EQ(ini.GetString("S", "other", ""), "1");
  EXPECT_EQ(ini.FileReads(), 2u);

  std::this_thread::sleep_for(std::chrono::seconds(CIni::kSettleSeconds) +
                              std::chrono::milliseconds(200));
  EXPECT_EQ(ini.GetString("S", "k", ""), "old");
  const std::uint64_t reads = ini.FileReads();
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(ini.GetString("s", "K", ""), "old");
    EXPECT_THAT(ini.GetKeyNames("S"), ElementsAre("k", "other"));
  }
  EXPECT_EQ(ini.FileReads(), reads);

  WriteText(path, "[S]\r\nk=new\r\nother=1\r\n");
  EXPECT_EQ(ini.GetString("S", "k", ""), "new");
  EXPECT_EQ(ini.FileReads(), reads + 1);
}

}  // namespace
}  // namespace tavro::data
