// The idle echo of received bytes: each byte appends one character to the
// information text. Counting the whole text per byte (the cut rule applied
// from scratch) against the window's echo, which counts only when the text
// changed under it.

#include <benchmark/benchmark.h>

#include <optional>
#include <string>
#include <vector>

#include "app/ctavro_dlg.hpp"
#include "engine/receive_path.hpp"
#include "loop/virtual_loop.hpp"
#include "platform/control_ids.hpp"

namespace {

using namespace tavro;

class NullLink final : public link::SerialLink {
 public:
  void SetByteHandler(ByteHandler) override {}
  bool Open(std::uint32_t, const link::LineSettings&) override { return true; }
  bool StartWorker() override { return true; }
  void WriteFrame(link::ByteView) override {}
  void RequestStop() override {}
  void ForceStop() override {}
  bool IsOpen() const override { return true; }
};

class NullScreen final : public platform::Screen {
 public:
  int ShowMessageBox(const platform::MessageBoxRequest&) override { return 0; }
  void ShowControls(const std::vector<platform::ControlChange>&) override {}
  std::optional<std::string> ChooseFile(const std::string&) override { return std::nullopt; }
  void ShowNotice(const std::string&) override {}
};

// Text bytes without frame starts, with a line break now and then.
std::uint8_t TextByte(std::size_t i) {
  return i % 61 == 60 ? '\r' : static_cast<std::uint8_t>('A' + i % 26);
}

void BM_EchoCountingTheWholeText(benchmark::State& state) {
  std::string text = "Ready";
  std::size_t i = 0;
  for (auto _ : state) {
    text = engine::EchoByte(text, TextByte(i++));
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_EchoCountingTheWholeText);

void BM_WindowReceivesEchoedBytes(benchmark::State& state) {
  loop::VirtualLoop loop;
  NullScreen screen;
  NullLink serial;
  app::CTAVRODlg dlg(loop, screen, serial, "/nonexistent",
                     [] { return std::vector<link::PortEntry>{}; });
  std::size_t i = 0;
  for (auto _ : state)
    dlg.OnRxByte(TextByte(i++));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_WindowReceivesEchoedBytes);

}  // namespace
