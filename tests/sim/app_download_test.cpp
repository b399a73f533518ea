// App download: the terminal's own data backup, the blocks, the write.

#include <gtest/gtest.h>

#include "sim_harness.hpp"

namespace tavro::sim::testing {
namespace {

using namespace link;
using ::testing::ElementsAre;

std::uint32_t AppAddress(SimHarness& sim) {
  return sim.terminal->device().areas[kAppEntry].areaAddr;
}

TEST(AppDownload, WholeExchange) {
  SimHarness sim;
  const Device before = sim.terminal->device();
  // Intact data: the terminal backs it up first (state 1, then 2).
  auto replies = sim.Exchange(MsgAppDownloadStart, U32Payload(AppAddress(sim)), 100);
  ASSERT_THAT(Ids(replies), ElementsAre(MsgDataBackupState));
  EXPECT_EQ(replies[0].Status(), 1);
  replies = sim.Run(1500);
  ASSERT_THAT(Ids(replies), ElementsAre(MsgDataBackupState));
  EXPECT_EQ(replies[0].Status(), 2);

  const Bytes file = MakeAppFile(0x02000001, "NEWMODEL", 3 * 4096 + 17);
  const auto blocks = AppBlocks(file, 0, kDownloadTime);
  ASSERT_EQ(blocks.size(), 5u);
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    replies = sim.Exchange(MsgAppBlock, blocks[i], 20);
    ASSERT_GE(replies.size(), 1u);
    EXPECT_EQ(replies[0].msgId, MsgAppBlockAck);
    EXPECT_EQ(replies[0].Status(), 1);
    if (i == 1) {
      // Being rewritten: the current App is not complete, the old one is kept.
      EXPECT_FALSE(sim.terminal->device().app.present);
      EXPECT_TRUE(sim.terminal->device().backupApp.present);
      EXPECT_EQ(sim.terminal->device().backupApp.version, before.app.version);
    }
  }
  // After the last block the terminal writes the App and reports again.
  ASSERT_THAT(Ids(replies), ElementsAre(MsgAppBlockAck, MsgDataBackupState));
  EXPECT_EQ(replies[1].Status(), 1);
  EXPECT_FALSE(sim.terminal->device().app.present);
  replies = sim.Run(1000);
  ASSERT_THAT(Ids(replies), ElementsAre(MsgDataBackupState));
  EXPECT_EQ(replies[0].Status(), 2);

  const Device& after = sim.terminal->device();
  EXPECT_TRUE(after.app.present);
  EXPECT_EQ(after.app.image, file);
  EXPECT_EQ(after.app.fileLength, file.size());
  EXPECT_EQ(after.app.version, 0x02000001u);
  EXPECT_EQ(std::string(after.app.model.data(), 8), "NEWMODEL");
  EXPECT_EQ(after.app.stamp, kDownloadTime);
  EXPECT_EQ(after.backupApp.image, before.app.image);
  for (std::size_t i = 0; i < after.para.size(); ++i) {
    EXPECT_EQ(after.para[i].copy.bytes, after.para[i].primary.bytes) << "own backup, area " << i;
  }
  // The App information reports the new App.
  const auto info = DecodeAppInfo(sim.Exchange(MsgReadAppInfo).at(0).payload);
  EXPECT_EQ(info->current.version, 0x02000001u);
  EXPECT_EQ(info->backup.version, before.app.version);
}

TEST(AppDownload, SizeCodeLeavesHeaderRoomBeforeTheFile) {
  DeviceSpec spec;
  spec.sizeCode = 0x20;  // 8 KiB header: 4 KiB of room after the descriptor
  SimHarness sim(MakeDevice(spec));
  EXPECT_EQ(sim.terminal->device().AppImageOffset(), 4096u);
  sim.Exchange(MsgAppDownloadStart, U32Payload(AppAddress(sim)), 2000);
  const Bytes file = MakeAppFile(0x03000000, "X", 5000);
  sim.SendBlocks(MsgAppBlock, AppBlocks(file, 4096, kDownloadTime), MsgAppBlockAck, 1, 20);
  sim.Run(2000);
  EXPECT_TRUE(sim.terminal->device().app.present);
  EXPECT_EQ(sim.terminal->device().app.version, 0x03000000u);
  EXPECT_EQ(sim.terminal->device().app.image.size(), 4096 + file.size());
}

TEST(AppDownload, NoDataToSecureAndOtherStartReplies) {
  Device device = MakeDevice({});
  PutU16(device.para[0].primary.bytes.data(), 0);
  SimHarness damaged(device);
  auto replies =
      damaged.Exchange(MsgAppDownloadStart, U32Payload(device.areas[kAppEntry].areaAddr), 3000);
  ASSERT_THAT(Ids(replies), ElementsAre(MsgDataBackupState));
  EXPECT_EQ(replies[0].Status(), 0);
  EXPECT_NE(damaged.terminal->device().para[0].copy.bytes,
            damaged.terminal->device().para[0].primary.bytes)
      << "damaged data never overwrites the copies";

  Behaviour hello = TestBehaviour();
  ASSERT_TRUE(ParseStateList("hello", hello.appStartStates));
  SimHarness greeting(MakeDevice({}), hello);
  EXPECT_THAT(Ids(greeting.Exchange(MsgAppDownloadStart, U32Payload(AppAddress(greeting)))),
              ElementsAre(MsgHello));

  Faults fails;
  fails.dataBackupFails = true;
  SimHarness failing(MakeDevice({}), TestBehaviour(), fails);
  replies = failing.Exchange(MsgAppDownloadStart, U32Payload(AppAddress(failing)), 3000);
  ASSERT_THAT(Ids(replies), ElementsAre(MsgDataBackupState, MsgDataBackupState));
  EXPECT_EQ(replies[1].Status(), 4);

  SimHarness wrong;
  EXPECT_TRUE(wrong.Exchange(MsgAppDownloadStart, U32Payload(0x1000), 3000).empty());
}

TEST(AppDownload, RepeatedBlockIsAcknowledgedAndStoredOnce) {
  SimHarness sim;
  sim.Exchange(MsgAppDownloadStart, U32Payload(AppAddress(sim)), 2000);
  const Bytes file = MakeAppFile(0x02000000, "R", 9000);
  const auto blocks = AppBlocks(file, 0, kDownloadTime);
  sim.SendBlocks(MsgAppBlock, {blocks[0], blocks[1], blocks[1]}, MsgAppBlockAck, 1, 20);
  EXPECT_EQ(sim.terminal->device().app.image.size(), 4096u);
  // A block from further on is refused: the PC sends the same block again.
  sim.SendBlocks(MsgAppBlock, {blocks[3]}, MsgAppBlockAck, 0, 20);
  sim.SendBlocks(MsgAppBlock, {blocks[2], blocks[3]}, MsgAppBlockAck, 1, 20);
  sim.Run(2000);
  EXPECT_EQ(sim.terminal->device().app.image, file);
}

TEST(AppDownload, RefusalFaultThenAccepted) {
  Faults f;
  std::string error;
  ASSERT_TRUE(SetFault(f, "RefuseBlock", "12056, 2, 2", error));
  SimHarness sim(MakeDevice({}), TestBehaviour(), f);
  sim.Exchange(MsgAppDownloadStart, U32Payload(AppAddress(sim)), 2000);
  const auto blocks = AppBlocks(MakeAppFile(0x02000000, "R", 9000), 0, kDownloadTime);
  sim.SendBlocks(MsgAppBlock, {blocks[0], blocks[1]}, MsgAppBlockAck, 1, 20);
  sim.SendBlocks(MsgAppBlock, {blocks[2], blocks[2]}, MsgAppBlockAck, 0, 20);
  sim.SendBlocks(MsgAppBlock, {blocks[2], blocks[3]}, MsgAppBlockAck, 1, 20);
}

TEST(AppDownload, DescriptorThatDoesNotFitIsRefused) {
  SimHarness sim;
  sim.Exchange(MsgAppDownloadStart, U32Payload(AppAddress(sim)), 2000);
  auto blocks = AppBlocks(MakeAppFile(0x02000000, "R", 9000), 0, kDownloadTime);
  // The count does not match the length in the descriptor.
  PutU16(blocks[0].data(), 7);
  sim.SendBlocks(MsgAppBlock, {blocks[0]}, MsgAppBlockAck, 0, 20);
  // Larger than the App area.
  Bytes huge = CountedBlockPayload(
      600, 0, AppDescriptorChunk(sim.terminal->device().AppCapacity() + 1, kDownloadTime));
  sim.SendBlocks(MsgAppBlock, {huge}, MsgAppBlockAck, 0, 20);
  // A block whose length runs past its frame.
  Bytes cut = CountedBlockPayload(3, 1, Bytes(100, 1));
  PutU16(cut.data() + 4, 4096);
  sim.SendBlocks(MsgAppBlock, {cut}, MsgAppBlockAck, 0, 20);
  EXPECT_TRUE(sim.terminal->device().app.present) << "nothing was accepted";
}

TEST(AppDownload, ShortLastBlockIsRefused) {
  SimHarness sim;
  sim.Exchange(MsgAppDownloadStart, U32Payload(AppAddress(sim)), 2000);
  auto blocks = AppBlocks(MakeAppFile(0x02000000, "R", 5000), 0, kDownloadTime);
  sim.SendBlocks(MsgAppBlock, {blocks[0], blocks[1]}, MsgAppBlockAck, 1, 20);
  Bytes last = CountedBlockPayload(3, 2, Bytes(100, 1));  // 904 bytes are due
  sim.SendBlocks(MsgAppBlock, {last}, MsgAppBlockAck, 0, 20);
  EXPECT_FALSE(sim.terminal->device().app.present);
}

}  // namespace
}  // namespace tavro::sim::testing
