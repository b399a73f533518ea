// Text lookups in the language file: every caption and message of the tool
// is one GetString on it, many of them at start-up and on every step.

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "data/file_io.hpp"
#include "data/ini_file.hpp"

namespace {

using tavro::data::CIni;

// A copy of the sample language file old enough for its parse to be kept.
const std::string& LanguageFile() {
  static const std::string path = [] {
    const std::string copy =
        (std::filesystem::temp_directory_path() / "tavro-ini-bench-Language.ini").string();
    tavro::data::CopyFileOverwrite(TAVRO_PACKAGE_DIR "/Language.ini", copy);
    std::this_thread::sleep_for(std::chrono::seconds(CIni::kSettleSeconds) +
                                std::chrono::milliseconds(200));
    return copy;
  }();
  return path;
}

// The parse kept: each lookup checks the file's state and finds the key.
void BM_LookupKeptParse(benchmark::State& state) {
  const CIni ini(LanguageFile());
  for (auto _ : state)
    benchmark::DoNotOptimize(ini.GetString("English", "Run_ConnectOverTime", "Null"));
}
BENCHMARK(BM_LookupKeptParse);

// What every lookup cost when the file was read and parsed each time.
void BM_LookupReadingTheFile(benchmark::State& state) {
  const std::string& path = LanguageFile();
  for (auto _ : state)
    benchmark::DoNotOptimize(CIni(path).GetString("English", "Run_ConnectOverTime", "Null"));
}
BENCHMARK(BM_LookupReadingTheFile);

}  // namespace
