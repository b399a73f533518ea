#include "scenarios/scenario.hpp"

#include <gtest/gtest.h>

#include "data/file_io.hpp"
#include "data/ini_to_bin.hpp"
#include "data/package.hpp"
#include "link/messages.hpp"
#include "support/source_tree.hpp"

namespace tavro::test {
sim::DeviceSpec PackageDevice(std::uint16_t blVersion, std::uint16_t terminalType) {
  TempDir work;
  const std::string built = work.PathOf("SwUpdate.ini");
  data::IniToBin(built, SourcePath("package/SwUpdate-source.ini"));
  const auto bytes = data::ReadWholeFile(built);
  data::PackageValues values;
  data::AreaTable table{};
  if (bytes)
    data::ParsePackage(*bytes, terminalType, blVersion, values, table);
  sim::DeviceSpec spec;
  spec.blVersion = blVersion;
  spec.terminalType = terminalType;
  for (std::size_t i = 0; i < table.size(); ++i) {
    spec.areas[i] = {table[i].areaAddr, table[i].areaLen, table[i].areaArg, table[i].fileName};
  }
  return spec;
}

Scenario::Scenario(const sim::DeviceSpec& spec, const sim::Behaviour& behaviour,
                   const sim::Faults& faults)
    : Scenario(sim::MakeDevice(spec), behaviour, faults) {}

Scenario::Scenario(const sim::Device& device, const sim::Behaviour& behaviour,
                   const sim::Faults& faults) {
  data::CopyFileOverwrite(SourcePath("package/Language.ini"), dir.PathOf("Language.ini"));
  data::IniToBin(dir.PathOf("SwUpdate.ini"), SourcePath("package/SwUpdate-source.ini"));
  rig = std::make_unique<sim::SimRig>(loop, device, behaviour, faults);
  dlg = std::make_unique<app::CTAVRODlg>(loop, screen, rig->wire(), dir.Path(), [this] {
    if (!portListed)
      return std::vector<link::PortEntry>{};
    return std::vector<link::PortEntry>{{1, "/dev/sim", "COM1"}};
  });
}

app::StartupOutcome Scenario::Start() {
  const app::StartupOutcome outcome = app::RunStartupSequence(*dlg);
  // The terminal announces itself at power-up and the window identifies it
  // on its own; let that pass, so a test sees only what its press causes.
  loop.Advance(2000);
  screen.Clear();
  return outcome;
}

bool Scenario::Press(int buttonId, std::uint64_t limitMs) {
  sentBeforePress_.clear();
  for (std::uint16_t id = link::kFirstMsgId; id <= link::kLastMsgId; ++id) {
    if (const std::uint32_t n = rig->terminal().SentCount(id))
      sentBeforePress_[id] = n;
  }
  dlg->OnButton(buttonId);
  return loop.RunUntil([this, buttonId] { return dlg->controls().Get(buttonId).enabled; }, limitMs);
}

std::uint32_t Scenario::SentDuringPress(std::uint16_t msgId) const {
  const auto it = sentBeforePress_.find(msgId);
  const std::uint32_t before = it == sentBeforePress_.end() ? 0 : it->second;
  return const_cast<sim::SimRig&>(*rig).terminal().SentCount(msgId) - before;
}

std::vector<std::string> Scenario::BoxTexts() const {
  std::vector<std::string> texts;
  for (const platform::MessageBoxRequest& box : screen.boxes())
    texts.push_back(box.text);
  return texts;
}

std::string Scenario::RunLogText() const {
  const std::string path = dlg->runLog().Path();
  const auto bytes = data::ReadWholeFile(path);
  return bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
}

void SetBlUpDataConfig(Scenario& s, std::uint32_t value) {
  auto bytes = data::ReadWholeFile(s.dir.PathOf("SwUpdate.ini"));
  ASSERT_TRUE(bytes && bytes->size() >= 16);
  link::PutU32(bytes->data() + 4, value);
  ASSERT_TRUE(data::WriteFileAtomic(s.dir.PathOf("SwUpdate.ini"), *bytes));
}

void SameAppAreaAfterTheUpgrade(Scenario& s) {
  auto bytes = data::ReadWholeFile(s.dir.PathOf("SwUpdate.ini"));
  ASSERT_TRUE(bytes);
  std::uint8_t* from = nullptr;
  std::uint8_t* to = nullptr;
  for (std::size_t off = 16; off + 56 <= bytes->size(); off += 56) {
    std::uint8_t* r = bytes->data() + off;
    if (link::GetU32(r) != 1 || link::GetU32(r + 4) != 6)
      continue;
    if (link::GetU32(r + 8) == 0x220)
      from = r;
    if (link::GetU32(r + 8) == 0x230)
      to = r;
  }
  ASSERT_TRUE(from && to);
  std::copy(from + 12, from + 24, to + 12);
  ASSERT_TRUE(data::WriteFileAtomic(s.dir.PathOf("SwUpdate.ini"), *bytes));
}

}  // namespace tavro::test
