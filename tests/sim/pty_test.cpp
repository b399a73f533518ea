// tavro-sim serve on a pseudo terminal, talked to with plain termios I/O.

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <sstream>
#include <thread>

#include "data/file_io.hpp"
#include "link/frame.hpp"
#include "link/messages.hpp"
#include "link/payloads.hpp"
#include "sim/device_factory.hpp"
#include "sim/profile.hpp"
#include "sim/pty_server.hpp"
#include "support/temp_dir.hpp"

namespace tavro::sim {
namespace {

using namespace link;

int OpenRaw(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
  if (fd < 0)
    return fd;
  termios tio{};
  ::tcgetattr(fd, &tio);
  ::cfmakeraw(&tio);
  ::tcsetattr(fd, TCSANOW, &tio);
  return fd;
}

// Reads one whole frame (by its Length), or what came before `ms` ran out.
Bytes ReadFrame(int fd, int ms = 3000) {
  Bytes got;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    if (got.size() >= 4 && got.size() >= GetU16(got.data() + 2) + 6u)
      break;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0)
      continue;
    std::uint8_t buffer[256];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0)
      got.insert(got.end(), buffer, buffer + n);
  }
  return got;
}

void Write(int fd, const Bytes& frame) {
  ASSERT_EQ(::write(fd, frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
}

class PtyServe : public ::testing::Test {
 protected:
  void SetUp() override {
    Profile profile;
    profile.device = MakeDevice({});
    profile.behaviour.announceAtPowerUp = false;
    std::string error;
    ASSERT_TRUE(SaveProfile(dir.Path(), profile, error)) << error;
  }
  void Start(ServeOptions options) {
    options.dir = dir.Path();
    options.tracePath = dir.PathOf("trace.txt");
    std::promise<std::string> ready;
    auto path = ready.get_future();
    options.onReady = [&ready, first = true](const std::string& p) mutable {
      if (first)
        ready.set_value(p);
      first = false;
    };
    session = std::make_unique<ServeSession>(options);
    server = std::thread([this] { code = session->Run(out, err); });
    ASSERT_EQ(path.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    slave = path.get();
  }
  void TearDown() override {
    if (session)
      session->Stop();
    if (server.joinable())
      server.join();
  }

  test::TempDir dir;
  std::unique_ptr<ServeSession> session;
  std::thread server;
  std::ostringstream out, err;
  int code = -1;
  std::string slave;
};

TEST_F(PtyServe, ConnectOverTheLineAndReopen) {
  Start({});
  int fd = OpenRaw(slave);
  ASSERT_GE(fd, 0);
  Write(fd, BuildFrame(MsgConnect, {}));
  Bytes reply = ReadFrame(fd);
  ASSERT_EQ(FrameMsgId(reply), MsgBlHello);
  EXPECT_EQ(CheckReceivedCrc(reply), link::CrcCheck::kGood);
  Write(fd, BuildFrame(MsgBlHelloAck, {}));
  EXPECT_EQ(FrameMsgId(ReadFrame(fd)), MsgHello);
  ::close(fd);

  // The PC closes the port and opens it again: the terminal still answers.
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  fd = OpenRaw(slave);
  ASSERT_GE(fd, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(250));
  Write(fd, BuildFrame(MsgLinkQuery, {}));
  reply = ReadFrame(fd);
  ASSERT_EQ(FrameMsgId(reply), MsgLinkQueryReply);
  EXPECT_EQ(DecodeLinkQueryReply(ByteView(reply).subspan(kPayloadOffset, 2)), 1);
  ::close(fd);

  session->Stop();
  server.join();
  EXPECT_EQ(code, 0) << err.str();
  EXPECT_NE(out.str().find("TAVRO_COM200=" + slave), std::string::npos) << out.str();
  const std::string trace = dir.Read("trace.txt");
  EXPECT_NE(trace.find("<  12022 MsgConnect"), std::string::npos) << trace;
  EXPECT_NE(trace.find(">  12024 MsgLinkQueryReply len=2 type=1"), std::string::npos) << trace;
}

TEST_F(PtyServe, AcceptedWriteIsInTheFolder) {
  ServeOptions options;
  options.fast = true;
  options.com = 7;
  Start(options);
  const int fd = OpenRaw(slave);
  ASSERT_GE(fd, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(250));
  const Bytes marker = FlashMarkerImage();
  Write(fd,
        BuildFrame(MsgFlashWriteBlock, AddressedBlockPayload(kFlashMarkerAddress, 1, 0, marker, 0,
                                                             marker.size(), OddChunk::PadToEven)));
  const Bytes reply = ReadFrame(fd);
  ASSERT_EQ(FrameMsgId(reply), MsgFlashWriteAck);
  EXPECT_EQ(GetU16(reply.data() + kPayloadOffset), 3);
  ::close(fd);
  session->Stop();
  server.join();
  EXPECT_NE(out.str().find("TAVRO_COM7="), std::string::npos);
  Profile after;
  std::string error;
  ASSERT_TRUE(LoadProfile(dir.Path(), after, error)) << error;
  EXPECT_EQ(after.device.marker.bytes, marker);
}

// A full block takes its time on the line in both directions: the reply to
// a 4 KiB write cannot come before the write has come in at 115200 baud.
TEST_F(PtyServe, WhatThePcWritesComesInAtTheLineRate) {
  Start({});
  const int fd = OpenRaw(slave);
  ASSERT_GE(fd, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(250));
  const Bytes image(4096, 0x11);
  const Bytes big = BuildFrame(
      MsgFlashWriteBlock,
      AddressedBlockPayload(0x18000000, 1, 0, image, 0, image.size(), OddChunk::PadToEven));
  ASSERT_GT(big.size(), 4096u);
  const auto start = std::chrono::steady_clock::now();
  Write(fd, big);
  const Bytes reply = ReadFrame(fd);
  const auto took = std::chrono::steady_clock::now() - start;
  ASSERT_EQ(FrameMsgId(reply), MsgFlashWriteAck);
  // 4124 bytes of ten bits each at 115200 baud: 358 ms.
  EXPECT_GE(took, std::chrono::milliseconds(350));
  ::close(fd);
}

TEST_F(PtyServe, BadFaultOnTheCommandLineStopsAtOnce) {
  ServeOptions options;
  options.dir = dir.Path();
  options.faults = {"PowerCut=floppy, 3"};
  ServeSession s(options);
  std::ostringstream o, e;
  EXPECT_EQ(s.Run(o, e), 1);
  EXPECT_NE(e.str().find("PowerCut"), std::string::npos) << e.str();
}

}  // namespace
}  // namespace tavro::sim
