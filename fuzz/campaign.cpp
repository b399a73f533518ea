// The fault campaign with the fuzzer's bytes as its choices: which
// terminal, which operations, which faults at which instants. Every
// invariant the campaign checks (idle within the time-outs, success only
// for what an uninterrupted run leaves, convergence once the faults stop,
// nothing left in the program directory, a window as good as a fresh one)
// is a finding when broken.
//
// Input layout: the bytes, four at a time, are the campaign's choices in
// the order it draws them; past the end every choice is zero.

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "chaos/campaign.hpp"
#include "chaos/choices.hpp"
#include "fuzz_support.hpp"

#ifndef TAVRO_FUZZ_PACKAGE_DIR
#error "TAVRO_FUZZ_PACKAGE_DIR must name the package/ folder of the source tree"
#endif

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tavro::chaos::Choices choices(std::span<const std::uint8_t>(data, size));
  tavro::chaos::CampaignOptions options;
  options.packageDir = TAVRO_FUZZ_PACKAGE_DIR;
  // Short days and small Apps keep an input to a fraction of a second.
  options.maxOperations = 4;
  options.maxApp = 24 * 1024;
  const tavro::chaos::SeedResult r = tavro::chaos::RunCampaign(choices, options);
  static const bool trace = std::getenv("TAVRO_FUZZ_TRACE") != nullptr;
  if (!r.passed || trace) {
    std::fprintf(stderr, "%s\n  terminal: %s\n  faults: %s\n",
                 r.passed ? "passed" : r.failure.c_str(), r.terminal.c_str(),
                 r.faults.Format().c_str());
    for (const std::string& line : r.log)
      std::fprintf(stderr, "  %s\n", line.c_str());
  }
  FUZZ_CHECK(r.passed);
  return 0;
}
