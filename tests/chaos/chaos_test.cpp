// The fault campaign over a few hundred seeds: small Apps and short days, so
// the whole run stays within a minute; scripts/chaos runs the full sizes.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "chaos/campaign.hpp"
#include "chaos/choices.hpp"

namespace tavro::chaos {
namespace {

CampaignOptions QuickOptions() {
  CampaignOptions o;
  o.packageDir = TAVRO_CHAOS_PACKAGE_DIR;
  o.maxOperations = 5;
  o.maxApp = 48 * 1024;
  return o;
}

// The sanitizers make a seed several times slower: fewer of them there, so
// the run stays within a few minutes.
#if defined(__SANITIZE_ADDRESS__)
constexpr std::uint32_t kSeeds = 80;
#else
constexpr std::uint32_t kSeeds = 250;
#endif

std::uint32_t SeedCount() {
  const char* text = std::getenv("TAVRO_CHAOS_SEEDS");
  return text != nullptr ? static_cast<std::uint32_t>(std::strtoul(text, nullptr, 10)) : kSeeds;
}

TEST(ChaosCampaign, EverySeedKeepsTheInvariants) {
  const std::uint32_t seeds = SeedCount();
  FaultTally total;
  std::uint32_t operations = 0;
  for (std::uint32_t seed = 1; seed <= seeds; ++seed) {
    Choices choices(seed);
    const SeedResult r = RunCampaign(choices, QuickOptions());
    total.Add(r.faults);
    operations += r.operations;
    if (!r.passed) {
      std::string log;
      for (const std::string& line : r.log)
        log += "  " + line + "\n";
      ADD_FAILURE() << "seed " << seed << ": " << r.failure << "\n  terminal: " << r.terminal
                    << "\n"
                    << log << "  replay alone: build/dev/bin/tavro-chaos --quick --seed " << seed;
    }
  }
  std::printf("[ campaign ] %u seeds, %u operations; faults: %s\n", seeds, operations,
              total.Format().c_str());
  // The campaign is worth something only when faults of every kind strike.
  for (std::size_t k = 0; k < total.counts.size(); ++k) {
    const auto kind = static_cast<FaultKind>(k);
    if (kind != FaultKind::kOther && seeds >= 200) {
      EXPECT_GT(total.Of(kind), 0u) << FaultName(kind) << " never struck";
    }
  }
}

// The fuzzer's byte strings and a seed draw from the same space: every
// choice read past the end of the bytes is zero, and a run on them ends.
TEST(ChaosChoices, ByteStringsDrawWithinTheirBounds) {
  const std::uint8_t bytes[] = {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x07};
  Choices c(bytes);
  EXPECT_EQ(c.Below(10), 0xFFFFFFFFu % 10);
  EXPECT_EQ(c.Range(3, 9), 3u + 7u % 7u);
  EXPECT_TRUE(c.Exhausted());
  EXPECT_EQ(c.Below(1000), 0u);
  Choices seeded(42);
  for (int i = 0; i < 1000; ++i) {
    const std::uint32_t v = seeded.LogRange(200, 1 << 20);
    ASSERT_GE(v, 200u);
    ASSERT_LE(v, 1u << 20);
  }
}

}  // namespace
}  // namespace tavro::chaos
