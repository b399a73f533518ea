// The sample package's conversion data: the committed files are what their
// source writes, and they prepare the initial data of the sample's
// destination version.

#include <gtest/gtest.h>

#include "data/file_io.hpp"
#include "data/init_prepare.hpp"
#include "data/para_images.hpp"
#include "data/sample_package_data.hpp"
#include "support/source_tree.hpp"
#include "support/temp_dir.hpp"

namespace tavro::test {
namespace {

TEST(SampleConversionData, CommittedFilesAreWhatTheirSourceWrites) {
  for (const SampleFile& file : SampleConversionFiles()) {
    EXPECT_EQ(data::ReadWholeFile(SourcePath("package/" + file.path)), file.bytes)
        << file.path << " differs from sample_package_data.cpp; rebuild make_sample_package and "
        << "run it on package/";
  }
}

TEST(SampleConversionData, PreparesTheDestinationVersionFromBothBaseSets) {
  TempDir dir;
  ASSERT_TRUE(dir.Write("Data/DataVer.ini", "[DestPara]\r\nDestParaVer=0x00010000\r\n"));
  for (const SampleFile& file : SampleConversionFiles())
    ASSERT_TRUE(dir.Write(file.path, std::string(file.bytes.begin(), file.bytes.end())));
  ASSERT_TRUE(dir.MakeFolder("Data/InitData/E2prom"));
  ASSERT_TRUE(dir.MakeFolder("Data/InitData/Flash"));
  const data::PrepareResult r = data::PrepareInitialData({dir.Path(), 5, {2024, 6, 1, 8, 0, 0}});
  ASSERT_EQ(r.code, data::kPrepared) << data::ConsoleText(r.error);
  EXPECT_EQ(r.logLines,
            (std::vector<std::string>{"\r\nE2Base_fe00", "\r\nE2Dest_10000_Conv2_10000_OK",
                                      "\r\nFBase_ff00", "\r\nFDest_10000_Conv2_10000_Ok"}));
  EXPECT_TRUE(data::IsE2ImageComplete(dir.PathOf("Data/InitData/E2prom")));
  EXPECT_EQ(data::FileSize(dir.PathOf("Data/InitData/E2prom/E2.dat")), data::kE2ImageSize);
  EXPECT_TRUE(data::IsFlashSetComplete(dir.PathOf("Data/InitData/Flash"), 5));
  // Channel 1 after two steps: number 1, its frequencies, flags 0x00, name.
  const std::string e2 = dir.Read("Data/InitData/E2prom/E2.dat");
  const std::string channel = e2.substr(32 + 16 + 32, 24);
  EXPECT_EQ(channel.substr(0, 2), std::string("\x01\x00", 2));
  EXPECT_EQ(channel.substr(11, 5), std::string("\x00"
                                               "CH01",
                                               5));
  EXPECT_EQ(e2.substr(32 + 16 + 32 + 384, 6), "Zone 1");
}

}  // namespace
}  // namespace tavro::test
