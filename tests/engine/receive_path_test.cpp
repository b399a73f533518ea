// The received byte stream: frame hunting, CRC errors and their resends, the
// hello and text handlers, the text echo and the run-log trace.

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "app/window_fixture.hpp"
#include "engine/receive_path.hpp"
#include "engine/stage_control.hpp"

namespace tavro::engine {
namespace {

using link::Bytes;

constexpr std::uint16_t kProbeId = link::MsgAppBlockAck;  // no row of its own yet

class ReceivePath : public test::WindowFixture {
 protected:
  void SetUp() override {
    WindowFixture::SetUp();
    ctx().handlers.onMessage[kProbeId] = [this](link::ByteView p) {
      probed.emplace_back(p.begin(), p.end());
    };
  }

  // A command running with the link up, started as the operations start it.
  void Run(std::uint32_t cmd) {
    ctx().operations.Install(std::make_shared<test::RunningOperation>());
    link().LinkUp = 1;
    link().CmdID = cmd;
    StartCommand(ctx());
  }
  // Registers a block sender for `cmd` that counts its calls.
  int& CountBlockSends(std::uint32_t cmd) {
    int& n = blockSends[cmd];
    ctx().handlers.blockSender[cmd] = [&n] { ++n; };
    return n;
  }

  std::vector<Bytes> probed;
  std::map<std::uint32_t, int> blockSends;
};

// ---- frame hunting ----------------------------------------------------------

TEST_F(ReceivePath, LoneSyncByteBeforeAFrameIsDroppedWithTheByteAfterIt) {
  Bytes stream = {0x5F, 0x41};
  const Bytes frame = link::BuildTerminalFrame(kProbeId, Bytes{1, 2});
  stream.insert(stream.end(), frame.begin(), frame.end());
  Deliver(stream);
  ASSERT_EQ(probed.size(), 1u);
  EXPECT_EQ(probed[0], (Bytes{1, 2}));
}

// The worker hands over what one read returned. When a frame's handler sends
// the next command, the bytes behind that frame in the same run belong to
// the exchange that ended and must never reach the assembler.
TEST_F(ReceivePath, BytesBehindAFrameWhoseHandlerSendsAreDroppedWithTheirRun) {
  ctx().handlers.onMessage[kProbeId] = [this](link::ByteView p) {
    probed.emplace_back(p.begin(), p.end());
    serial.WriteFrame(link::BuildFrame(link::MsgLinkQuery, {}));
  };
  Bytes run = link::BuildTerminalFrame(kProbeId, Bytes{1});
  const Bytes stale = link::BuildTerminalFrame(kProbeId, Bytes{2});
  run.insert(run.end(), stale.begin(), stale.end());
  run.insert(run.end(), stale.begin(), stale.begin() + 5);
  EXPECT_EQ(serial.Deliver(run), run.size() - stale.size() - 5);
  EXPECT_EQ(ctx().rx.StoredCount(), 0u);
  DeliverFrame(kProbeId, {3});
  ASSERT_EQ(probed.size(), 2u);
  EXPECT_EQ(probed[0], (Bytes{1}));
  EXPECT_EQ(probed[1], (Bytes{3}));
}

TEST_F(ReceivePath, ShortLengthIsAbandonedAtItsFourthByte) {
  Deliver({0x5F, 0x5F, 0x09});
  EXPECT_EQ(ctx().rx.StoredCount(), 3u);
  Deliver({0x00});
  EXPECT_EQ(ctx().rx.StoredCount(), 0u);
  EXPECT_EQ(ctx().rx.SyncState(), link::FrameAssembler::kHunting);
  DeliverFrame(kProbeId, {7});
  ASSERT_EQ(probed.size(), 1u);
  EXPECT_EQ(probed[0], (Bytes{7}));
}

TEST_F(ReceivePath, ThirdSyncByteIsTheLowByteOfLength) {
  // Length 12 + 83 = 0x5F: the frame itself begins 5F 5F 5F.
  const Bytes payload(83, 0x33);
  const Bytes frame = link::BuildTerminalFrame(kProbeId, payload);
  ASSERT_EQ(frame[2], 0x5F);
  Deliver(Bytes(frame.begin(), frame.begin() + 3));
  EXPECT_EQ(ctx().rx.SyncState(), link::FrameAssembler::kInFrame);
  EXPECT_EQ(ctx().rx.StoredCount(), 3u);
  Deliver(Bytes(frame.begin() + 3, frame.end()));
  ASSERT_EQ(probed.size(), 1u);
  EXPECT_EQ(probed[0], payload);
}

TEST_F(ReceivePath, DataLenBeyondTheFrameIsACrcError) {
  Run(link::MsgReadAppInfo);
  for (std::uint16_t dataLen : {std::uint16_t{7}, std::uint16_t{200}, std::uint16_t{0xFFFF}}) {
    Bytes frame = link::BuildTerminalFrame(kProbeId, Bytes{1, 2, 3, 4});
    link::PutU16(frame.data() + 12, dataLen);
    Deliver(frame);
    EXPECT_TRUE(probed.empty()) << dataLen;
  }
  EXPECT_EQ(serial.CountWritten(link::MsgReadAppInfo), 3u);  // first send + two resends
  ASSERT_EQ(BoxTexts(), (std::vector<std::string>{"CRC" + Text("Run_ErrNumOver")}));
}

// ---- receive time-outs of the terminal ---------------------------------------

TEST_F(ReceivePath, ThirdRxTimeoutInARowEndsTheCommandTheFirstTwoResend) {
  int& sends = CountBlockSends(link::MsgAppDownloadStart);
  OpenRunLog(1);
  Run(link::MsgAppDownloadStart);
  link().buffers.sendImage.assign(4096, 0x11);
  DeliverFrame(link::MsgRxTimeout);
  DeliverFrame(link::MsgRxTimeout);
  EXPECT_EQ(sends, 2);
  EXPECT_EQ(link().Rx12007Run, 2u);
  EXPECT_FALSE(link().buffers.sendImage.empty());
  EXPECT_TRUE(screen.boxes().empty());
  EXPECT_FALSE(Control(platform::kDeviceInfoButton).enabled);

  const std::string before = Info();
  DeliverFrame(link::MsgRxTimeout);
  EXPECT_EQ(sends, 2);
  EXPECT_EQ(link().Rx12007Run, 3u);
  EXPECT_EQ(Info(), before + "\r\n" + Text("Run_ConnectOverTime"));
  ASSERT_EQ(BoxTexts(), (std::vector<std::string>{Text("Run_ConnectOverTime")}));
  EXPECT_EQ(screen.boxes()[0].kind, platform::kBoxError);
  EXPECT_TRUE(Control(platform::kDeviceInfoButton).enabled);
  EXPECT_TRUE(link().buffers.sendImage.empty());
  EXPECT_NE(RunLogText().find("\r\n\r\nBL rec overtime End\r\ncmd=12055\r\n"), std::string::npos)
      << RunLogText();
}

TEST_F(ReceivePath, AnyOtherGoodFrameOrANewCommandResetsTheRxTimeoutRun) {
  int& sends = CountBlockSends(link::MsgAppDownloadStart);
  Run(link::MsgAppDownloadStart);
  DeliverFrame(link::MsgRxTimeout);
  DeliverFrame(link::MsgRxTimeout);
  DeliverFrame(kProbeId);
  EXPECT_EQ(link().Rx12007Run, 0u);
  DeliverFrame(link::MsgRxTimeout);
  DeliverFrame(link::MsgRxTimeout);
  EXPECT_EQ(link().Rx12007Run, 2u);
  StartCommand(ctx());
  EXPECT_EQ(link().Rx12007Run, 0u);
  DeliverFrame(link::MsgRxTimeout);
  EXPECT_EQ(sends, 5);
  EXPECT_TRUE(screen.boxes().empty());
}

TEST_F(ReceivePath, RxTimeoutOfACommandWithoutBlocksSendsNothing) {
  Run(link::MsgReadAppInfo);
  serial.ClearWritten();
  DeliverFrame(link::MsgRxTimeout);
  EXPECT_TRUE(serial.written().empty());
}

// ---- CRC errors --------------------------------------------------------------

TEST_F(ReceivePath, CrcErrorsResendTwiceThenEndTheOperation) {
  Run(link::MsgReadAppInfo);
  link().gOverTimeNum = 5;
  Deliver(BadCrcFrame(kProbeId));
  EXPECT_EQ(link().gOverTimeNum, 0u);  // still a sign of life
  EXPECT_EQ(link().CrcErrNum, 1u);
  EXPECT_EQ(serial.CountWritten(link::MsgReadAppInfo), 2u);
  Deliver(BadCrcFrame(kProbeId));
  EXPECT_EQ(link().CrcErrNum, 2u);
  EXPECT_EQ(serial.CountWritten(link::MsgReadAppInfo), 3u);
  EXPECT_TRUE(screen.boxes().empty());

  Deliver(BadCrcFrame(kProbeId));
  EXPECT_EQ(serial.CountWritten(link::MsgReadAppInfo), 3u);
  EXPECT_EQ(link().CrcErrNum, 0u);
  ASSERT_EQ(BoxTexts(), (std::vector<std::string>{"CRC" + Text("Run_ErrNumOver")}));
  EXPECT_TRUE(Control(platform::kDeviceInfoButton).enabled);
  EXPECT_FALSE(loop.TimerRunning(kTimerAnswer));
  EXPECT_TRUE(probed.empty());
}

TEST_F(ReceivePath, GoodFrameBetweenCrcErrorsStartsTheCountAgain) {
  Run(link::MsgReadAppInfo);
  Deliver(BadCrcFrame(kProbeId));
  Deliver(BadCrcFrame(kProbeId));
  DeliverFrame(kProbeId);
  EXPECT_EQ(link().CrcErrNum, 0u);
  Deliver(BadCrcFrame(kProbeId));
  Deliver(BadCrcFrame(kProbeId));
  EXPECT_TRUE(screen.boxes().empty());
  EXPECT_EQ(link().CrcErrNum, 2u);
}

TEST_F(ReceivePath, WrongAddressWordsAreDroppedWithoutTouchingTheCounters) {
  Run(link::MsgReadAppInfo);
  Deliver(BadCrcFrame(kProbeId));
  ASSERT_EQ(link().CrcErrNum, 1u);
  link().gOverTimeNum = 4;
  // A frame as the PC sends it: the address words the other way round.
  Deliver(link::BuildFrame(kProbeId, Bytes{1}));
  Bytes badAndMisaddressed = link::BuildFrame(kProbeId, Bytes{1});
  badAndMisaddressed[link::kPayloadOffset + 1] ^= 0xFF;
  Deliver(badAndMisaddressed);
  EXPECT_TRUE(probed.empty());
  EXPECT_EQ(link().CrcErrNum, 1u);
  EXPECT_EQ(link().gOverTimeNum, 4u);
  EXPECT_EQ(serial.CountWritten(link::MsgReadAppInfo), 2u);
}

// ---- hello -------------------------------------------------------------------

TEST_F(ReceivePath, HelloBeforeIdentificationStartsTheLinkQueryAfter50ms) {
  ctx().device.BlAnnounced = true;  // the announcement of this exchange came
  link().PollCount = 9;
  link().CmdID = link::MsgConnect;
  const std::uint64_t before = loop.NowMs();
  DeliverFrame(link::MsgHello);
  EXPECT_EQ(loop.NowMs(), before + 50);
  EXPECT_EQ(link().LinkUp, 1u);
  EXPECT_EQ(link().PollCount, 0u);
  EXPECT_EQ(link().CmdID, link::MsgLinkQuery);
  EXPECT_EQ(serial.WrittenIds(), (std::vector<std::uint16_t>{link::MsgLinkQuery}));
  EXPECT_TRUE(loop.TimerRunning(kTimerLinkPoll));
}

TEST_F(ReceivePath, HelloWhileIdentifiedResendsAndLeavesOneCrcErrorCounted) {
  Run(link::MsgReadAppInfo);
  link().DevIdentified = 1;
  DeliverFrame(link::MsgHello);
  EXPECT_EQ(serial.CountWritten(link::MsgReadAppInfo), 2u);
  EXPECT_EQ(link().CrcErrNum, 1u);
  DeliverFrame(link::MsgHello);
  DeliverFrame(link::MsgHello);
  EXPECT_EQ(serial.CountWritten(link::MsgReadAppInfo), 4u);
  EXPECT_EQ(link().CrcErrNum, 1u);
  EXPECT_TRUE(screen.boxes().empty());
  // From 1, two CRC errors in a row end the operation.
  Deliver(BadCrcFrame(kProbeId));
  EXPECT_TRUE(screen.boxes().empty());
  Deliver(BadCrcFrame(kProbeId));
  ASSERT_EQ(BoxTexts(), (std::vector<std::string>{"CRC" + Text("Run_ErrNumOver")}));
}

TEST_F(ReceivePath, HelloWhileIdentifiedResendsTheCurrentBlockOfABlockCommand) {
  int sentFirst = 0;
  ctx().handlers.sendFirst[link::CmdAppSending] = [&] { ++sentFirst; };
  for (std::uint32_t cmd : {link::MsgAppDownloadStart, link::MsgRamBlock,
                            link::MsgParaDownloadStart, link::CmdAppSending}) {
    CountBlockSends(cmd);
  }
  ctx().operations.Install(std::make_shared<test::RunningOperation>());
  link().LinkUp = 1;
  link().DevIdentified = 1;
  for (std::uint32_t cmd :
       {link::MsgAppDownloadStart, link::MsgRamBlock, link::MsgParaDownloadStart}) {
    link().CmdID = cmd;
    DeliverFrame(link::MsgHello);
    EXPECT_EQ(blockSends[cmd], 1) << cmd;
  }
  link().CmdID = link::CmdAppSending;
  DeliverFrame(link::MsgHello);
  EXPECT_EQ(sentFirst, 1);
  EXPECT_EQ(blockSends[link::CmdAppSending], 0);
}

// A hello without this exchange's announcement: the connect again, three
// times, then a clear stop; the link query never starts without it.
TEST_F(ReceivePath, HelloWithoutTheAnnouncementAsksForItThenStops) {
  link().CmdID = link::MsgConnect;
  ctx().device.BlVersion = 0x0215;  // an earlier terminal's, never to be used
  for (int i = 1; i <= 3; ++i) {
    DeliverFrame(link::MsgHello);
    EXPECT_EQ(serial.CountWritten(link::MsgConnect), static_cast<std::size_t>(i));
    EXPECT_EQ(link().CmdID, link::MsgConnect);
    EXPECT_EQ(ctx().device.BlVersion, 0u);
  }
  EXPECT_TRUE(screen.boxes().empty());
  DeliverFrame(link::MsgHello);
  EXPECT_EQ(serial.CountWritten(link::MsgConnect), 3u);
  EXPECT_EQ(serial.CountWritten(link::MsgLinkQuery), 0u);
  EXPECT_EQ(link().LinkUp, 0u);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{Text("Ext_NoBlHello")});
  EXPECT_FALSE(loop.TimerRunning(kTimerAnswer));
}

// Nothing waits for an answer, yet a hello comes: the terminal restarted or
// another one was plugged in. The earlier identification no longer holds.
TEST_F(ReceivePath, HelloWhileIdleAfterAnIdentificationStartsAfresh) {
  link().LinkUp = 1;
  link().DevIdentified = 1;
  ctx().device.BlAnnounced = true;
  link().CmdID = link::CmdHandshake;
  DeliverFrame(link::MsgHello);
  EXPECT_EQ(link().DevIdentified, 0u);
  EXPECT_EQ(link().LinkUp, 0u);
  EXPECT_EQ(serial.WrittenIds(), std::vector<std::uint16_t>{link::MsgConnect});
}

TEST_F(ReceivePath, DamagedAnnouncementOrLinkQueryReplyIsAskedForAgain) {
  Run(link::MsgConnect);
  serial.ClearWritten();
  Deliver(BadCrcFrame(link::MsgBlHello));
  EXPECT_EQ(serial.WrittenIds(), std::vector<std::uint16_t>{link::MsgConnect});

  ctx().device.BlAnnounced = true;
  DeliverFrame(link::MsgHello);  // the link query starts
  link().PollCount = 15;
  serial.ClearWritten();
  Deliver(BadCrcFrame(link::MsgLinkQueryReply));
  EXPECT_EQ(serial.WrittenIds(), std::vector<std::uint16_t>{link::MsgLinkQuery});
  EXPECT_EQ(link().PollCount, 0u) << "a full poll for the answer asked again";
  Deliver(BadCrcFrame(link::MsgLinkQueryReply));
  Deliver(BadCrcFrame(link::MsgLinkQueryReply));
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"CRC" + Text("Run_ErrNumOver")});
  // The poll ends with the operation: it must not carry the identification on.
  EXPECT_FALSE(loop.TimerRunning(kTimerLinkPoll));
  serial.ClearWritten();
  loop.Advance(2000);
  EXPECT_TRUE(serial.WrittenIds().empty());
}

// A command of a transfer's sending phase has no row of its own: a damaged
// acknowledgement brings the current block again, as for the first command.
TEST_F(ReceivePath, DamagedAckWhileBlocksGoOutResendsTheCurrentBlock) {
  const int& sends = CountBlockSends(link::CmdParaSending);
  Run(link::CmdParaSending);
  const int before = sends;
  Deliver(BadCrcFrame(link::MsgParaBlockAck));
  EXPECT_EQ(sends, before + 1);
}

TEST_F(ReceivePath, RamLoaderHelloIsAnsweredAtOnceAndContinueMovesTheCommand) {
  Run(link::MsgRamBlock);
  serial.ClearWritten();
  DeliverFrame(link::MsgRamHello);
  EXPECT_EQ(serial.WrittenIds(), std::vector<std::uint16_t>{link::MsgRamHelloAck});
  EXPECT_EQ(link().CmdID, link::MsgRamBlock);
  DeliverFrame(link::MsgRamContinue);
  EXPECT_EQ(link().CmdID, link::MsgRamContinueAck);
  EXPECT_EQ(serial.WrittenIds().back(), link::MsgRamContinueAck);
  EXPECT_EQ(serial.written().size(), 2u);
}

// ---- text from the terminal --------------------------------------------------

TEST_F(ReceivePath, TextMessageAppendsItsNonZeroBytesToTheTerminalText) {
  ctx().RxTextEcho = 0;
  ctx().controls.SetText(platform::kTermText, "x");
  ctx().SetInfoText(std::string(50, 'i'));
  DeliverFrame(link::MsgText, {'h', 0, 'i', 0x80});
  EXPECT_EQ(Control(platform::kTermText).text, "xhi\\x80");
  EXPECT_EQ(Info(), std::string(50, 'i'));  // 50 characters stay
  ctx().SetInfoText(std::string(51, 'i'));
  DeliverFrame(link::MsgText, {'!'});
  EXPECT_EQ(Info(), "");
  EXPECT_EQ(Control(platform::kTermText).text, "xhi\\x80!");
}

TEST_F(ReceivePath, TextMessageCountsInformationTextInCharacters) {
  ctx().RxTextEcho = 0;
  std::string wide;
  for (int i = 0; i < 30; ++i)
    wide += "设";  // 30 characters, 90 bytes
  ctx().SetInfoText(wide);
  DeliverFrame(link::MsgText, {'a'});
  EXPECT_EQ(Info(), wide);
}

// ---- echo while idle -----------------------------------------------------------

class ReceiveEcho : public ReceivePath {
 protected:
  std::string EchoAfter(const std::string& start, std::uint8_t byte) {
    ctx().SetInfoText(start);
    Deliver({byte});
    return Info();
  }
};

TEST_F(ReceiveEcho, UnprintableBytesShowEscapedAndZeroAsSpace) {
  EXPECT_EQ(Info(), "Ready");
  Deliver({'A', 0x00, 0x80, 0xFF, 0x7F, 0x1B, '\r', '\n', 'z'});
  EXPECT_EQ(Info(), "ReadyA \\x80\\xFF\\x7F\\x1B\r\nz");
  EXPECT_EQ(screen.Control(platform::kInfoText)->text, Info());  // shown at once
}

// Frames that arrive while the window is idle (the reports after a roll back,
// a terminal's announcements) are the receive path's, never text; what lies
// between them is shown.
TEST_F(ReceiveEcho, FramesAreNeverEchoedStrayBytesAroundThemAre) {
  Bytes stream = {'o', 'k', 0x5F, '!'};  // a lone sync byte is stray too
  for (const Bytes& frame : {link::BuildTerminalFrame(kProbeId, Bytes{0x00, 0x55, 0xAA, 0x5F}),
                             link::BuildTerminalFrame(link::MsgText, Bytes{'h', 'i'})}) {
    stream.insert(stream.end(), frame.begin(), frame.end());
    stream.push_back('.');
  }
  Deliver(stream);
  EXPECT_EQ(Info(), "Readyok_!..");
  ASSERT_EQ(probed.size(), 1u);
}

TEST_F(ReceiveEcho, LongTextKeepsOnlyItsLastLineThenTheNewCharacter) {
  const std::string last(150, 'a');
  EXPECT_EQ(EchoAfter("first line\r\n" + last, 'b'), last + "b");  // 162 characters
  EXPECT_EQ(EchoAfter(std::string(160, 'x'), 'b'), std::string(160, 'x') + "b");
  EXPECT_EQ(EchoAfter(std::string(161, 'x'), 'b'), std::string(160, 'x') + "b");
  EXPECT_EQ(EchoAfter(std::string(170, 'x') + "\r", 'b'), "b");
}

TEST_F(ReceiveEcho, CutCountsCharactersNotBytes) {
  std::string wide;
  for (int i = 0; i < 100; ++i)
    wide += "设";
  EXPECT_EQ(EchoAfter(wide, 'b'), wide + "b");
}

TEST_F(ReceiveEcho, DeviceLinesLeftAfterTheCutAreEmptied) {
  const std::string head(160, 'a');
  EXPECT_EQ(EchoAfter(head + "\r\n设备", 'b'), "b");
  EXPECT_EQ(EchoAfter(head + "\r\n√设备", 'b'), "b");
  EXPECT_EQ(EchoAfter(head + "\r\n设备x", 'b'), "设备xb");
  // Short texts are never cut, whatever they hold.
  EXPECT_EQ(EchoAfter("\r\n设备", 'b'), "\r\n设备b");
}

// The echo counts the text only when it changed under it; fed byte by byte it
// must show exactly what cutting the whole text each time would show.
TEST_F(ReceiveEcho, ByteByByteEchoMatchesTheWholeTextRule) {
  std::string expected = Info();
  for (int i = 0; i < 700; ++i) {
    const std::uint8_t byte = i % 37 == 0 ? '\r' : static_cast<std::uint8_t>(0x20 + i % 200);
    expected = engine::EchoByte(expected, byte);
    Deliver({byte});
    if (byte == 0x5F)
      continue;  // it may start a frame: shown with the byte after it
    ASSERT_EQ(Info(), expected) << "byte " << i;
  }
}

TEST_F(ReceiveEcho, TextReplacedBetweenBytesIsCountedAgain) {
  Deliver({'a'});
  // Another line of the same byte length but a third of the characters: a
  // count kept from before would cut too early.
  std::string wide;
  for (int i = 0; i < 55; ++i)
    wide += "设";
  ctx().SetInfoText(std::string(165, 'x'));
  Deliver({'b'});
  EXPECT_EQ(Info(), std::string(164, 'x') + "b") << "one line: its first character goes";
  ctx().SetInfoText(wide);
  Deliver({'c'});
  EXPECT_EQ(Info(), wide + "c") << "55 characters are not cut";
  ctx().controls.AppendText(platform::kInfoText, std::string(110, 'y'));
  Deliver({'d'});
  EXPECT_EQ(Info(), wide.substr(3) + "c" + std::string(110, 'y') + "d")
      << "166 characters in one line: the first goes";
}

TEST_F(ReceiveEcho, NothingIsEchoedWhileACommandRuns) {
  link().LinkUp = 1;
  link().CmdID = link::MsgReadAppInfo;
  StartCommand(ctx());
  const std::string before = Info();
  Deliver({'A', 'B'});
  EXPECT_EQ(Info(), before);
}

// ---- run log -----------------------------------------------------------------

TEST_F(ReceivePath, GoodFramesAreLoggedByIdFromLevelTwo) {
  OpenRunLog(2);
  DeliverFrame(kProbeId);
  const std::string log = RunLogText();
  EXPECT_NE(log.find("\r\nR-MsgID=12057\r\n"), std::string::npos) << log;
  EXPECT_EQ(log.find(" 5F"), std::string::npos);
}

TEST_F(ReceivePath, NoFrameIdsBelowLevelTwo) {
  OpenRunLog(1);
  DeliverFrame(kProbeId);
  EXPECT_EQ(RunLogText().find("R-MsgID"), std::string::npos);
}

TEST_F(ReceivePath, ReceivedBytesAreLoggedFromLevelFive) {
  OpenRunLog(5);
  const Bytes frame = link::BuildTerminalFrame(kProbeId, Bytes{0xAB});
  Deliver(frame);
  std::string hex;
  for (std::uint8_t b : frame) {
    char buf[8];
    std::snprintf(buf, sizeof buf, " %02X", b);
    hex += buf;
  }
  EXPECT_NE(RunLogText().find(hex + "\r\nR-MsgID=12057\r\n"), std::string::npos) << RunLogText();
}

TEST_F(ReceivePath, CrcErrorsAreLoggedWithTheCommandStateFromLevelOne) {
  OpenRunLog(1);
  Run(link::MsgReadAppInfo);
  Deliver(BadCrcFrame(kProbeId));
  EXPECT_NE(RunLogText().find("\r\n\r\nCrcErrNum=1\r\ncmd=12025\r\ngOneCmdTime=0\r\n"
                              "gOverTimeNum=0\r\ngFrameNum=0\r\ngFrameSum=0\r\n"),
            std::string::npos)
      << RunLogText();
}

TEST_F(ReceivePath, NothingIsLoggedAtLevelZero) {
  OpenRunLog(0);
  Run(link::MsgReadAppInfo);
  Deliver(BadCrcFrame(kProbeId));
  DeliverFrame(kProbeId);
  EXPECT_EQ(RunLogText(), "AppRunLog:\r\n\r\nCOM1");
}

}  // namespace
}  // namespace tavro::engine
