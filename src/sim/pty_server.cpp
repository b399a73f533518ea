#include "sim/pty_server.hpp"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "loop/console_loop.hpp"
#include "sim/profile.hpp"
#include "sim/scheduler.hpp"
#include "sim/terminal.hpp"
#include "sim/trace.hpp"

namespace tavro::sim {
namespace {

constexpr int kWakeTimer = 1;  // the terminal's next piece of work
constexpr int kPeerTimer = 2;  // looking for the PC to open the port
constexpr std::uint32_t kPeerCheckMs = 100;

speed_t SpeedOf(std::uint32_t baud) {
  switch (baud) {
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    default:
      return B115200;
  }
}

}  // namespace

struct ServeSession::Impl {
  Impl(ServeOptions o, std::ostream& out, std::ostream& err)
      : opt(std::move(o)), out(out), err(err) {}
  ~Impl() { ClosePty(); }

  bool Start(int stopFd);
  bool OpenPty();
  void ClosePty();
  void Announce();
  void Pump();
  void Arm();
  void OnMaster(short revents);
  void PeerGone();
  void CheckPeer();
  void Output(const link::Bytes& frame);
  void WriteOut(const link::Bytes& bytes);
  void PullAdapter();
  void Note(const std::string& text) {
    if (trace)
      trace->Write(loop.NowMs(), '!', {}, text);
  }

  ServeOptions opt;
  std::ostream& out;
  std::ostream& err;
  loop::ConsoleLoop loop;
  TimerQueue clock;
  std::unique_ptr<Terminal> terminal;
  std::unique_ptr<ProfileStore> store;
  std::unique_ptr<TraceFile> trace;
  int master = -1;
  bool peer = false;
  std::string slavePath;
  std::uint64_t lineFreeNs = 0;
  std::uint64_t inFreeNs = 0;  // when the last byte from the PC has come in on the line

  void Receive(const std::uint8_t* bytes, std::size_t count);
  void Deliver(const link::Bytes& bytes);
};

bool ServeSession::Impl::Start(int stopFd) {
  Profile profile;
  std::string error;
  if (!LoadProfile(opt.dir, profile, error)) {
    err << error << "\n";
    return false;
  }
  Faults faults = profile.faults;
  for (const std::string& f : opt.faults) {
    const auto eq = f.find('=');
    if (eq == std::string::npos || !SetFault(faults, f.substr(0, eq), f.substr(eq + 1), error)) {
      err << "--fault " << f << ": " << (eq == std::string::npos ? "not Key=Value" : error) << "\n";
      return false;
    }
  }
  if (!opt.tracePath.empty()) {
    trace = std::make_unique<TraceFile>(opt.tracePath);
    if (!trace->Ok()) {
      err << opt.tracePath << ": cannot be written\n";
      return false;
    }
  }
  clock.SetNow(loop.NowMs());
  store = std::make_unique<ProfileStore>(opt.dir, profile.behaviour, profile.faults);
  terminal = std::make_unique<Terminal>(clock, profile.device, profile.behaviour, faults);
  terminal->SetSink([this](const link::Bytes& frame) { Output(frame); });
  terminal->SetSaveHook([this](const Device& device, Changed changed) {
    if (!store->Save(device, changed))
      err << store->LastError() << "\n";
  });
  if (trace) {
    terminal->SetTrace([this](std::uint64_t ms, char dir, link::ByteView frame,
                              std::string_view note) { trace->Write(ms, dir, frame, note); });
  }
  terminal->SetPowerCutHook(
      [this] { clock.After(opt.powerOffMs, [this] { terminal->PowerUp(); }); });
  terminal->SetAdapterRemovedHook([this] { clock.After(0, [this] { PullAdapter(); }); });
  loop.SetTickHandler([this](int id) {
    if (id == kWakeTimer) {
      loop.StopTimer(kWakeTimer);
      Pump();
    } else if (id == kPeerTimer) {
      CheckPeer();
    }
  });
  loop.WatchFd(stopFd, [this, stopFd](short) {
    char drain[16];
    while (::read(stopFd, drain, sizeof drain) > 0) {
    }
    loop.Quit();
  });
  if (!OpenPty())
    return false;
  terminal->PowerUp();
  Pump();
  return true;
}

bool ServeSession::Impl::OpenPty() {
  master = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
    err << "no pseudo terminal: " << std::strerror(errno) << "\n";
    ClosePty();
    return false;
  }
  const char* name = ::ptsname(master);
  slavePath = name != nullptr ? name : "";
  ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
  // Raw line: set once on the slave end; the settings stay with the pseudo
  // terminal while the master is open. Closing it leaves the port waiting
  // for the PC.
  const int slave = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY);
  if (slave < 0) {
    err << slavePath << ": " << std::strerror(errno) << "\n";
    ClosePty();
    return false;
  }
  termios tio{};
  ::tcgetattr(slave, &tio);
  ::cfmakeraw(&tio);
  ::cfsetispeed(&tio, SpeedOf(opt.baud));
  ::cfsetospeed(&tio, SpeedOf(opt.baud));
  ::tcsetattr(slave, TCSANOW, &tio);
  ::close(slave);
  peer = false;
  loop.StartTimer(kPeerTimer, kPeerCheckMs);
  Announce();
  return true;
}

void ServeSession::Impl::Announce() {
  std::string shown = slavePath;
  if (!opt.linkPath.empty()) {
    ::unlink(opt.linkPath.c_str());
    if (::symlink(slavePath.c_str(), opt.linkPath.c_str()) == 0) {
      shown = opt.linkPath;
    } else {
      err << opt.linkPath << ": link not made: " << std::strerror(errno) << "\n";
    }
  }
  out << slavePath << "\nTAVRO_COM" << opt.com << "=" << shown << std::endl;
  Note("pseudo terminal " + slavePath);
  if (opt.onReady)
    opt.onReady(slavePath);
}

void ServeSession::Impl::ClosePty() {
  if (master >= 0) {
    loop.UnwatchFd(master);
    ::close(master);
  }
  master = -1;
  peer = false;
  loop.StopTimer(kPeerTimer);
}

void ServeSession::Impl::Pump() {
  clock.SetNow(loop.NowMs());
  clock.RunDue();
  Arm();
}

void ServeSession::Impl::Arm() {
  std::uint64_t at = 0;
  if (!clock.NextDue(at)) {
    loop.StopTimer(kWakeTimer);
    return;
  }
  const std::uint64_t now = loop.NowMs();
  loop.StartTimer(kWakeTimer, static_cast<std::uint32_t>(at > now ? at - now : 1));
}

// The PC has the port open once the master no longer reports a hang-up.
void ServeSession::Impl::CheckPeer() {
  if (master < 0)
    return;
  pollfd p{master, POLLIN, 0};
  if (::poll(&p, 1, 0) < 0 || (p.revents & POLLHUP) != 0)
    return;
  peer = true;
  loop.StopTimer(kPeerTimer);
  Note("port opened by the PC");
  loop.WatchFd(master, [this](short revents) { OnMaster(revents); });
}

void ServeSession::Impl::PeerGone() {
  peer = false;
  loop.UnwatchFd(master);
  Note("port closed by the PC");
  loop.StartTimer(kPeerTimer, kPeerCheckMs);
}

void ServeSession::Impl::OnMaster(short revents) {
  bool gone = (revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
  if ((revents & POLLIN) != 0) {
    std::uint8_t buffer[4096];
    while (true) {
      const ssize_t n = ::read(master, buffer, sizeof buffer);
      if (n > 0) {
        Receive(buffer, static_cast<std::size_t>(n));
        if (master < 0)
          return;
        continue;
      }
      if (n < 0 && errno == EINTR)
        continue;
      if (n == 0 || errno == EIO)
        gone = true;
      break;
    }
  }
  if (gone && master >= 0)
    PeerGone();
  Pump();
}

// A pseudo terminal moves what the PC writes at once; a serial line takes
// ten bit times per byte. Paced, each byte reaches the terminal when it
// would have come in on the line.
void ServeSession::Impl::Receive(const std::uint8_t* bytes, std::size_t count) {
  clock.SetNow(loop.NowMs());
  if (opt.fast) {
    Deliver(link::Bytes(bytes, bytes + count));
    return;
  }
  const std::uint64_t byteNs = 10ull * 1000000000ull / (opt.baud == 0 ? 115200 : opt.baud);
  const std::uint64_t nowNs = loop.NowMs() * 1000000ull;
  std::size_t i = 0;
  while (i < count) {
    link::Bytes chunk;
    std::uint64_t dueMs = 0;
    while (i < count) {
      const std::uint64_t arrives = std::max(nowNs, inFreeNs) + byteNs;
      const std::uint64_t due = (arrives + 999999) / 1000000;
      if (!chunk.empty() && due != dueMs)
        break;
      inFreeNs = arrives;
      dueMs = due;
      chunk.push_back(bytes[i++]);
    }
    const std::uint64_t now = clock.NowMs();
    clock.After(static_cast<std::uint32_t>(dueMs > now ? dueMs - now : 0),
                [this, chunk = std::move(chunk)] { Deliver(chunk); });
  }
}

void ServeSession::Impl::Deliver(const link::Bytes& bytes) {
  for (std::uint8_t b : bytes) {
    if (master < 0)
      return;
    terminal->OnByte(b);
  }
}

void ServeSession::Impl::Output(const link::Bytes& frame) {
  if (opt.fast) {
    WriteOut(frame);
    return;
  }
  // Paced to the line rate: each millisecond's worth leaves when it is due.
  const std::uint64_t byteNs = 10ull * 1000000000ull / (opt.baud == 0 ? 115200 : opt.baud);
  const std::uint64_t nowNs = loop.NowMs() * 1000000ull;
  const std::uint64_t start = std::max(nowNs, lineFreeNs);
  lineFreeNs = start + frame.size() * byteNs;
  std::size_t i = 0;
  while (i < frame.size()) {
    const std::uint64_t dueMs = (start + (i + 1) * byteNs + 999999) / 1000000;
    link::Bytes chunk;
    while (i < frame.size() && (start + (i + 1) * byteNs + 999999) / 1000000 == dueMs) {
      chunk.push_back(frame[i++]);
    }
    const std::uint64_t now = clock.NowMs();
    clock.After(static_cast<std::uint32_t>(dueMs > now ? dueMs - now : 0),
                [this, chunk = std::move(chunk)] { WriteOut(chunk); });
  }
}

void ServeSession::Impl::WriteOut(const link::Bytes& bytes) {
  if (master < 0 || !peer)
    return;  // nobody on the line: the bytes are lost
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(master, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      Note("the PC does not read: " + std::to_string(bytes.size() - done) + " bytes lost");
      return;
    }
  }
}

void ServeSession::Impl::PullAdapter() {
  Note("adapter removed");
  ClosePty();
  clock.After(opt.replugMs, [this] {
    if (OpenPty())
      terminal->AdapterBack();
  });
}

ServeSession::ServeSession(ServeOptions options) : impl_(nullptr) {
  if (::pipe(stopPipe_) == 0) {
    for (int fd : stopPipe_)
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  }
  pending_ = std::move(options);
}

ServeSession::~ServeSession() {
  for (int fd : stopPipe_) {
    if (fd >= 0)
      ::close(fd);
  }
}

void ServeSession::Stop() {
  if (stopPipe_[1] >= 0) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(stopPipe_[1], &byte, 1);
  }
}

int ServeSession::Run(std::ostream& out, std::ostream& err) {
  if (stopPipe_[0] < 0) {
    err << "cannot set up the stop signal\n";
    return 1;
  }
  impl_ = std::make_unique<Impl>(pending_, out, err);
  if (!impl_->Start(stopPipe_[0])) {
    impl_.reset();
    return 1;
  }
  impl_->loop.RunUntil([] { return false; });
  if (!pending_.linkPath.empty())
    ::unlink(pending_.linkPath.c_str());
  impl_.reset();
  return 0;
}

}  // namespace tavro::sim
