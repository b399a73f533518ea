// Receive-path throughput: at 115200 baud the line delivers about 11.5 kB/s,
// so byte handling must stay far below 87 us per byte with room for the GUI.

#include <benchmark/benchmark.h>

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

}  // namespace
