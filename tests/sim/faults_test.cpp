// Faults on request: silence, cut-off frames, dropped replies, and the text
// forms of every fault.

#include <gtest/gtest.h>

#include "sim_harness.hpp"

namespace tavro::sim::testing {
namespace {

using namespace link;
using ::testing::ElementsAre;

TEST(SilenceFault, ForSomeSecondsAfterTheNamedFrame) {
  Faults f;
  std::string error;
  ASSERT_TRUE(SetFault(f, "SilenceAfter", "12023#2, 10000", error));
  SimHarness sim(MakeDevice({}), TestBehaviour(), f);
  EXPECT_THAT(Ids(sim.Exchange(MsgLinkQuery)), ElementsAre(MsgLinkQueryReply));
  EXPECT_TRUE(sim.Exchange(MsgLinkQuery, {}, 1000).empty()) << "the second query hangs it";
  EXPECT_TRUE(sim.Exchange(MsgReadAppInfo, {}, 7000).empty());
  EXPECT_TRUE(sim.Exchange(MsgReadAppInfo, {}, 1000).empty()) << "still within 10 s";
  sim.Run(1000);
  EXPECT_THAT(Ids(sim.Exchange(MsgReadAppInfo)), ElementsAre(MsgAppInfo));
}

TEST(SilenceFault, ForGoodUntilPowerCycled) {
  Faults f;
  f.silenceAfter = {true, MsgConnect, 0};
  f.silenceMs = 0;
  SimHarness sim(MakeDevice({}), TestBehaviour(), f);
  EXPECT_TRUE(sim.Exchange(MsgConnect, {}, 1000).empty());
  EXPECT_TRUE(sim.Exchange(MsgLinkQuery, {}, 60000).empty());
  sim.terminal->PowerCut();
  sim.terminal->PowerUp();
  EXPECT_THAT(Ids(sim.Exchange(MsgLinkQuery)), ElementsAre(MsgLinkQueryReply));
}

TEST(RxTimeoutFault, BurstInsteadOfTheAnswer) {
  Faults f;
  std::string error;
  ASSERT_TRUE(SetFault(f, "RxTimeoutBurst", "12056#2, 3", error));
  SimHarness sim(MakeDevice({}), TestBehaviour(), f);
  sim.Exchange(MsgAppDownloadStart, U32Payload(sim.terminal->device().areas[kAppEntry].areaAddr),
               2000);
  const auto blocks = AppBlocks(MakeAppFile(0x02000000, "R", 9000), 0, kDownloadTime);
  sim.SendBlocks(MsgAppBlock, {blocks[0]}, MsgAppBlockAck, 1);
  EXPECT_THAT(Ids(sim.Exchange(MsgAppBlock, blocks[1])),
              ElementsAre(MsgRxTimeout, MsgRxTimeout, MsgRxTimeout));
  EXPECT_TRUE(sim.terminal->device().app.image.empty()) << "the block was not taken";
  sim.SendBlocks(MsgAppBlock, {blocks[1]}, MsgAppBlockAck, 1);
}

TEST(DropFault, LostAcknowledgementThenTheBlockAgain) {
  Faults f;
  f.dropReply = {true, MsgParaBlockAck, 2};
  SimHarness sim(MakeDevice({}), TestBehaviour(), f);
  sim.Exchange(MsgParaDownloadStart, {}, 2000);
  const auto blocks = ParaBlocks(sim.terminal->device().areas[0],
                                 MakeParaImage(0, 1, "X", 3 * 4096, {}), kDownloadTime);
  sim.SendBlocks(MsgParaBlock, {blocks[0]}, MsgParaBlockAck, 1);
  EXPECT_TRUE(sim.Exchange(MsgParaBlock, blocks[1]).empty());
  // The PC sends the block again: acknowledged, stored once.
  sim.SendBlocks(MsgParaBlock, {blocks[1], blocks[2], blocks[3]}, MsgParaBlockAck, 1);
  EXPECT_EQ(sim.terminal->device().para[0].primary.bytes.size(), 512 + 3 * 4096u);
  EXPECT_TRUE(AreaIntact(sim.terminal->device().para[0].primary));
}

TEST(DropFault, ARunOfFramesFromTheNth) {
  FrameCounter counter;
  std::string error;
  Faults f;
  ASSERT_TRUE(SetFault(f, "DropReply", "12020#2*3", error)) << error;
  std::vector<bool> matched;
  for (int i = 0; i < 6; ++i) {
    counter.Count(12020);
    counter.Count(12005);  // others do not count towards the run
    matched.push_back(counter.Matches(f.dropReply, 12020));
  }
  EXPECT_EQ(matched, (std::vector<bool>{false, true, true, true, false, false}));
}

TEST(FaultText, EveryFaultSurvivesItsTextForm) {
  const std::pair<const char*, const char*> entries[] = {
      {"SilenceAfter", "12056#3, 10000"},
      {"RxTimeoutBurst", "12071, 2"},
      {"AdapterRemoval", "#7"},
      {"CrcErrorReply", "12036"},
      {"DropReply", "12057#2*3"},
      {"RepeatReply", "12026#1"},
      {"GarbageAfter", "#3*2, 40"},
      {"RestartAfter", "12056#2"},
      {"PowerCutAtByte", "1234"},
      {"RefuseBlock", "0, 4, 5"},
      {"RepeatBlock", "12046, 1"},
      {"ParaDownloadErr", "1#2"},
      {"ParaIntegErr", "0"},
      {"ParaUploadErr", "1"},
      {"FlashReadErr", "2#1"},
      {"E2ReadErr", "0#3"},
      {"FlashWriteErr", "1"},
      {"DataBackupFails", "1"},
      {"GoBackResult", "0"},
      {"PowerCut", "para:3, 2"},
  };
  Faults f;
  std::string error;
  for (const auto& [key, value] : entries)
    ASSERT_TRUE(SetFault(f, key, value, error)) << error;
  const auto out = FaultEntries(f);
  ASSERT_EQ(out.size(), std::size(entries));
  for (std::size_t i = 0; i < out.size(); ++i) {
    EXPECT_EQ(out[i].first, entries[i].first);
    EXPECT_EQ(out[i].second, entries[i].second);
  }
}

TEST(RepeatReplyFault, TheSameReplyTwice) {
  Faults f;
  f.repeatReply = {true, MsgLinkQueryReply, 1};
  SimHarness sim(MakeDevice({}), TestBehaviour(), f);
  EXPECT_THAT(Ids(sim.Exchange(MsgLinkQuery)), ElementsAre(MsgLinkQueryReply, MsgLinkQueryReply));
  EXPECT_THAT(Ids(sim.Exchange(MsgLinkQuery)), ElementsAre(MsgLinkQueryReply));
}

TEST(RestartFault, NoAnswerThenTheAnnouncementAfterTheRestart) {
  Faults f;
  f.restartAfter = {true, MsgReadAppInfo, 1};
  Behaviour b = TestBehaviour();
  b.announceAtPowerUp = true;
  SimHarness sim(MakeDevice({}), b, f);
  sim.Run(100);
  const auto replies = sim.Exchange(MsgReadAppInfo, {}, b.restartMs + 500);
  EXPECT_THAT(Ids(replies), ElementsAre(MsgBlHello)) << "the answer is lost in the restart";
  // Once: the counts start again at power-up, and the first frame after it
  // is answered.
  EXPECT_THAT(Ids(sim.Exchange(MsgReadAppInfo, {}, b.restartMs + 500)), ElementsAre(MsgAppInfo));
}

TEST(PowerCutAtByteFault, TheFrameInFlightIsLostAndTheDeviceKept) {
  Faults f;
  f.powerCutAtByte = 5;
  SimHarness sim(MakeDevice({}), TestBehaviour(), f);
  const Device before = sim.terminal->device();
  int cuts = 0;
  sim.terminal->SetPowerCutHook([&cuts] { ++cuts; });
  EXPECT_TRUE(sim.Exchange(MsgLinkQuery).empty());
  EXPECT_EQ(cuts, 1);
  EXPECT_FALSE(sim.terminal->Powered());
  EXPECT_EQ(sim.terminal->device(), before);
  sim.terminal->PowerUp();
  EXPECT_THAT(Ids(sim.Exchange(MsgLinkQuery)), ElementsAre(MsgLinkQueryReply)) << "one cut only";
}

TEST(FaultText, UnreadableFaultsAreRefused) {
  const std::pair<const char*, const char*> bad[] = {
      {"SilenceAfter", "12056#3"},        {"SilenceAfter", "#0, 5"}, {"CrcErrorReply", ""},
      {"RefuseBlock", "12056, 70000, 1"}, {"FlashWriteErr", "2"},    {"PowerCut", "app:1, 3"},
      {"PowerCut", "para:9, 3"},          {"DataBackupFails", "2"},  {"Nonsense", "1"},
      {"CrcErrorReply", "12020#1*0"},     {"DropReply", "12020*2"},  {"DropReply", "12020#2*x"},
      {"GarbageAfter", "12026, 0"},       {"PowerCutAtByte", "0"},   {"RestartAfter", ""},
  };
  for (const auto& [key, value] : bad) {
    Faults f;
    std::string error;
    EXPECT_FALSE(SetFault(f, key, value, error)) << key << "=" << value;
    EXPECT_NE(error.find(key), std::string::npos) << error;
  }
}

TEST(BehaviourText, EverySettingSurvivesItsTextForm) {
  Behaviour b;
  std::string error;
  for (const auto& [key, value] :
       std::vector<std::pair<std::string, std::string>>{{"ReplyDelayMs", "7"},
                                                        {"ConnectReply", "hello"},
                                                        {"RamLoader", "e2check"},
                                                        {"AppStartStates", "hello"},
                                                        {"AppWriteStates", "3"},
                                                        {"RunResult", "2"},
                                                        {"BlUpgradeVersion", "0x0231"},
                                                        {"AnnounceAtPowerUp", "0"},
                                                        {"HelloWithoutAckMs", "1000"},
                                                        {"ClearMarkOnArrival", "1"}}) {
    ASSERT_TRUE(SetBehaviour(b, key, value, error)) << error;
  }
  Behaviour again;
  for (const auto& [key, value] : BehaviourEntries(b)) {
    ASSERT_TRUE(SetBehaviour(again, key, value, error)) << error;
  }
  EXPECT_EQ(BehaviourEntries(again), BehaviourEntries(b));
  EXPECT_EQ(again.replyDelayMs, 7u);
  EXPECT_EQ(again.ramLoader, RamLoaderKind::E2Check);
  EXPECT_EQ(again.runResult, 2);
  EXPECT_EQ(again.helloWithoutAckMs, 1000u);
  EXPECT_TRUE(again.clearMarkOnArrival);
  EXPECT_FALSE(SetBehaviour(b, "RunResult", "sometimes", error));
  EXPECT_FALSE(SetBehaviour(b, "AppWriteStates", "1,x", error));
}

}  // namespace
}  // namespace tavro::sim::testing
