// Receive-path throughput: at 115200 baud the line delivers about 11.5 kB/s,
// so byte handling must stay far below 87 us per byte with room for the GUI.
// USB adapters run far faster, so after the micro-benchmarks one line gives
// the whole way in: 4 KiB read-back frames written unpaced into a pseudo
// terminal, carried through CSerialPort, the console loop's hand-over and the
// window model's receive path until each frame is dispatched.
//
//   receive path: 41.3 MB/s (2048 frames of 4116 B in 0.20 s)

#include <benchmark/benchmark.h>
#include <pty.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "app/ctavro_dlg.hpp"
#include "bench/quiet_screen.hpp"
#include "link/port_list.hpp"
#include "link/serial_port.hpp"
#include "loop/console_loop.hpp"

#include "link/crc.hpp"
#include "link/frame.hpp"
#include "link/frame_assembler.hpp"
#include "link/messages.hpp"
#include "link/payloads.hpp"

namespace {

using namespace tavro::link;

void BM_CrcFullBlock(benchmark::State& state) {
  const Bytes data(4128, 0x5A);
  for (auto _ : state) {
    benchmark::DoNotOptimize(ComputeCrc(data.data(), static_cast<long>(data.size())));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 4128);
}
BENCHMARK(BM_CrcFullBlock);

void BM_AssembleAndCheckReadBackFrames(benchmark::State& state) {
  const Bytes frame =
      BuildTerminalFrame(MsgParaBackupBlock, EncodeReadBackLong(0x08000000, 16, 1, Bytes(4096, 7)));
  FrameAssembler assembler;
  for (auto _ : state) {
    for (std::uint8_t b : frame) {
      if (assembler.Push(b) == FrameAssembler::Result::kComplete) {
        benchmark::DoNotOptimize(CheckReceivedCrc(assembler.Frame()) == CrcCheck::kGood);
      }
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * frame.size()));
}
BENCHMARK(BM_AssembleAndCheckReadBackFrames);

void BM_BuildFullAppBlockFrame(benchmark::State& state) {
  const Bytes chunk(4096, 3);
  for (auto _ : state) {
    benchmark::DoNotOptimize(BuildFrame(MsgAppBlock, CountedBlockPayload(300, 5, chunk)));
  }
}
BENCHMARK(BM_BuildFullAppBlockFrame);

constexpr std::uint32_t kCom = 232;
constexpr std::size_t kFrames = 2048;

// Returns false (and says why) when the run could not be made.
bool MeasureReceivePath() {
  int master = -1;
  int slave = -1;
  if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
    std::fprintf(stderr, "link_bench: no pseudo terminal\n");
    return false;
  }
  const std::string alias = "TAVRO_COM" + std::to_string(kCom);
  ::setenv(alias.c_str(), ::ttyname(slave), 1);
  char dirPattern[] = "/tmp/link-bench-XXXXXX";
  const char* dir = ::mkdtemp(dirPattern);
  bool ok = dir != nullptr;
  {
    tavro::loop::ConsoleLoop loop;
    tavro::bench::QuietScreen screen("link_bench");
    tavro::link::CSerialPort port(loop);
    tavro::app::CTAVRODlg dlg(loop, screen, port, dir == nullptr ? "" : dir,
                              [] { return std::vector<tavro::link::PortEntry>{}; });
    std::size_t frames = 0;
    dlg.context().handlers.onMessage[MsgParaBackupBlock] = [&frames](ByteView) { ++frames; };
    // As during a read-back: an operation runs, so the bytes are not echoed.
    dlg.context().RxTextEcho = 0;
    ok = ok && port.Open(kCom, {}) && port.StartWorker();
    if (ok) {
      const Bytes frame = BuildTerminalFrame(
          MsgParaBackupBlock, EncodeReadBackLong(0x08000000, 16, 1, Bytes(4096, 0x5F)));
      const auto start = std::chrono::steady_clock::now();
      std::thread terminal([&] {
        for (std::size_t i = 0; i < kFrames; ++i) {
          std::size_t done = 0;
          while (done < frame.size()) {
            const ssize_t n = ::write(master, frame.data() + done, frame.size() - done);
            if (n <= 0)
              return;
            done += static_cast<std::size_t>(n);
          }
        }
      });
      ok = loop.RunUntil([&] { return frames == kFrames; }, 60000);
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      terminal.join();
      if (ok) {
        const double bytes = static_cast<double>(kFrames * frame.size());
        std::printf("receive path: %.1f MB/s (%zu frames of %zu B in %.2f s)\n",
                    bytes / seconds / 1e6, kFrames, frame.size(), seconds);
      } else {
        std::fprintf(stderr, "link_bench: %zu of %zu frames arrived\n", frames, kFrames);
      }
    }
  }
  ::close(master);
  ::close(slave);
  if (dir != nullptr)
    ::rmdir(dir);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return MeasureReceivePath() ? 0 : 1;
}
