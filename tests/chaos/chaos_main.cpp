// The fault campaign for as long as asked: seeds one after the other, the
// faults that struck by kind, and every failing seed with the command that
// replays it alone.
//
//   tavro-chaos [--seconds S] [--first SEED] [--seed SEED] [--quick] [--verbose]
//
// --seed runs that seed alone and prints its steps; --quick uses the ctest
// case's sizes (small Apps, short days), so its seeds replay here.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "chaos/campaign.hpp"
#include "chaos/choices.hpp"

namespace {

using namespace tavro::chaos;

struct Args {
  double seconds = 60;
  std::uint64_t first = 0;
  bool single = false;
  bool quick = false;
  bool verbose = false;
};

bool Parse(int argc, char** argv, Args& a) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--seconds" && hasValue) {
      a.seconds = std::strtod(argv[++i], nullptr);
    } else if (arg == "--first" && hasValue) {
      a.first = std::strtoull(argv[++i], nullptr, 10);
    } else if (arg == "--seed" && hasValue) {
      a.first = std::strtoull(argv[++i], nullptr, 10);
      a.single = true;
    } else if (arg == "--quick") {
      a.quick = true;
    } else if (arg == "--verbose") {
      a.verbose = true;
    } else {
      return false;
    }
  }
  return true;
}

void PrintResult(std::uint64_t seed, const SeedResult& r, bool steps) {
  std::printf("seed %llu: %s\n  terminal: %s\n  faults: %s\n",
              static_cast<unsigned long long>(seed), r.passed ? "passed" : r.failure.c_str(),
              r.terminal.c_str(), r.faults.Format().c_str());
  if (steps) {
    for (const std::string& line : r.log)
      std::printf("  %s\n", line.c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  Args a;
  if (!Parse(argc, argv, a)) {
    std::fprintf(stderr,
                 "usage: tavro-chaos [--seconds S] [--first SEED] [--seed SEED] [--quick] "
                 "[--verbose]\n");
    return 2;
  }
  CampaignOptions options;
  options.packageDir = TAVRO_CHAOS_PACKAGE_DIR;
  if (a.quick) {
    options.maxOperations = 5;
    options.maxApp = 48 * 1024;
  } else {
    options.maxOperations = 8;
  }
  if (a.single) {
    Choices choices(a.first);
    const SeedResult r = RunCampaign(choices, options);
    PrintResult(a.first, r, true);
    return r.passed ? 0 : 1;
  }
  if (a.first == 0)
    a.first = static_cast<std::uint64_t>(std::time(nullptr)) * 1000;

  const auto start = std::chrono::steady_clock::now();
  const auto elapsed = [&start] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  FaultTally total;
  std::uint64_t seeds = 0;
  std::uint64_t operations = 0;
  std::uint64_t virtualMs = 0;
  std::vector<std::uint64_t> failing;
  for (std::uint64_t seed = a.first; elapsed() < a.seconds; ++seed) {
    Choices choices(seed);
    const SeedResult r = RunCampaign(choices, options);
    ++seeds;
    operations += r.operations;
    virtualMs += r.virtualMs;
    total.Add(r.faults);
    if (a.verbose || !r.passed)
      PrintResult(seed, r, !r.passed);
    if (!r.passed) {
      failing.push_back(seed);
      std::printf("  replay alone: scripts/chaos 0 %llu%s\n", static_cast<unsigned long long>(seed),
                  a.quick ? " --quick" : "");
    }
    std::fflush(stdout);
  }
  std::printf("seeds run: %llu (from %llu), operations: %llu, virtual time: %.1f h, real: %.0f s\n",
              static_cast<unsigned long long>(seeds), static_cast<unsigned long long>(a.first),
              static_cast<unsigned long long>(operations), virtualMs / 3600000.0, elapsed());
  std::printf("faults injected: %llu (%s)\n", static_cast<unsigned long long>(total.Total()),
              total.Format().c_str());
  std::printf("failing seeds: %zu", failing.size());
  for (const std::uint64_t s : failing)
    std::printf(" %llu", static_cast<unsigned long long>(s));
  std::printf("\n");
  return failing.empty() ? 0 : 1;
}
