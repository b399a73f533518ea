// The block rules every transfer shares: where each block of an image lies,
// and how acceptances and refusals move a series on.

#include <gtest/gtest.h>

#include <vector>

#include "app/window_fixture.hpp"
#include "engine/block_send.hpp"

namespace tavro::engine {
namespace {

TEST(BlockChunks, ImagesSplitIntoFullBlocksAndOneRest) {
  EXPECT_EQ(BlockCountFor(0), 0u);
  EXPECT_EQ(BlockCountFor(1), 1u);
  EXPECT_EQ(BlockCountFor(4096), 1u);
  EXPECT_EQ(BlockCountFor(4097), 2u);
  EXPECT_EQ(BlockCountFor(0x10000), 16u);

  struct Case {
    std::size_t size;
    std::uint32_t number;
    std::size_t offset;
    std::size_t length;
  };
  const Case cases[] = {
      {10000, 0, 0, 4096},   {10000, 1, 4096, 4096}, {10000, 2, 8192, 1808},
      {10000, 3, 10000, 0},  // past the end: nothing
      {4096, 1, 4096, 0},    {1, 0, 0, 1},           {0, 0, 0, 0},
      {5, 0xFFFFFFFF, 5, 0},  // a block number far past the end does not wrap
  };
  for (const Case& c : cases) {
    const BlockChunk chunk = ChunkOf(c.size, c.number);
    EXPECT_EQ(chunk.offset, c.offset) << c.size << " #" << c.number;
    EXPECT_EQ(chunk.length, c.length) << c.size << " #" << c.number;
  }
  EXPECT_EQ(ChunkOf(1000, 1, 512).length, 488u) << "a smaller block size";
}

class BlockSeriesTest : public test::WindowFixture {
 protected:
  void SetUp() override {
    WindowFixture::SetUp();
    link().LinkUp = 1;
    SetBusy(ctx(), WindowState::kBusy);
  }
  SendBlockFn Sender() {
    return [this](std::uint16_t number) { sent.push_back(number); };
  }
  BlockAck Ack(bool accepted) { return OnBlockAck(ctx(), accepted, RetryKind::kFlash, Sender()); }

  std::vector<std::uint16_t> sent;
};

TEST_F(BlockSeriesTest, AcceptedBlocksMoveOnAndTheLastEndsTheSeries) {
  StartBlockSeries(ctx(), 3, Sender());
  EXPECT_EQ(sent, (std::vector<std::uint16_t>{0}));
  EXPECT_EQ(link().gFrameSum, 3);
  EXPECT_EQ(Ack(true), BlockAck::kNextSent);
  EXPECT_EQ(Ack(false), BlockAck::kResent);
  EXPECT_EQ(Ack(true), BlockAck::kNextSent);
  EXPECT_EQ(Ack(true), BlockAck::kLastAccepted);
  EXPECT_EQ(sent, (std::vector<std::uint16_t>{0, 1, 1, 2}));
  EXPECT_EQ(link().gFrameNum, 2);
  EXPECT_TRUE(screen.boxes().empty());
}

TEST_F(BlockSeriesTest, ASingleBlockEndsWithItsFirstAcceptance) {
  StartBlockSeries(ctx(), 1, Sender());
  EXPECT_EQ(Ack(true), BlockAck::kLastAccepted);
  EXPECT_EQ(sent, (std::vector<std::uint16_t>{0}));
}

TEST_F(BlockSeriesTest, FifthRefusalOfOneBlockEndsTheOperation) {
  StartBlockSeries(ctx(), 2, Sender());
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(Ack(false), BlockAck::kResent);
  // An acceptance starts the count anew for the next block.
  EXPECT_EQ(Ack(true), BlockAck::kNextSent);
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(Ack(false), BlockAck::kResent) << i;
  EXPECT_TRUE(screen.boxes().empty());
  EXPECT_EQ(Ack(false), BlockAck::kGaveUp);
  EXPECT_EQ(sent, (std::vector<std::uint16_t>{0, 0, 0, 0, 1, 1, 1, 1, 1}));
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Flash" + Text("Run_ErrNumOver")}));
  EXPECT_TRUE(Control(platform::kDeviceInfoButton).enabled) << "the window is idle again";
}

}  // namespace
}  // namespace tavro::engine
