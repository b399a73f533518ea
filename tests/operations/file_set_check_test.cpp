// The package check every operation runs before it talks to the terminal.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/window_fixture.hpp"
#include "operations/file_set_check.hpp"

namespace tavro::operations {
namespace {

class FileSetCheckTest : public test::WindowFixture {};

TEST_F(FileSetCheckTest, AMissingPackageStopsWithItsName) {
  EXPECT_FALSE(FileSetCheck(ctx()));
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"SwUpdate.ini" + Text("F_NotExist")}));
}

TEST_F(FileSetCheckTest, AnUnreadablePackageIsReportedWithItsPath) {
  ctx().package.debugLevel = 7;
  ASSERT_TRUE(dir.Write("SwUpdate.ini", std::string(5, '\x01')));
  FileSetCheck(ctx());
  EXPECT_EQ(BoxTexts(),
            (std::vector<std::string>{dir.Path() + "/SwUpdate.ini" + Text("F_ReadInErr")}));
  EXPECT_EQ(ctx().package.debugLevel, 7u) << "the values read before are kept";
}

TEST_F(FileSetCheckTest, AReadablePackageShowsNothing) {
  std::string package(16, '\0');
  package[0] = 3;  // DebugLevel
  ASSERT_TRUE(dir.Write("SwUpdate.ini", package));
  EXPECT_TRUE(FileSetCheck(ctx()));
  EXPECT_TRUE(screen.boxes().empty());
  EXPECT_EQ(ctx().package.debugLevel, 3u);
}

}  // namespace
}  // namespace tavro::operations
