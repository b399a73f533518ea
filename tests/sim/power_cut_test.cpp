// Power cuts in the middle of a transfer: the profile folder keeps what a
// terminal keeps, and the terminal powers up again from it.

#include <gtest/gtest.h>

#include "loop/virtual_loop.hpp"
#include "sim/sim_rig.hpp"
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
    EXPECT_TRUE(SaveProfile(dir->Path(), p, error)) << error;
    auto sim = std::make_unique<SimHarness>(device, TestBehaviour(), faults);
    sim->PersistTo(dir->Path());
    sim->terminal->SetPowerCutHook([this] { ++cuts; });
    return sim;
  }
  // The terminal after power-up from the folder; it announces itself.
  std::unique_ptr<SimHarness> Restart(Device& reloaded) {
    Profile p;
    std::string error;
    EXPECT_TRUE(LoadProfile(dir->Path(), p, error)) << error;
    reloaded = p.device;
    Behaviour b = TestBehaviour();
    b.announceAtPowerUp = true;
    return std::make_unique<SimHarness>(p.device, b);
  }

  // Each case of a group starts from a folder of its own.
  void FreshFolder() {
    dir = std::make_unique<test::TempDir>();
    cuts = 0;
  }

  std::unique_ptr<test::TempDir> dir = std::make_unique<test::TempDir>();
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

// The three moments of a cut around one block, for the transfers whose data
// the terminal keeps. Each case sends the blocks before the cut, then the
// block at the cut, and looks at what the PC got and what the folder holds.
class PowerCutMoments : public PowerCut {
 protected:
  Faults CutAt(const std::string& text) {
    Faults f;
    std::string error;
    EXPECT_TRUE(SetFault(f, "PowerCut", text, error)) << error;
    return f;
  }
  // Replies to the block at the cut (long enough for its ack to be due),
  // and the device as it powers up again from the folder.
  struct Outcome {
    std::vector<Reply> replies;
    Device stored;
  };
  Outcome Finish(SimHarness& sim, std::uint16_t msgId, const Bytes& block) {
    Outcome out;
    out.replies = sim.Exchange(msgId, block, 1000);
    EXPECT_EQ(cuts, 1);
    EXPECT_FALSE(sim.terminal->Powered());
    EXPECT_TRUE(sim.Exchange(MsgLinkQuery, {}, 1000).empty()) << "off after the cut";
    auto again = Restart(out.stored);
    EXPECT_THAT(Ids(again->Run()), ElementsAre(MsgBlHello)) << "comes up from the folder";
    EXPECT_EQ(again->terminal->device(), out.stored);
    return out;
  }

  // Area 0 of a Flash terminal, cut at its last block (2 of 0..2).
  Outcome ParaLastBlock(const std::string& moment) {
    const Device original = MakeDevice({});
    auto sim = Start(original, CutAt("para:0, 2" + moment));
    sim->Exchange(MsgParaDownloadStart, {}, 2000);
    paraImage = MakeParaImage(0, 0x01030000, "NEW", 5000, {});
    const auto blocks = ParaBlocks(original.areas[0], paraImage, kDownloadTime);
    EXPECT_EQ(blocks.size(), 3u);
    sim->SendBlocks(MsgParaBlock, {blocks[0], blocks[1]}, MsgParaBlockAck, 1);
    return Finish(*sim, MsgParaBlock, blocks[2]);
  }
  // The E2PROM of an E2PROM terminal, cut at its last block (15 of 0..15).
  Outcome E2LastBlock(const std::string& moment) {
    const Device original = MakeDevice({.blVersion = 0x0230});
    auto sim = Start(original, CutAt("e2, 15" + moment));
    e2Image = MakeE2Image(0x01060000, "NEW", kDownloadTime);
    const auto blocks = AddressedBlocks(0, e2Image, OddChunk::SendAsIs);
    EXPECT_EQ(blocks.size(), 16u);
    sim->SendBlocks(MsgE2WriteBlock, std::vector<Bytes>(blocks.begin(), blocks.end() - 1),
                    MsgE2WriteAck, 1);
    return Finish(*sim, MsgE2WriteBlock, blocks.back());
  }
  // An App download cut at image block 3 (of 1..5).
  Outcome AppBlock3(const std::string& moment) {
    const Device original = MakeDevice({});
    auto sim = Start(original, CutAt("app, 3" + moment));
    sim->Exchange(MsgAppDownloadStart, U32Payload(original.areas[kAppEntry].areaAddr), 2000);
    appFile = MakeAppFile(0x02000000, "NEW", 5 * 4096);
    const auto blocks = AppBlocks(appFile, 0, kDownloadTime);
    sim->SendBlocks(MsgAppBlock, {blocks[0], blocks[1], blocks[2]}, MsgAppBlockAck, 1);
    return Finish(*sim, MsgAppBlock, blocks[3]);
  }

  Bytes paraImage;
  Bytes e2Image;
  Bytes appFile;
};

TEST_F(PowerCutMoments, ParameterAreaLastBlock) {
  {
    SCOPED_TRACE("on arrival");
    const Outcome o = ParaLastBlock("");
    EXPECT_TRUE(o.replies.empty());
    EXPECT_FALSE(AreaIntact(o.stored.para[0].primary));
    EXPECT_EQ(o.stored.para[0].primary.bytes.size(), 512 + 4096u) << "last block not stored";
  }
  for (const char* moment : {", AfterStore", ", AfterAck"}) {
    SCOPED_TRACE(moment);
    FreshFolder();
    const Outcome o = ParaLastBlock(moment);
    const bool acked = std::string(moment) == ", AfterAck";
    if (acked) {
      ASSERT_THAT(Ids(o.replies), ElementsAre(MsgParaBlockAck));
      EXPECT_EQ(o.replies[0].Status(), 1);
    } else {
      EXPECT_TRUE(o.replies.empty()) << "no ack after the store";
    }
    // Complete: the integrity word is set as after every last block.
    const Bytes& area = o.stored.para[0].primary.bytes;
    EXPECT_TRUE(AreaIntact(o.stored.para[0].primary));
    ASSERT_EQ(area.size(), paraImage.size());
    EXPECT_TRUE(std::equal(area.begin() + 512, area.end(), paraImage.begin() + 512));
  }
}

TEST_F(PowerCutMoments, E2promLastBlock) {
  {
    SCOPED_TRACE("on arrival");
    const Outcome o = E2LastBlock("");
    EXPECT_TRUE(o.replies.empty());
    EXPECT_FALSE(E2Intact(o.stored.e2prom));
    EXPECT_FALSE(std::equal(e2Image.begin() + 15 * 4096, e2Image.end(),
                            o.stored.e2prom.begin() + 15 * 4096));
  }
  for (const char* moment : {", AfterStore", ", AfterAck"}) {
    SCOPED_TRACE(moment);
    FreshFolder();
    const Outcome o = E2LastBlock(moment);
    if (std::string(moment) == ", AfterAck") {
      ASSERT_THAT(Ids(o.replies), ElementsAre(MsgE2WriteAck));
      EXPECT_EQ(o.replies[0].Status(), 1);
    } else {
      EXPECT_TRUE(o.replies.empty());
    }
    EXPECT_TRUE(E2Intact(o.stored.e2prom)) << "the last block sets the header word";
    EXPECT_EQ(o.stored.e2prom, e2Image);
  }
}

TEST_F(PowerCutMoments, AppBlockInTheMiddle) {
  const std::pair<const char*, std::size_t> cases[] = {
      {"", 2 * 4096}, {", AfterStore", 3 * 4096}, {", AfterAck", 3 * 4096}};
  for (const auto& [moment, kept] : cases) {
    SCOPED_TRACE(std::string("moment") + moment);
    FreshFolder();
    const Outcome o = AppBlock3(moment);
    if (std::string(moment) == ", AfterAck") {
      ASSERT_THAT(Ids(o.replies), ElementsAre(MsgAppBlockAck));
      EXPECT_EQ(o.replies[0].Status(), 1);
    } else {
      EXPECT_TRUE(o.replies.empty());
    }
    EXPECT_FALSE(o.stored.app.present);
    ASSERT_EQ(o.stored.app.image.size(), kept);
    EXPECT_TRUE(std::equal(o.stored.app.image.begin(), o.stored.app.image.end(), appFile.begin()));
  }
}

TEST_F(PowerCutMoments, AfterStoreWaitsForABlockTheTerminalTakes) {
  // Block 2 is refused once first: the cut comes with the block that is stored.
  Faults f = CutAt("para:0, 2, AfterStore");
  std::string error;
  ASSERT_TRUE(SetFault(f, "RefuseBlock", "0, 2, 1", error)) << error;
  const Device original = MakeDevice({});
  auto sim = Start(original, f);
  sim->Exchange(MsgParaDownloadStart, {}, 2000);
  const Bytes image = MakeParaImage(0, 0x01030000, "NEW", 5000, {});
  const auto blocks = ParaBlocks(original.areas[0], image, kDownloadTime);
  sim->SendBlocks(MsgParaBlock, {blocks[0], blocks[1]}, MsgParaBlockAck, 1);
  sim->SendBlocks(MsgParaBlock, {blocks[2]}, MsgParaBlockAck, 0);
  EXPECT_EQ(cuts, 0);
  EXPECT_TRUE(sim->Exchange(MsgParaBlock, blocks[2], 1000).empty());
  EXPECT_EQ(cuts, 1);
  EXPECT_TRUE(AreaIntact(sim->terminal->device().para[0].primary));
}

TEST_F(PowerCutMoments, AckOfTheCutReachesThePcOverTheWire) {
  // The ack is on the line when the power goes; its bytes still arrive whole.
  loop::VirtualLoop loop;
  const Device original = MakeDevice({.blVersion = 0x0230});
  SimRig rig(loop, original, TestBehaviour(), CutAt("e2, 0, AfterAck"));
  rig.terminal().SetPowerCutHook([this] { ++cuts; });
  Bytes received;
  rig.wire().SetByteHandler([&](std::uint8_t b) { received.push_back(b); });
  ASSERT_TRUE(rig.wire().Open(1, {}) && rig.wire().StartWorker());
  const Bytes image = MakeE2Image(0x01060000, "NEW", kDownloadTime);
  rig.wire().WriteFrame(
      BuildFrame(MsgE2WriteBlock, AddressedBlocks(0, image, OddChunk::SendAsIs)[0]));
  ASSERT_TRUE(loop.RunUntil([&] { return cuts == 1; }, 2000));
  EXPECT_FALSE(rig.terminal().Powered());
  EXPECT_TRUE(received.empty()) << "still on the line when the power goes";
  loop.RunUntil([] { return false; }, 100);
  EXPECT_EQ(FrameMsgId(received), MsgE2WriteAck);
  EXPECT_EQ(CheckReceivedCrc(received), CrcCheck::kGood);
  EXPECT_EQ(ReadU16(received, kPayloadOffset), std::optional<std::uint16_t>(1));
  EXPECT_TRUE(std::equal(image.begin() + 2, image.begin() + 4096,
                         rig.terminal().device().e2prom.begin() + 2));
}

TEST(PowerCutText, MomentIsAnOptionalThirdItem) {
  const std::pair<const char*, const char*> texts[] = {
      {"Para:2, 5, AfterStore", "para:2, 5, AfterStore"},
      {"App, 3, AfterAck", "app, 3, AfterAck"},
      {"e2copy, 1, afterack", "e2copy, 1, AfterAck"},
      {"E2, 0", "e2, 0"},
      {"marker, 0, OnArrival", "marker, 0"},
  };
  const PowerCutMoment moments[] = {PowerCutMoment::kAfterStore, PowerCutMoment::kAfterAck,
                                    PowerCutMoment::kAfterAck, PowerCutMoment::kOnArrival,
                                    PowerCutMoment::kOnArrival};
  for (std::size_t i = 0; i < std::size(texts); ++i) {
    const auto& [text, canonical] = texts[i];
    Faults f;
    std::string error;
    ASSERT_TRUE(SetFault(f, "PowerCut", text, error)) << text << ": " << error;
    EXPECT_EQ(f.powerCutAt, moments[i]) << text;
    const auto entries = FaultEntries(f);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].second, canonical);
    Faults again;
    ASSERT_TRUE(SetFault(again, "PowerCut", entries[0].second, error)) << error;
    EXPECT_EQ(again.powerCut, f.powerCut);
    EXPECT_EQ(again.powerCutArea, f.powerCutArea);
    EXPECT_EQ(again.powerCutBlock, f.powerCutBlock);
    EXPECT_EQ(again.powerCutAt, f.powerCutAt);
  }
}

TEST(PowerCutText, BadMomentIsRefused) {
  for (const char* text : {"para:2, 5, Later", "app, 3, ", "app, 3, AfterAck, 1", "app, 3, 1"}) {
    Faults f;
    std::string error;
    EXPECT_FALSE(SetFault(f, "PowerCut", text, error)) << text;
    EXPECT_NE(error.find("PowerCut"), std::string::npos) << error;
    EXPECT_EQ(f.powerCut, TransferKind::None) << text;
    EXPECT_TRUE(FaultEntries(f).empty()) << text;
  }
}

}  // namespace
}  // namespace tavro::sim::testing
