#include "chaos/terminal_plan.hpp"

#include <cstdio>
#include <iterator>

#include "data/file_io.hpp"
#include "data/ini_to_bin.hpp"
#include "data/para_images.hpp"
#include "sim/device_factory.hpp"
#include "support/rule_builder.hpp"

namespace tavro::chaos {
namespace {

constexpr std::uint16_t kGenerations[] = {0x0150, 0x0205, 0x0215, 0x0225, 0x0230};
constexpr std::uint32_t kAreaBase = 0x08100000;
constexpr std::uint32_t kCopyBase = 0x08200000;
constexpr std::uint32_t kAreaStep = 0x20000;
constexpr std::uint32_t kAppAddr = 0x08400000;
constexpr std::uint32_t kAppLen = 0x180000;
constexpr std::uint32_t kResourceAddr = 0x18000000;
constexpr std::uint32_t kE2CopyAddr = 0x181F0000;
constexpr const char* kModel = "TR100";

std::string Hex(std::uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", v);
  return text;
}

// One area section per bootloader class, all with the same layout, so a
// terminal keeps its areas across a bootloader upgrade.
std::string PackageSource(const TerminalPlan& plan) {
  const std::size_t areas = plan.areaData.size();
  std::string text = "[DebugLevel]\nDebugLevel=1\n[BLUpDataConfig]\nBLUpDataConfig=";
  text += plan.newBootloader ? "1\n" : "0\n";
  text += "[ParaFileNum]\nParaFileTotalNum=" + std::to_string(areas) +
          "\nParaFileRequisiteNum=" + std::to_string(areas) + "\n[Flash_Addr_Start]\n";
  for (const std::uint32_t cls : {0x0100u, 0x0200u, 0x0220u, 0x0230u}) {
    text += "[T1_" + Hex(cls) + "]\n";
    for (std::size_t i = 0; i < 5; ++i) {
      const std::string p = "P" + std::to_string(i + 1);
      const bool used = i < areas;
      const auto step = static_cast<std::uint32_t>(i) * kAreaStep;
      text += p + "_Addr=" + Hex(used ? kAreaBase + step : 0) + "\n";
      text += p + "_Copy=" + Hex(used ? kCopyBase + step : 0) + "\n";
      text += p + "_Arg=" + std::to_string(used ? i + 1 : 0) + "\n";
      text += p + "_File=" + (used ? data::FlashImageName(i + 1) : std::string()) + "\n";
    }
    text += "Res_Addr=" + Hex(kResourceAddr) + "\nRes_E2Copy=" + Hex(kE2CopyAddr) +
            "\nRes_Arg=0\nRes_File=\n";
    text += "App_Addr=" + Hex(kAppAddr) + "\nApp_Len=" + Hex(kAppLen) +
            "\nApp_Arg=0\nApp_File=App.bin\n";
    text += "Addr_Type=1\nBl_Ver=" + Hex(cls) + "\n";
  }
  return text;
}

bool Put(const std::string& dir, const std::string& relative, const link::Bytes& bytes) {
  const std::string path = dir + "/" + relative;
  return data::CreateFolders(path.substr(0, path.rfind('/'))) && data::WriteFileAtomic(path, bytes);
}

link::Bytes Text(const std::string& text) {
  return link::Bytes(text.begin(), text.end());
}

// A rule block that makes `name` from the terminal's image of that name:
// the mark, then the data after its first byte.
void AddCopyBlock(test::RuleWriter& rule, const std::string& name, std::size_t headerSize,
                  std::size_t dataSize) {
  rule.Block(test::Header(name, kTerminalData, kPackageData)).Add(test::Fill(1, kConvertedMark));
  const auto rest = static_cast<std::uint32_t>(dataSize - 1);
  rule.Add(test::Copy(name, static_cast<std::uint32_t>(headerSize + 1), rest, rest));
}

}  // namespace

std::size_t TerminalPlan::Volume() const {
  std::size_t data = UsesE2() || newBootloader ? sim::kE2Size : 0;
  for (const std::size_t n : areaData)
    data += n + sim::kParaHeaderSize;
  return 2 * (terminalApp + data) + packageApp + resource + 64 * 1024;
}

std::string TerminalPlan::Describe() const {
  std::string text = "bootloader " + Hex(blVersion) + ", ";
  if (UsesE2()) {
    text += "E2PROM";
  } else {
    text += std::to_string(areaData.size()) + " areas (";
    for (std::size_t i = 0; i < areaData.size(); ++i)
      text += (i ? " " : "") + std::to_string(areaData[i]);
    text += " bytes)";
  }
  text += ", App " + std::to_string(terminalApp) + " -> " + std::to_string(packageApp);
  if (resource != 0)
    text += ", resource " + std::to_string(resource);
  if (newBootloader)
    text += ", new bootloader";
  if (behaviour.clearMarkOnArrival)
    text += ", mark cleared on arrival";
  return text;
}

TerminalPlan DrawTerminal(Choices& c, std::uint32_t maxApp) {
  TerminalPlan plan;
  plan.blVersion = kGenerations[c.Below(std::size(kGenerations))];
  plan.newBootloader = plan.blVersion == 0x0225 && c.Chance(30);
  // The E2PROM image built from the Flash areas has a slot for each of five.
  const std::size_t areas = plan.newBootloader ? 5 : c.Range(1, 5);
  for (std::size_t i = 0; i < areas; ++i) {
    // A bootloader upgrade moves the areas into the E2PROM's slots, the
    // smallest of which holds 256 bytes.
    plan.areaData.push_back(plan.newBootloader ? c.Range(2, 200) : c.LogRange(2, 20000));
  }
  plan.terminalApp = c.LogRange(200, maxApp);
  plan.packageApp = c.LogRange(200, maxApp);
  if (c.Chance(25))
    plan.resource = c.LogRange(1, 3 * 4096 + 7);
  // Where the terminal may differ, either way.
  plan.behaviour.clearMarkOnArrival = c.Chance(50);
  plan.behaviour.replyDelayMs = c.Range(1, 20);
  plan.behaviour.blockWriteMs = c.Range(2, 30);
  return plan;
}

sim::Device MakeTerminal(const TerminalPlan& plan) {
  sim::DeviceSpec spec;
  spec.blVersion = plan.blVersion;
  spec.terminalType = 1;
  spec.model = kModel;
  spec.appSize = plan.terminalApp;
  spec.dataVersion = plan.newBootloader ? kPackageData : kTerminalData;
  spec.paraCount = plan.areaData.size();
  for (std::size_t i = 0; i < sim::kMaxParaAreas; ++i) {
    const bool used = i < plan.areaData.size();
    const auto step = static_cast<std::uint32_t>(i) * kAreaStep;
    spec.areas[i] = {used ? kAreaBase + step : 0, used ? kCopyBase + step : 0,
                     used ? static_cast<std::uint32_t>(i + 1) : 0,
                     used ? data::FlashImageName(i + 1) : std::string()};
  }
  spec.areas[sim::kResourceEntry] = {kResourceAddr, kE2CopyAddr, 0, ""};
  spec.areas[sim::kAppEntry] = {kAppAddr, kAppLen, 0, "App.bin"};
  spec.areas[7] = {};
  sim::Device device = sim::MakeDevice(spec);
  for (std::size_t i = 0; i < device.para.size(); ++i) {
    device.para[i].primary.bytes =
        sim::MakeParaImage(i, spec.dataVersion, kModel, plan.areaData[i], spec.stamp);
    if (device.para[i].copy.capacity > 0)
      device.para[i].copy.bytes = device.para[i].primary.bytes;
  }
  return device;
}

link::Bytes PackageApp(const TerminalPlan& plan) {
  return sim::MakeAppFile(0x01000300, kModel, plan.packageApp);
}

bool WriteProgramDir(const TerminalPlan& plan, const std::string& dir,
                     const std::string& packageDir) {
  bool ok = data::CopyFileOverwrite(packageDir + "/Language.ini", dir + "/Language.ini");
  const std::string source = dir + "/SwUpdate-source.ini";
  ok = ok && data::WriteFileAtomic(source, Text(PackageSource(plan)));
  ok = ok && data::IniToBin(dir + "/SwUpdate.ini", source);
  data::RemoveFile(source);
  const link::Bytes app = PackageApp(plan);
  ok = ok && Put(dir, "SW/Flash/App.bin", app) && Put(dir, "SW/E2prom/App.bin", app);
  for (std::size_t i = 0; i < plan.areaData.size(); ++i) {
    ok = ok && Put(dir, "Data/InitData/Flash/" + data::FlashImageName(i + 1),
                   sim::MakeParaImage(i, kPackageData, kModel, 300 + 211 * i, {}));
  }
  ok = ok && Put(dir, "Data/InitData/E2prom/E2.dat", sim::MakeE2Image(kPackageData, kModel, {}));
  ok = ok && Put(dir, "Data/DataVer.ini",
                 Text("[DestPara]\r\nDestParaVer=" + Hex(kPackageData) + "\r\n"));
  if (!plan.newBootloader) {
    test::RuleWriter flash;
    for (std::size_t i = 0; i < plan.areaData.size(); ++i) {
      AddCopyBlock(flash, data::FlashImageName(i + 1), data::kFlashImageHeaderSize,
                   plan.areaData[i]);
    }
    test::RuleWriter e2prom;
    AddCopyBlock(e2prom, data::kE2ImageName, data::kE2HeaderSize,
                 data::kE2ImageSize - data::kE2HeaderSize);
    ok = ok && Put(dir, "Data/Rule/F2F/up.bin", flash.Bytes()) &&
         Put(dir, "Data/Rule/E2E/up.bin", e2prom.Bytes());
  } else {
    ok = ok && Put(dir, "Data/Bl/New_BL_230.bin", link::Bytes(3 * 4096 + 10, 0x42)) &&
         Put(dir, "Data/Bl/CheckE2/check.bin", link::Bytes(1000, 0x24));
  }
  if (plan.resource != 0) {
    link::Bytes rom(plan.resource);
    for (std::size_t i = 0; i < rom.size(); ++i)
      rom[i] = static_cast<std::uint8_t>(i * 7 + 3);
    ok = ok && Put(dir, "Data/Res/r.rom", rom);
  }
  return ok;
}

}  // namespace tavro::chaos
