// Programs run from RAM (bootloader upgrade, E2PROM check), roll back and
// the run report that ends a download session.

#include <gtest/gtest.h>

#include "sim_harness.hpp"

namespace tavro::sim::testing {
namespace {

using namespace link;
using ::testing::ElementsAre;

constexpr std::size_t kBlLoaderSize = 33764;  // one of the built-in upgrade loaders

Behaviour Announcing() {
  Behaviour b = TestBehaviour();
  b.announceAtPowerUp = true;
  return b;
}

void LoadRam(SimHarness& sim, std::size_t size) {
  const auto blocks = CountedBlocks(Bytes(size, 0xA5));
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    const auto replies = sim.Exchange(MsgRamBlock, blocks[i], 10);
    ASSERT_GE(replies.size(), 1u);
    EXPECT_EQ(replies[0].msgId, MsgRamBlockAck) << i;
  }
}

TEST(BootloaderUpgrade, LoaderThenImageThenRestartWithTheNewVersion) {
  SimHarness sim(MakeDevice({.blVersion = 0x0221}), Announcing());
  EXPECT_THAT(Ids(sim.Run()), ElementsAre(MsgBlHello));
  sim.Exchange(MsgBlHelloAck);
  LoadRam(sim, kBlLoaderSize);
  EXPECT_THAT(Ids(sim.Run(500)), ElementsAre(MsgBlUpgradeReady));

  const auto extra = sim.SendBlocks(MsgBlImageBlock, CountedBlocks(Bytes(3 * 4096 + 10, 0x3C)),
                                    MsgBlBlockAck, 1, 10);
  EXPECT_TRUE(extra.empty());
  EXPECT_EQ(sim.terminal->device().bootloader.version, 0x0221) << "old one until written";
  // Written, then the terminal restarts and announces its new bootloader.
  auto replies = sim.Run(2000);
  ASSERT_THAT(Ids(replies), ElementsAre(MsgBlHello));
  EXPECT_EQ(DecodeBlHello(replies[0].payload)->blVersion, 0x0230);
  EXPECT_THAT(Ids(sim.Exchange(MsgBlHelloAck)), ElementsAre(MsgHello));
  // The new generation keeps its data in an E2PROM that holds none yet.
  EXPECT_TRUE(sim.terminal->device().UsesE2());
  EXPECT_FALSE(E2Intact(sim.terminal->device().e2prom));
  EXPECT_THAT(Ids(sim.Exchange(MsgE2Read, E2ReadPayload(0, 32))), ElementsAre(MsgE2ReadBlock));
}

TEST(BootloaderUpgrade, ImageBlocksNeedTheLoaderAndRefusalsRepeat) {
  Faults f;
  f.refuseEnabled = true;
  f.refuseMsgId = MsgBlImageBlock;
  f.refuseBlock = 1;
  f.refuseTimes = 3;
  SimHarness sim(MakeDevice({}), TestBehaviour(), f);
  const auto image = CountedBlocks(Bytes(2 * 4096, 1));
  EXPECT_TRUE(sim.Exchange(MsgBlImageBlock, image[0]).empty()) << "no loader runs";
  LoadRam(sim, kBlLoaderSize);
  sim.Run(500);
  sim.SendBlocks(MsgBlImageBlock, {image[0]}, MsgBlBlockAck, 1);
  sim.SendBlocks(MsgBlImageBlock, {image[1], image[1], image[1]}, MsgBlBlockAck, 0);
  sim.SendBlocks(MsgBlImageBlock, {image[1]}, MsgBlBlockAck, 1);
}

TEST(E2Check, ExchangeThenRestart) {
  Behaviour b = Announcing();
  b.e2CheckResult = 7;
  SimHarness sim(MakeDevice({.blVersion = 0x0222}), b);
  sim.Run();
  LoadRam(sim, 6000);  // not an upgrade loader: the check runs
  EXPECT_THAT(Ids(sim.Run(500)), ElementsAre(MsgRamHello));
  EXPECT_THAT(Ids(sim.Exchange(MsgRamHelloAck)), ElementsAre(MsgRamContinue));
  const auto replies = sim.Exchange(MsgRamContinueAck);
  ASSERT_THAT(Ids(replies), ElementsAre(MsgE2CheckResult));
  EXPECT_EQ(replies[0].Status(), 7);
  EXPECT_TRUE(sim.Exchange(MsgE2CheckResultAck, {}, 500).empty());
  EXPECT_THAT(Ids(sim.Run(1000)), ElementsAre(MsgBlHello)) << "restarted";
}

TEST(E2Check, LoaderRepeatsUnansweredMessagesThenRestarts) {
  SimHarness sim(MakeDevice({}), Announcing());
  sim.Run();
  LoadRam(sim, 100);
  auto replies = sim.Run(3100);
  EXPECT_THAT(Ids(replies), ElementsAre(MsgRamHello, MsgRamHello, MsgRamHello));
  EXPECT_THAT(Ids(sim.Run(1500)), ElementsAre(MsgBlHello));
  // An answer to a question the loader did not ask changes nothing.
  EXPECT_TRUE(sim.Exchange(MsgRamContinueAck).empty());
}

TEST(E2Check, ConfiguredKindWins) {
  Behaviour b = TestBehaviour();
  b.ramLoader = RamLoaderKind::BlUpgrade;
  SimHarness sim(MakeDevice({}), b);
  LoadRam(sim, 100);
  EXPECT_THAT(Ids(sim.Run(500)), ElementsAre(MsgBlUpgradeReady));
}

TEST(RollBack, ProgressReportsThenResult) {
  Device device = MakeDevice({});
  device.app.present = false;
  SimHarness sim(device);
  auto replies = sim.Exchange(MsgGoBack, {}, 2500);
  ASSERT_THAT(Ids(replies), ElementsAre(MsgGoBackResult, MsgGoBackResult, MsgGoBackResult));
  EXPECT_EQ(replies[0].Status(), 3);
  EXPECT_EQ(replies[1].Status(), 3);
  EXPECT_EQ(replies[2].Status(), 1);
  EXPECT_EQ(sim.terminal->device().app, sim.terminal->device().backupApp);

  device.backupApp.present = false;
  SimHarness none(device);
  replies = none.Exchange(MsgGoBack, {}, 2500);
  EXPECT_EQ(replies.back().Status(), 2);

  Faults f;
  f.goBackResult = 0;
  SimHarness failing(MakeDevice({}), TestBehaviour(), f);
  replies = failing.Exchange(MsgGoBack, {}, 2500);
  EXPECT_EQ(replies.back().Status(), 0);
}

TEST(RunReport, AfterTheQuietEndOfADownloadSession) {
  SimHarness sim;
  const Device& d = sim.terminal->device();
  sim.Exchange(MsgAppDownloadStart, U32Payload(d.areas[kAppEntry].areaAddr), 2000);
  const auto extra =
      sim.SendBlocks(MsgAppBlock, AppBlocks(MakeAppFile(0x02000000, "R", 5000), 0, kDownloadTime),
                     MsgAppBlockAck, 1, 10);
  // The terminal writes the App and reports: the quiet time counts from then.
  EXPECT_THAT(Ids(extra), ElementsAre(MsgDataBackupState));
  auto replies = sim.Run(1000);
  EXPECT_THAT(Ids(replies), ElementsAre(MsgDataBackupState));
  EXPECT_TRUE(sim.Run(1700).empty());
  replies = sim.Run(200);
  ASSERT_THAT(Ids(replies), ElementsAre(MsgRunResult));
  EXPECT_EQ(replies[0].Status(), 1);
  EXPECT_TRUE(sim.Run(10000).empty()) << "once per session";
}

TEST(RunReport, NotWhileATransferIsHalfWayNorForTheMarkerAlone) {
  SimHarness sim;
  sim.SendBlocks(MsgFlashWriteBlock,
                 AddressedBlocks(kFlashMarkerAddress, FlashMarkerImage(), OddChunk::PadToEven),
                 MsgFlashWriteAck, 3);
  EXPECT_TRUE(sim.Run(10000).empty());
  sim.Exchange(MsgParaDownloadStart, {}, 2000);
  const auto blocks = ParaBlocks(sim.terminal->device().areas[0],
                                 MakeParaImage(0, 1, "X", 5000, {}), kDownloadTime);
  sim.SendBlocks(MsgParaBlock, {blocks[0]}, MsgParaBlockAck, 1);
  EXPECT_TRUE(sim.Run(10000).empty()) << "left half-way: stays in the bootloader";
}

TEST(RunReport, NewConnectKeepsTheTerminalInItsBootloader) {
  SimHarness sim;
  sim.SendBlocks(
      MsgFlashWriteBlock,
      AddressedBlocks(sim.terminal->device().resource.address, Bytes(10, 1), OddChunk::PadToEven),
      MsgFlashWriteAck, 3);
  sim.Run(1000);
  sim.Exchange(MsgConnect);
  EXPECT_THAT(Ids(sim.Exchange(MsgBlHelloAck, {}, 10000)), ElementsAre(MsgHello));
}

TEST(RunReport, StatusWithoutAppAndConfigured) {
  Behaviour b = TestBehaviour();
  SimHarness sim(MakeDevice({}), b);
  sim.terminal->mutableDevice().app.present = false;
  sim.SendBlocks(
      MsgFlashWriteBlock,
      AddressedBlocks(sim.terminal->device().resource.address, Bytes(10, 1), OddChunk::PadToEven),
      MsgFlashWriteAck, 3);
  auto replies = sim.Run(3000);
  ASSERT_THAT(Ids(replies), ElementsAre(MsgRunResult));
  EXPECT_EQ(replies[0].Status(), 2);

  b.runResult = 0;
  SimHarness refusing(MakeDevice({}), b);
  refusing.SendBlocks(MsgFlashWriteBlock,
                      AddressedBlocks(refusing.terminal->device().resource.address, Bytes(10, 1),
                                      OddChunk::PadToEven),
                      MsgFlashWriteAck, 3);
  replies = refusing.Run(3000);
  ASSERT_THAT(Ids(replies), ElementsAre(MsgRunResult));
  EXPECT_EQ(replies[0].Status(), 0);
}

}  // namespace
}  // namespace tavro::sim::testing
