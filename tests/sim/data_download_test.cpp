// Parameter data downloads: Flash areas, E2PROM, and the addressed Flash
// writes (marker, resources, E2PROM copy).

#include <gtest/gtest.h>

#include "sim_harness.hpp"

namespace tavro::sim::testing {
namespace {

using namespace link;
using ::testing::ElementsAre;

Bytes NewAreaImage(std::size_t index, std::size_t dataSize) {
  Bytes image = MakeParaImage(index, 0x01030000, "NEW", dataSize, {});
  PutU16(image.data(), 0xFFFF);  // as the PC keeps its images
  return image;
}

std::vector<std::uint16_t> States(const std::vector<Reply>& replies) {
  std::vector<std::uint16_t> out;
  for (const Reply& r : replies) {
    EXPECT_EQ(r.msgId, MsgParaDownloadState);
    out.push_back(r.Status());
  }
  return out;
}

TEST(ParaDownload, AreasOneAfterTheOther) {
  SimHarness sim;
  const Device before = sim.terminal->device();
  // The first start: the terminal secures its data into the second copies.
  EXPECT_THAT(States(sim.Exchange(MsgParaDownloadStart, {}, 2000)), ElementsAre(1, 2));
  for (std::size_t i = 0; i < 2; ++i) {
    if (i > 0) {
      EXPECT_THAT(States(sim.Exchange(MsgParaDownloadStart)), ElementsAre(3));
    }
    const Bytes image = NewAreaImage(i, 2 * 4096 + 100);
    const auto blocks = ParaBlocks(before.areas[i], image, kDownloadTime);
    ASSERT_EQ(blocks.size(), 4u);
    sim.SendBlocks(MsgParaBlock, {blocks[0], blocks[1]}, MsgParaBlockAck, 1);
    // Half-way: the area reads as not intact, its header as the download stamped it.
    const Bytes& area = sim.terminal->device().para[i].primary.bytes;
    EXPECT_EQ(GetU16(area.data()), 0xFFFF);
    EXPECT_EQ(GetU16(area.data() + 56), kDownloadTime.year);
    EXPECT_EQ(area[62], kDownloadTime.second);
    EXPECT_FALSE(sim.terminal->device().ParaDataIntact());
    sim.SendBlocks(MsgParaBlock, {blocks[2], blocks[3]}, MsgParaBlockAck, 1);
    Bytes expected = *ParaHeaderChunk(image, kDownloadTime);
    expected.insert(expected.end(), image.begin() + 512, image.end());
    PutU16(expected.data(), kAreaIntact);
    EXPECT_EQ(sim.terminal->device().para[i].primary.bytes, expected);
    EXPECT_EQ(sim.terminal->device().para[i].copy.bytes, before.para[i].primary.bytes)
        << "the second copy keeps the old data";
  }
  EXPECT_TRUE(sim.terminal->device().ParaDataIntact());
}

TEST(ParaDownload, HeaderOnlyImage) {
  SimHarness sim;
  sim.Exchange(MsgParaDownloadStart, {}, 2000);
  const auto blocks = ParaBlocks(sim.terminal->device().areas[4], NewAreaImage(4, 0), {});
  ASSERT_EQ(blocks.size(), 1u);
  sim.SendBlocks(MsgParaBlock, blocks, MsgParaBlockAck, 1);
  EXPECT_TRUE(AreaIntact(sim.terminal->device().para[4].primary));
  EXPECT_EQ(sim.terminal->device().para[4].primary.bytes.size(), 512u);
}

TEST(ParaDownload, DamagedDataIsNotBackedUp) {
  Device device = MakeDevice({});
  device.para[3].primary.bytes.resize(700);
  PutU16(device.para[3].primary.bytes.data(), 0xFFFF);
  SimHarness sim(device);
  EXPECT_THAT(States(sim.Exchange(MsgParaDownloadStart, {}, 2000)), ElementsAre(0));
  EXPECT_EQ(sim.terminal->device().para[3].copy.bytes.size(), 512 + DefaultParaDataSize(3));
}

TEST(ParaDownload, ConfiguredStatesAndHello) {
  Behaviour b = TestBehaviour();
  ASSERT_TRUE(ParseStateList("1, 2, 5", b.paraStartStates));
  SimHarness sim(MakeDevice({}), b);
  EXPECT_THAT(States(sim.Exchange(MsgParaDownloadStart, {}, 4000)), ElementsAre(1, 2, 5));
  EXPECT_THAT(States(sim.Exchange(MsgParaDownloadStart, {}, 4000)), ElementsAre(1, 2, 5));
  ASSERT_TRUE(ParseStateList("hello", sim.terminal->behaviour().paraStartStates));
  EXPECT_THAT(Ids(sim.Exchange(MsgParaDownloadStart)), ElementsAre(MsgHello));
}

TEST(ParaDownload, ErrorReplies) {
  SimHarness sim;
  const Device& d = sim.terminal->device();
  sim.Exchange(MsgParaDownloadStart, {}, 2000);
  const Bytes image = NewAreaImage(0, 100);
  auto status = [&](const Bytes& payload) {
    const auto replies = sim.Exchange(MsgParaBlock, payload);
    EXPECT_THAT(Ids(replies), ElementsAre(MsgParaDownloadErr));
    return replies.empty() ? 0xEEEE : replies[0].Status();
  };
  const Bytes header = *ParaHeaderChunk(image, {});
  EXPECT_EQ(status(AreaBlockPayload(0x1000, d.areas[0].areaLen, 2, 0, header)), 0);
  EXPECT_EQ(status(AreaBlockPayload(d.areas[0].areaAddr, 0x99, 2, 0, header)), 1);
  // A header announcing more data than the area holds.
  Bytes big = header;
  PutU32(big.data() + 2, kParaAreaCapacity);
  EXPECT_EQ(status(AreaBlockPayload(d.areas[0].areaAddr, d.areas[0].areaLen, 17, 0, big)), 1);
  // A header block that is not 512 bytes.
  EXPECT_EQ(status(AreaBlockPayload(d.areas[0].areaAddr, d.areas[0].areaLen, 2, 0,
                                    ByteView(header).first(500))),
            1);
  EXPECT_TRUE(AreaIntact(d.para[0].primary)) << "nothing written";

  SimHarness e2(MakeDevice({.blVersion = 0x0230}));
  const auto replies = e2.Exchange(MsgParaDownloadStart);
  ASSERT_THAT(Ids(replies), ElementsAre(MsgParaDownloadErr));
  EXPECT_EQ(replies[0].Status(), 0);

  Faults f;
  f.paraDownloadErr = {true, 1, 2};
  SimHarness faulty(MakeDevice({}), TestBehaviour(), f);
  faulty.Exchange(MsgParaDownloadStart, {}, 2000);
  EXPECT_THAT(Ids(faulty.Exchange(MsgParaDownloadStart)), ElementsAre(MsgParaDownloadErr));
}

Device E2Device() {
  return MakeDevice({.blVersion = 0x0232});
}

TEST(E2Write, WholeImageIntactOnlyAfterTheLastBlock) {
  SimHarness sim(E2Device());
  Bytes image = MakeE2Image(0x01050000, "NEW", kDownloadTime);
  PutU16(image.data(), 0xFFFF);
  const auto blocks = AddressedBlocks(0, image, OddChunk::SendAsIs);
  ASSERT_EQ(blocks.size(), 16u);
  sim.SendBlocks(MsgE2WriteBlock, std::vector<Bytes>(blocks.begin(), blocks.begin() + 8),
                 MsgE2WriteAck, 1);
  EXPECT_FALSE(E2Intact(sim.terminal->device().e2prom));
  EXPECT_EQ(GetU32(sim.terminal->device().e2prom.data() + 6), 0x01050000u);
  sim.SendBlocks(MsgE2WriteBlock, std::vector<Bytes>(blocks.begin() + 8, blocks.end()),
                 MsgE2WriteAck, 1);
  EXPECT_TRUE(E2Intact(sim.terminal->device().e2prom));
  EXPECT_TRUE(
      std::equal(image.begin() + 2, image.end(), sim.terminal->device().e2prom.begin() + 2));
}

TEST(E2Write, OddBlockAndBlocksOutsideTheE2prom) {
  SimHarness sim(E2Device());
  const Bytes odd(4096 + 3, 0x42);
  sim.SendBlocks(MsgE2WriteBlock, AddressedBlocks(0x100, odd, OddChunk::SendAsIs), MsgE2WriteAck,
                 1);
  EXPECT_EQ(sim.terminal->device().e2prom[0x100 + 4096 + 2], 0x42);
  EXPECT_EQ(sim.terminal->device().e2prom[0x100 + 4096 + 3],
            MakeDevice({.blVersion = 0x0232}).e2prom[0x100 + 4096 + 3]);
  sim.SendBlocks(MsgE2WriteBlock, AddressedBlocks(0xFF00, Bytes(0x200, 1), OddChunk::SendAsIs),
                 MsgE2WriteAck, 0);
  SimHarness flash;
  sim.SendBlocks(MsgE2WriteBlock, {AddressedBlocks(0, Bytes(10, 1), OddChunk::SendAsIs)[0]},
                 MsgE2WriteAck, 1);
  flash.SendBlocks(MsgE2WriteBlock, {AddressedBlocks(0, Bytes(10, 1), OddChunk::SendAsIs)[0]},
                   MsgE2WriteAck, 0);
}

TEST(FlashWrite, MarkerResourcesAndE2promCopy) {
  SimHarness sim(E2Device());
  const Device& d = sim.terminal->device();
  sim.SendBlocks(MsgFlashWriteBlock,
                 AddressedBlocks(kFlashMarkerAddress, FlashMarkerImage(), OddChunk::PadToEven),
                 MsgFlashWriteAck, 3);
  EXPECT_EQ(d.marker.bytes, FlashMarkerImage());

  const Bytes resource(2 * 4096 + 5, 0x77);  // odd: padded on the line
  sim.SendBlocks(MsgFlashWriteBlock,
                 AddressedBlocks(d.resource.address, resource, OddChunk::PadToEven),
                 MsgFlashWriteAck, 3);
  EXPECT_EQ(d.resource.bytes, resource);

  Bytes copy = MakeE2Image(0x01050000, "NEW", kDownloadTime);
  PutU16(copy.data(), kE2CopyValid);
  const auto blocks = AddressedBlocks(d.e2Copy.address, copy, OddChunk::PadToEven);
  sim.SendBlocks(MsgFlashWriteBlock, {blocks[0]}, MsgFlashWriteAck, 3);
  EXPECT_EQ(GetU16(d.e2Copy.bytes.data()), 0xFFFF) << "no valid mark while incomplete";
  sim.SendBlocks(MsgFlashWriteBlock, std::vector<Bytes>(blocks.begin() + 1, blocks.end()),
                 MsgFlashWriteAck, 3);
  EXPECT_EQ(d.e2Copy.bytes, copy);
}

TEST(FlashWrite, AddressLengthAndRefusals) {
  Faults f;
  std::string error;
  ASSERT_TRUE(SetFault(f, "RefuseBlock", "12110, 1, 1", error));
  SimHarness sim(MakeDevice({}), TestBehaviour(), f);
  sim.SendBlocks(MsgFlashWriteBlock, AddressedBlocks(0x1234, Bytes(8, 1), OddChunk::PadToEven),
                 MsgFlashWriteAck, 0);
  // The marker area is a few kilobytes: a larger image does not fit.
  const auto tooLong =
      AddressedBlocks(kFlashMarkerAddress, Bytes(2 * 4096, 1), OddChunk::PadToEven);
  sim.SendBlocks(MsgFlashWriteBlock, {tooLong[0]}, MsgFlashWriteAck, 3);
  sim.SendBlocks(MsgFlashWriteBlock, {tooLong[1]}, MsgFlashWriteAck, 2);  // refused once
  sim.SendBlocks(MsgFlashWriteBlock, {tooLong[1]}, MsgFlashWriteAck, 1);

  Faults w;
  ASSERT_TRUE(SetFault(w, "FlashWriteErr", "0#2", error));
  SimHarness writer(MakeDevice({}), TestBehaviour(), w);
  const auto marker = AddressedBlocks(kFlashMarkerAddress, FlashMarkerImage(), OddChunk::PadToEven);
  writer.SendBlocks(MsgFlashWriteBlock, marker, MsgFlashWriteAck, 3);
  writer.SendBlocks(MsgFlashWriteBlock, marker, MsgFlashWriteAck, 0);
  writer.SendBlocks(MsgFlashWriteBlock, marker, MsgFlashWriteAck, 3);
}

}  // namespace
}  // namespace tavro::sim::testing
