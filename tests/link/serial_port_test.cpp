#include "link/serial_port.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/ioctl.h>
#include <sys/sysmacros.h>
#include <termios.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "link/frame.hpp"
#include "link/frame_assembler.hpp"
#include "link/messages.hpp"
#include "link/posix/port_lock.hpp"
#include "link/serial_test_support.hpp"

namespace tavro::link::posix {
namespace {

using namespace std::chrono_literals;
using test::Pty;
using test::ScopedEnv;
using test::TestLoop;
using test::ThreadCheckingErrors;

constexpr std::uint32_t kPortA = 201;
constexpr std::uint32_t kPortB = 202;

std::string Text(const std::vector<std::uint8_t>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

class SerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ptyA.ok());
    ASSERT_TRUE(ptyB.ok());
    baseThreads = test::ThreadCount();
    port->SetByteHandler([this](std::uint8_t byte) {
      EXPECT_EQ(std::this_thread::get_id(), testThread);
      received.push_back(byte);
      if (onByte)
        onByte(byte);
    });
  }

  // Every test leaves no thread of the port behind.
  void TearDown() override {
    port.reset();
    loop.Close();
    EXPECT_TRUE(test::ThreadsSettleAt(baseThreads));
  }

  bool OpenAndStart(std::uint32_t n, LineSettings settings = {}) {
    return port->Open(n, settings) && port->StartWorker();
  }

  bool ReceiveCount(std::size_t count) {
    return loop.RunUntil([&] { return received.size() >= count; });
  }

  Pty ptyA;
  Pty ptyB;
  ScopedEnv aliasA{"TAVRO_COM201", ptyA.path()};
  ScopedEnv aliasB{"TAVRO_COM202", ptyB.path()};
  TestLoop loop;
  ThreadCheckingErrors errors;
  std::unique_ptr<CSerialPort> port = MakePort();

  std::unique_ptr<CSerialPort> MakePort() {
    auto made = std::make_unique<CSerialPort>(loop);
    made->SetErrorHandler(errors.Handler());
    return made;
  }
  std::vector<std::uint8_t> received;
  std::function<void(std::uint8_t)> onByte;
  std::thread::id testThread = std::this_thread::get_id();
  std::size_t baseThreads = 0;
};

termios SlaveSettings(const Pty& pty) {
  termios t{};
  EXPECT_EQ(::tcgetattr(pty.slave(), &t), 0);
  return t;
}

TEST_F(SerialPortTest, OpensRawLineWithRequestedSettings) {
  ASSERT_TRUE(port->Open(kPortA, LineSettings{115200, 'N', 8, 1}));
  EXPECT_TRUE(port->IsOpen());
  EXPECT_TRUE(errors.texts.empty());
  termios t = SlaveSettings(ptyA);
  EXPECT_EQ(::cfgetispeed(&t), B115200);
  EXPECT_EQ(::cfgetospeed(&t), B115200);
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(t.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | IXON | IXOFF), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_cc[VMIN], 1);
  int exclusive = 0;
  ASSERT_EQ(::ioctl(ptyA.slave(), TIOCGEXCL, &exclusive), 0);
  EXPECT_NE(exclusive, 0);

  ASSERT_TRUE(port->Open(kPortA, LineSettings{9600, 'N', 8, 2}));
  t = SlaveSettings(ptyA);
  EXPECT_EQ(::cfgetospeed(&t), B9600);
  EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB), static_cast<tcflag_t>(CSTOPB));
  EXPECT_TRUE(errors.texts.empty());
}

// A pseudo terminal has no parity and always 8 data bits: the driver accepts
// the request and keeps its own values, which only reading them back shows.
TEST_F(SerialPortTest, SettingsTheDeviceDidNotTakeAreReported) {
  ASSERT_TRUE(port->Open(kPortA, LineSettings{9600, 'E', 7, 1}));
  EXPECT_TRUE(port->IsOpen());
  ASSERT_EQ(errors.texts.size(), 1u);
  EXPECT_EQ(errors.texts[0],
            "WARNING:  tcsetattr() Failed with the following error: \nInvalid argument\nPort: "
            "201\n");
  // The port stays usable.
  ASSERT_TRUE(port->StartWorker());
  ASSERT_TRUE(ptyA.Send("ok"));
  EXPECT_TRUE(ReceiveCount(2));
}

TEST_F(SerialPortTest, RefusedSettingIsReportedAndPortStaysOpen) {
  struct Case {
    LineSettings settings;
    const char* operation;
  };
  const Case cases[] = {
      {{12345, 'N', 8, 1}, "cfsetspeed()"},
      {{115200, 'X', 8, 1}, "line settings"},
      {{115200, 'N', 9, 1}, "line settings"},
      {{115200, 'N', 8, 3}, "line settings"},
  };
  for (const Case& c : cases) {
    errors.texts.clear();
    EXPECT_TRUE(port->Open(kPortA, c.settings)) << c.operation;
    EXPECT_TRUE(port->IsOpen());
    ASSERT_EQ(errors.texts.size(), 1u) << c.operation;
    EXPECT_EQ(errors.texts[0], std::string("WARNING:  ") + c.operation +
                                   " Failed with the following error: \nInvalid "
                                   "argument\nPort: 201\n");
  }
}

TEST_F(SerialPortTest, DeviceThatIsNoTerminalReportsFirstFailingStepOnly) {
  ScopedEnv alias("TAVRO_COM77", "/dev/null");
  EXPECT_TRUE(port->Open(77, LineSettings{}));
  EXPECT_TRUE(port->IsOpen());
  ASSERT_EQ(errors.texts.size(), 1u);
  EXPECT_EQ(errors.texts[0],
            "WARNING:  ioctl(TIOCEXCL) Failed with the following error: \nInappropriate ioctl "
            "for device\nPort: 77\n");
}

TEST_F(SerialPortTest, MissingDeviceFailsAfterFiveTriesWithoutMessage) {
  ScopedEnv alias("TAVRO_COM78", "/nonexistent/tty-for-tests");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(port->Open(78, LineSettings{}));
  // Five tries with a 1 ms wait before each.
  EXPECT_GE(std::chrono::steady_clock::now() - start, 5ms);
  EXPECT_FALSE(port->IsOpen());
  EXPECT_FALSE(port->StartWorker());
  EXPECT_FALSE(port->Open(0, LineSettings{}));
  EXPECT_FALSE(port->Open(256, LineSettings{}));
  EXPECT_TRUE(errors.texts.empty());
  // The console names the device and the system's reason.
  EXPECT_THAT(
      port->OpenFailures(),
      ::testing::ElementsAre("COM78 (/nonexistent/tty-for-tests): No such file or directory",
                             "COM0: no COM port has this number (1 to 255)",
                             "COM256: no COM port has this number (1 to 255)"));
  // Nothing to send on a closed port, and nothing breaks.
  port->WriteFrame(std::vector<std::uint8_t>{1, 2, 3});
  EXPECT_TRUE(errors.texts.empty());
}

TEST_F(SerialPortTest, FailedOpenClosesThePreviousPort) {
  ASSERT_TRUE(OpenAndStart(kPortA));
  ScopedEnv alias("TAVRO_COM78", "/nonexistent/tty-for-tests");
  EXPECT_FALSE(port->Open(78, LineSettings{}));
  EXPECT_FALSE(port->IsOpen());
  EXPECT_FALSE(port->WorkerAlive());
  EXPECT_TRUE(test::ThreadsSettleAt(baseThreads));
}

TEST_F(SerialPortTest, BytesArriveInOrderOnePerCallInRunsOfWhatAReadReturned) {
  ASSERT_TRUE(OpenAndStart(kPortA));
  std::vector<std::uint8_t> sent(5000);
  for (std::size_t i = 0; i < sent.size(); ++i)
    sent[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
  std::thread terminal([&] { EXPECT_TRUE(ptyA.Send(sent)); });
  EXPECT_TRUE(ReceiveCount(sent.size()));
  terminal.join();
  EXPECT_EQ(received, sent);
  // One hand-over per read, not per byte: a pseudo terminal returns up to
  // 4 KiB per read.
  EXPECT_LT(loop.Ran(), sent.size() / 10);
}

TEST_F(SerialPortTest, BytesWaitingBeforeTheWorkerStartsAreDiscarded) {
  ASSERT_TRUE(port->Open(kPortA, LineSettings{}));
  ASSERT_TRUE(ptyA.Send("old"));
  std::this_thread::sleep_for(20ms);
  ASSERT_TRUE(port->StartWorker());
  EXPECT_TRUE(port->StartWorker());  // a second start does not add a worker
  EXPECT_TRUE(test::ThreadsSettleAt(baseThreads + 1));
  ASSERT_TRUE(ptyA.Send("new"));
  EXPECT_TRUE(ReceiveCount(3));
  EXPECT_FALSE(loop.RunOne(50ms));
  EXPECT_EQ(Text(received), "new");
  EXPECT_TRUE(test::ThreadsSettleAt(baseThreads + 1));
}

TEST_F(SerialPortTest, FrameReachesTheTerminalWhole) {
  ASSERT_TRUE(OpenAndStart(kPortA));
  std::vector<std::uint8_t> frame(kWriteBufferSize);
  for (std::size_t i = 0; i < frame.size(); ++i)
    frame[i] = static_cast<std::uint8_t>(i % 251);
  port->WriteFrame(frame);
  EXPECT_EQ(ptyA.Receive(frame.size()), frame);
  EXPECT_TRUE(errors.texts.empty());
}

TEST_F(SerialPortTest, FrameLargerThanTheBufferIsRefused) {
  ASSERT_TRUE(OpenAndStart(kPortA));
  port->WriteFrame(std::vector<std::uint8_t>(kWriteBufferSize + 1, 0x55));
  ASSERT_EQ(errors.texts.size(), 1u);
  EXPECT_EQ(errors.texts[0],
            "WARNING:  write() Failed with the following error: \nMessage too long\nPort: 201\n");
  EXPECT_TRUE(ptyA.Receive(1, 100ms).empty());
  // The port still works.
  port->WriteFrame(std::vector<std::uint8_t>{0x5F, 0x5F});
  EXPECT_EQ(ptyA.Receive(2), (std::vector<std::uint8_t>{0x5F, 0x5F}));
}

// The terminal's bytes in the worker's batch are not handed over after a
// frame went out.
TEST_F(SerialPortTest, WriteDiscardsTheRestOfTheBatch) {
  ASSERT_TRUE(OpenAndStart(kPortA));
  onByte = [&](std::uint8_t byte) {
    if (byte == 'A')
      port->WriteFrame(std::vector<std::uint8_t>{'Q'});
  };
  ASSERT_TRUE(ptyA.Send("ABCDEF"));
  ASSERT_TRUE(loop.RunOne());  // 'A', which answers with a frame
  EXPECT_EQ(Text(ptyA.Receive(1)), "Q");
  ASSERT_TRUE(ptyA.Send("XYZ"));
  EXPECT_TRUE(ReceiveCount(4));
  EXPECT_FALSE(loop.RunOne(50ms));
  EXPECT_EQ(Text(received), "AXYZ");
}

// A frame and, behind it in the same read, bytes of an exchange that the
// frame's handler ends by sending the next command: those bytes never reach
// the assembler, however the read split them.
TEST_F(SerialPortTest, BytesBehindAFrameWhoseHandlerWritesNeverReachTheAssembler) {
  ASSERT_TRUE(OpenAndStart(kPortA));
  FrameAssembler assembler;
  std::vector<std::uint16_t> frames;
  onByte = [&](std::uint8_t byte) {
    if (assembler.Push(byte) != FrameAssembler::Result::kComplete)
      return;
    frames.push_back(FrameMsgId(assembler.Frame()));
    if (frames.size() == 1)
      port->WriteFrame(BuildFrame(MsgLinkQuery, {}));
  };
  const Bytes answered = BuildTerminalFrame(MsgBlHello, Bytes(12, 1));
  const Bytes stale = BuildTerminalFrame(MsgAppInfo, Bytes(8, 2));
  Bytes stream = answered;
  // The stale frame and the start of another, which would swallow the
  // next good frame if it reached the assembler.
  stream.insert(stream.end(), stale.begin(), stale.end());
  stream.insert(stream.end(), stale.begin(), stale.begin() + 6);
  ASSERT_TRUE(ptyA.Send(stream));
  ASSERT_TRUE(ReceiveCount(answered.size()));
  EXPECT_EQ(FrameMsgId(ptyA.Receive(kFrameOverhead)), MsgLinkQuery);

  const Bytes next = BuildTerminalFrame(MsgLinkQueryReply, Bytes(2, 3));
  ASSERT_TRUE(ptyA.Send(next));
  EXPECT_TRUE(ReceiveCount(answered.size() + next.size()));
  EXPECT_FALSE(loop.RunOne(50ms));
  EXPECT_THAT(frames, ::testing::ElementsAre(MsgBlHello, MsgLinkQueryReply));
  EXPECT_EQ(assembler.StoredCount(), 0u);
}

// Bytes that reached the driver while the worker waited for the decision
// thread are discarded by the write as well.
TEST_F(SerialPortTest, WriteDiscardsTheDriverQueue) {
  ASSERT_TRUE(OpenAndStart(kPortA));
  onByte = [&](std::uint8_t byte) {
    if (byte == 'A')
      port->WriteFrame(std::vector<std::uint8_t>{'Q'});
  };
  ASSERT_TRUE(ptyA.Send("A"));
  ASSERT_TRUE(loop.WaitPending());  // the worker holds 'A' and reads no more
  ASSERT_TRUE(ptyA.Send("BCDEF"));
  std::this_thread::sleep_for(20ms);
  ASSERT_TRUE(loop.RunOne());
  EXPECT_EQ(Text(ptyA.Receive(1)), "Q");
  ASSERT_TRUE(ptyA.Send("XYZ"));
  EXPECT_TRUE(ReceiveCount(4));
  EXPECT_FALSE(loop.RunOne(50ms));
  EXPECT_EQ(Text(received), "AXYZ");
}

TEST_F(SerialPortTest, WithoutWriteNothingIsDiscarded) {
  ASSERT_TRUE(OpenAndStart(kPortA));
  ASSERT_TRUE(ptyA.Send("A"));
  ASSERT_TRUE(loop.WaitPending());
  ASSERT_TRUE(ptyA.Send("BCDEF"));
  EXPECT_TRUE(ReceiveCount(6));
  EXPECT_EQ(Text(received), "ABCDEF");
}

TEST_F(SerialPortTest, ReopenEndsTheOldWorkerAndReadsTheNewPort) {
  const std::size_t baseFds = test::OpenFdCount();
  ASSERT_TRUE(OpenAndStart(kPortA));
  ASSERT_TRUE(ptyA.Send("a"));
  ASSERT_TRUE(ReceiveCount(1));

  ASSERT_TRUE(OpenAndStart(kPortB));
  EXPECT_TRUE(test::ThreadsSettleAt(baseThreads + 1));
  ASSERT_TRUE(ptyA.Send("b"));
  ASSERT_TRUE(ptyB.Send("c"));
  EXPECT_TRUE(ReceiveCount(2));
  EXPECT_FALSE(loop.RunOne(50ms));
  EXPECT_EQ(Text(received), "ac");

  port->RequestStop();
  EXPECT_FALSE(port->IsOpen());
  EXPECT_TRUE(test::ThreadsSettleAt(baseThreads));
  EXPECT_EQ(test::OpenFdCount(), baseFds);
}

// The worker waits for the decision thread to take 'A' while the decision
// thread reopens the port: reopening must not wait for that hand-over.
TEST_F(SerialPortTest, ReopenWhileWorkerWaitsForDecisionThread) {
  ASSERT_TRUE(OpenAndStart(kPortA));
  ASSERT_TRUE(ptyA.Send("A"));
  ASSERT_TRUE(loop.WaitPending());
  {
    test::HangGuard guard(loop);
    ASSERT_TRUE(OpenAndStart(kPortB));
    ASSERT_FALSE(guard.fired());
  }
  ASSERT_TRUE(ptyB.Send("Z"));
  EXPECT_TRUE(ReceiveCount(1));
  loop.RunUntil([&] { return loop.Pending() == 0; }, 200ms);
  EXPECT_EQ(Text(received), "Z");  // the stale 'A' was not handed to the model

  port->RequestStop();
  EXPECT_TRUE(test::WaitFor([&] {
    port->RequestStop();  // joins the old worker once it has ended
    return test::ThreadCount() == baseThreads;
  }));
}

TEST_F(SerialPortTest, StopFromInsideTheByteHandler) {
  ASSERT_TRUE(OpenAndStart(kPortA));
  onByte = [&](std::uint8_t) { port->RequestStop(); };
  ASSERT_TRUE(ptyA.Send("AB"));
  {
    test::HangGuard guard(loop);
    ASSERT_TRUE(loop.RunOne());
    ASSERT_FALSE(guard.fired());
  }
  EXPECT_FALSE(port->IsOpen());
  EXPECT_FALSE(port->WorkerAlive());
  EXPECT_FALSE(loop.RunOne(50ms));
  EXPECT_EQ(Text(received), "A");
  // The port can be opened again at once.
  onByte = nullptr;
  ASSERT_TRUE(OpenAndStart(kPortA));
  ASSERT_TRUE(ptyA.Send("C"));
  EXPECT_TRUE(ReceiveCount(2));
  EXPECT_EQ(Text(received), "AC");
}

TEST_F(SerialPortTest, DestroyedWhileWorkerWaitsForDecisionThread) {
  auto local = MakePort();
  bool called = false;
  local->SetByteHandler([&](std::uint8_t) { called = true; });
  ASSERT_TRUE(local->Open(kPortA, LineSettings{}));
  ASSERT_TRUE(local->StartWorker());
  ASSERT_TRUE(ptyA.Send("A"));
  ASSERT_TRUE(loop.WaitPending());
  {
    test::HangGuard guard(loop);
    local.reset();
    ASSERT_FALSE(guard.fired());
  }
  // The decision thread gets to the hand-over after the port is gone.
  EXPECT_TRUE(loop.RunOne());
  EXPECT_FALSE(called);
  EXPECT_TRUE(test::WaitFor([&] { return test::ThreadCount() == baseThreads; }));
}

TEST_F(SerialPortTest, TerminalSideClosingEndsTheWorker) {
  ASSERT_TRUE(OpenAndStart(kPortA));
  ASSERT_TRUE(port->WorkerAlive());
  ptyA.CloseSlave();
  ptyA.CloseMaster();
  EXPECT_TRUE(test::WaitFor([&] { return !port->WorkerAlive(); }));
  EXPECT_TRUE(port->IsOpen());  // until the owner closes it
  port->ForceStop();
  EXPECT_FALSE(port->IsOpen());
  EXPECT_TRUE(test::ThreadsSettleAt(baseThreads));
  EXPECT_TRUE(errors.texts.empty());
  EXPECT_TRUE(port->Open(kPortB, LineSettings{}));
}

TEST_F(SerialPortTest, WriteNobodyReadsTimesOutWithAReportFromTheWorker) {
  // At 4 Mbaud the time limit is about one second; the terminal never reads.
  ASSERT_TRUE(OpenAndStart(kPortA, LineSettings{4000000, 'N', 8, 1}));
  port->WriteFrame(std::vector<std::uint8_t>(kWriteBufferSize, 0xA5));
  EXPECT_TRUE(loop.RunUntil([&] { return !errors.texts.empty(); }, 10s));
  ASSERT_EQ(errors.texts.size(), 1u);
  EXPECT_EQ(errors.texts[0],
            "WARNING:  write() Failed with the following error: \nConnection timed "
            "out\nPort: 201\n");
  // The worker goes on receiving.
  ptyA.Receive(kWriteBufferSize, 100ms);
  ASSERT_TRUE(ptyA.Send("k"));
  EXPECT_TRUE(ReceiveCount(1));
}

}  // namespace
}  // namespace tavro::link::posix

namespace tavro::link::posix {
namespace {

// Root passes TIOCEXCL, so the lock is what keeps two programs off one port.
TEST_F(SerialPortTest, APortAnotherOpenHoldsIsRefusedAndNamesTheHolder) {
  ASSERT_TRUE(OpenAndStart(kPortA));
  std::unique_ptr<CSerialPort> second = MakePort();
  EXPECT_FALSE(second->Open(kPortA, LineSettings{}));
  EXPECT_FALSE(second->IsOpen());
  std::string self;
  {
    std::ifstream comm("/proc/self/comm");
    std::getline(comm, self);
  }
  ASSERT_EQ(second->OpenFailures().size(), 1u);
  EXPECT_EQ(second->OpenFailures()[0], "COM201 (" + ptyA.path() + "): in use by process " +
                                           std::to_string(::getpid()) + " (" + self + ")");
  // The first port is untouched and still receives.
  ASSERT_TRUE(ptyA.Send("x"));
  EXPECT_TRUE(ReceiveCount(1));

  // Once the holder lets go, the port can be had, and the failures are gone.
  port->RequestStop();
  EXPECT_TRUE(second->Open(kPortA, LineSettings{}));
  EXPECT_TRUE(second->OpenFailures().empty());
  // Reopening one's own port is no conflict.
  EXPECT_TRUE(second->Open(kPortA, LineSettings{}));
}

TEST(OpenFailure, APermissionErrorNamesTheDialoutGroup) {
  for (const int error : {EACCES, EPERM}) {
    const std::string text = OpenFailureReason(error);
    EXPECT_EQ(text.rfind(std::strerror(error), 0), 0u) << text;
    EXPECT_NE(text.find("group dialout"), std::string::npos) << text;
    EXPECT_NE(text.find("usermod -aG dialout"), std::string::npos) << text;
  }
  EXPECT_EQ(OpenFailureReason(ENOENT), std::strerror(ENOENT));
}

TEST(LockTable, FindsTheHolderOfTheFileAndSkipsWaitersAndOtherFiles) {
  const dev_t device = makedev(0x1a, 0x3);
  const std::string table =
      "1: POSIX  ADVISORY  WRITE 111 00:1a:77 0 EOF\n"
      "2: FLOCK  ADVISORY  WRITE 222 1a:04:77 0 EOF\n"
      "3: FLOCK  ADVISORY  WRITE 333 1a:03:78 0 EOF\n"
      "3: -> FLOCK  ADVISORY  WRITE 444 1a:03:77 0 EOF\n"
      "garbage\n"
      "4: FLOCK  ADVISORY  WRITE 555 1a:03:77 0 EOF\n"
      "5: FLOCK  ADVISORY  WRITE 666 1a:03:77 0 EOF";
  EXPECT_EQ(LockHolderIn(table, device, 77), 555);
  EXPECT_EQ(LockHolderIn(table, device, 79), std::nullopt);
  EXPECT_EQ(LockHolderIn("", device, 77), std::nullopt);
  EXPECT_EQ(InUseText(std::nullopt), "in use by another program");
  EXPECT_EQ(InUseText(LockHolder{42, "tavro-cli"}), "in use by process 42 (tavro-cli)");
  EXPECT_EQ(InUseText(LockHolder{42, ""}), "in use by process 42");
}

}  // namespace
}  // namespace tavro::link::posix
