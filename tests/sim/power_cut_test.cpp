// Power cuts in the middle of a transfer: the profile folder keeps what a
// terminal keeps, and the terminal powers up again from it.

#include <gtest/gtest.h>

#include "sim_harness.hpp"
#include "support/temp_dir.hpp"

namespace tavro::sim::testing {
namespace {

using namespace link;
using ::testing::ElementsAre;

class PowerCut : public ::testing::Test {
 protected:
  // A terminal kept in the temporary folder, with `faults`.
  std::unique_ptr<SimHarness> Start(const Device& device, const Faults& faults) {
    Profile p;
    p.device = device;
    std::string error;
    EXPECT_TRUE(SaveProfile(dir.Path(), p, error)) << error;
    auto sim = std::make_unique<SimHarness>(device, TestBehaviour(), faults);
    sim->PersistTo(dir.Path());
    sim->terminal->SetPowerCutHook([this] { ++cuts; });
    return sim;
  }
  // The terminal after power-up from the folder; it announces itself.
  std::unique_ptr<SimHarness> Restart(Device& reloaded) {
    Profile p;
    std::string error;
    EXPECT_TRUE(LoadProfile(dir.Path(), p, error)) << error;
    reloaded = p.device;
    Behaviour b = TestBehaviour();
    b.announceAtPowerUp = true;
    return std::make_unique<SimHarness>(p.device, b);
  }

  test::TempDir dir;
  int cuts = 0;
};

TEST_F(PowerCut, InTheMiddleOfAParameterDownload) {
  Faults f;
  std::string error;
  ASSERT_TRUE(SetFault(f, "PowerCut", "para:1, 2", error));
  const Device original = MakeDevice({});
  auto sim = Start(original, f);
  sim->Exchange(MsgParaDownloadStart, {}, 2000);  // own backup into the second copies
  // Area 0 goes through; area 1 loses power when its block 2 arrives.
  Bytes image0 = MakeParaImage(0, 0x01030000, "NEW", 5000, {});
  sim->SendBlocks(MsgParaBlock, ParaBlocks(original.areas[0], image0, kDownloadTime),
                  MsgParaBlockAck, 1);
  sim->Exchange(MsgParaDownloadStart);
  Bytes image1 = MakeParaImage(1, 0x01030000, "NEW", 3 * 4096, {});
  const auto blocks = ParaBlocks(original.areas[1], image1, kDownloadTime);
  sim->SendBlocks(MsgParaBlock, {blocks[0], blocks[1]}, MsgParaBlockAck, 1);
  EXPECT_TRUE(sim->Exchange(MsgParaBlock, blocks[2], 1000).empty()) << "no answer: no power";
  EXPECT_EQ(cuts, 1);
  EXPECT_FALSE(sim->terminal->Powered());
  EXPECT_TRUE(sim->Exchange(MsgLinkQuery, {}, 1000).empty());

  Device d;
  auto again = Restart(d);
  // Area 0 complete with the download's stamp, area 1 holds header and block 1.
  EXPECT_TRUE(AreaIntact(d.para[0].primary));
  EXPECT_EQ(GetU16(d.para[0].primary.bytes.data() + 56), kDownloadTime.year);
  const Bytes& area1 = d.para[1].primary.bytes;
  ASSERT_EQ(area1.size(), 512 + 4096u);
  EXPECT_EQ(GetU16(area1.data()), 0xFFFF) << "marked not intact";
  EXPECT_EQ(GetU32(area1.data() + 2), 3 * 4096u);
  EXPECT_EQ(GetU32(area1.data() + 6), 0x01030000u);
  EXPECT_EQ(area1[61], kDownloadTime.minute);
  EXPECT_TRUE(std::equal(area1.begin() + 512, area1.end(), image1.begin() + 512));
  // Untouched areas and the second copies hold the old data.
  EXPECT_EQ(d.para[2].primary.bytes, original.para[2].primary.bytes);
  EXPECT_EQ(d.para[1].copy.bytes, original.para[1].primary.bytes);

  // Powered up, the terminal announces itself and reports the headers as kept.
  EXPECT_THAT(Ids(again->Run()), ElementsAre(MsgBlHello));
  const auto replies = again->Exchange(MsgFlashRead, U32PairPayload(d.areas[1].areaAddr, 64));
  ASSERT_THAT(Ids(replies), ElementsAre(MsgFlashReadBlock));
  const auto header = DecodeReadBackLong(replies[0].payload);
  EXPECT_EQ(GetU16(header->data.data()), 0xFFFF);
  EXPECT_EQ(GetU16(header->data.data() + 56), kDownloadTime.year);
  // The interrupted area can be written again from its first block.
  again->Exchange(MsgParaDownloadStart, {}, 2000);
  again->SendBlocks(MsgParaBlock, blocks, MsgParaBlockAck, 1);
  EXPECT_TRUE(AreaIntact(again->terminal->device().para[1].primary));
}

TEST_F(PowerCut, InTheMiddleOfAnAppDownload) {
  Faults f;
  f.powerCut = TransferKind::App;
  f.powerCutBlock = 3;
  const Device original = MakeDevice({});
  auto sim = Start(original, f);
  sim->Exchange(MsgAppDownloadStart, U32Payload(original.areas[kAppEntry].areaAddr), 2000);
  const auto blocks = AppBlocks(MakeAppFile(0x02000000, "NEW", 5 * 4096), 0, kDownloadTime);
  sim->SendBlocks(MsgAppBlock, {blocks[0], blocks[1], blocks[2]}, MsgAppBlockAck, 1);
  EXPECT_TRUE(sim->Exchange(MsgAppBlock, blocks[3]).empty());

  Device d;
  auto again = Restart(d);
  EXPECT_FALSE(d.app.present);
  EXPECT_EQ(d.app.image.size(), 2 * 4096u);
  EXPECT_TRUE(d.backupApp.present);
  EXPECT_EQ(d.backupApp.version, original.app.version);
  again->Run();
  const auto info = DecodeAppInfo(again->Exchange(MsgReadAppInfo).at(0).payload);
  EXPECT_EQ(info->current.present, 0);
  EXPECT_EQ(info->backup.present, 1);
  EXPECT_EQ(info->backup.version, original.app.version);
}

TEST_F(PowerCut, InTheMiddleOfAnE2promDownload) {
  Faults f;
  std::string error;
  ASSERT_TRUE(SetFault(f, "PowerCut", "e2, 5", error));
  const Device original = MakeDevice({.blVersion = 0x0230});
  auto sim = Start(original, f);
  Bytes image = MakeE2Image(0x01060000, "NEW", kDownloadTime);
  PutU16(image.data(), 0xFFFF);
  const auto blocks = AddressedBlocks(0, image, OddChunk::SendAsIs);
  sim->SendBlocks(MsgE2WriteBlock, std::vector<Bytes>(blocks.begin(), blocks.begin() + 5),
                  MsgE2WriteAck, 1);
  EXPECT_TRUE(sim->Exchange(MsgE2WriteBlock, blocks[5]).empty());

  Device d;
  auto again = Restart(d);
  EXPECT_FALSE(E2Intact(d.e2prom));
  EXPECT_TRUE(std::equal(image.begin() + 2, image.begin() + 5 * 4096, d.e2prom.begin() + 2));
  EXPECT_TRUE(std::equal(original.e2prom.begin() + 5 * 4096, original.e2prom.end(),
                         d.e2prom.begin() + 5 * 4096));
  again->Run();
  const auto replies = again->Exchange(MsgE2Read, E2ReadPayload(0, 32));
  const auto header = DecodeReadBackLong(replies.at(0).payload);
  EXPECT_EQ(GetU16(header->data.data()), 0xFFFF);
  EXPECT_EQ(GetU16(header->data.data() + 18), kDownloadTime.year);
}

TEST_F(PowerCut, PowerCutCallLeavesWhatWasSaved) {
  const Device original = MakeDevice({});
  auto sim = Start(original, {});
  sim->Exchange(MsgParaDownloadStart, {}, 2000);
  const auto blocks =
      ParaBlocks(original.areas[2], MakeParaImage(2, 0x01030000, "NEW", 9000, {}), kDownloadTime);
  sim->SendBlocks(MsgParaBlock, {blocks[0]}, MsgParaBlockAck, 1);
  sim->terminal->PowerCut();
  Device d;
  auto again = Restart(d);
  EXPECT_EQ(d, sim->terminal->device());
  EXPECT_FALSE(AreaIntact(d.para[2].primary));
  EXPECT_EQ(cuts, 0) << "the hook reports faults, not calls";
}

}  // namespace
}  // namespace tavro::sim::testing
