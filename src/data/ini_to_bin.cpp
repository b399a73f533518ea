#include "data/ini_to_bin.hpp"

#include <cstdint>
#include <filesystem>
#include <vector>

#include "data/file_io.hpp"
#include "data/ini_file.hpp"
#include "data/number_parse.hpp"
#include "data/package.hpp"
#include "data/text_encoding.hpp"
#include "data/utf8_path.hpp"
#include "link/byte_order.hpp"

namespace tavro::data {
namespace {

constexpr const char* kMarkerSection = "Flash_Addr_Start";

// The group's file name, one byte per UTF-16 code unit (its low 8 bits),
// zero-padded to 32 bytes; a longer name is cut, leaving no terminator.
void PutFileName(std::uint8_t* out, const std::string& utf8) {
  const std::u16string units = Utf8ToUtf16(utf8);
  for (std::size_t i = 0; i < units.size() && i < kAreaFileNameSize; ++i) {
    out[i] = static_cast<std::uint8_t>(units[i] & 0xFF);
  }
}

void AppendAreaRecords(const CIni& ini, const std::string& section,
                       std::vector<std::uint8_t>& out) {
  const std::uint32_t addrType = ParseAutoBase(ini.GetString(section, "Addr_Type", "0"));
  const std::uint32_t blVer = ParseAutoBase(ini.GetString(section, "Bl_Ver", "0x0230"));
  const std::vector<std::string> keys = ini.GetKeyNames(section);
  for (std::size_t group = 0; group < keys.size() / 4; ++group) {
    auto value = [&](std::size_t k) { return ini.GetString(section, keys[4 * group + k], ""); };
    std::uint8_t record[kAreaRecordSize] = {};
    link::PutU32(record, addrType);
    link::PutU32(record + 4, static_cast<std::uint32_t>(group));
    link::PutU32(record + 8, blVer);
    link::PutU32(record + 12, ParseAutoBase(value(0)));
    link::PutU32(record + 16, ParseAutoBase(value(1)));
    link::PutU32(record + 20, ParseAutoBase(value(2)));
    PutFileName(record + kAreaFileNameOffset, value(3));
    out.insert(out.end(), record, record + kAreaRecordSize);
  }
}

}  // namespace

bool IniToBin(const std::string& outPath, const std::string& iniPath) {
  const CIni ini(iniPath);
  std::vector<std::uint8_t> out;
  link::AppendU32(out, ParseAutoBase(ini.GetString("DebugLevel", "DebugLevel", "0")));
  link::AppendU32(out, ParseAutoBase(ini.GetString("BLUpDataConfig", "BLUpDataConfig", "0")));
  link::AppendU32(out, ParseAutoBase(ini.GetString("ParaFileNum", "ParaFileTotalNum", "5")));
  link::AppendU32(out, ParseAutoBase(ini.GetString("ParaFileNum", "ParaFileRequisiteNum", "5")));

  const std::vector<std::string> sections = ini.GetSectionNames();
  std::size_t marker = 0;
  for (std::size_t i = 0; i < sections.size(); ++i) {
    if (sections[i] == kMarkerSection) {
      marker = i;
      break;
    }
  }
  for (std::size_t i = marker + 1; i < sections.size(); ++i) {
    AppendAreaRecords(ini, sections[i], out);
  }
  return WriteFileAtomic(outPath, out);
}

std::optional<std::string> IniToBinOutputPath(const std::string& sourcePath) {
  const std::filesystem::path source = Utf8Path(sourcePath);
  if (source.filename().empty())
    return std::nullopt;
  const std::filesystem::path folder = source.parent_path() / "NewIni";
  if (!CreateFolder(Utf8Of(folder)))
    return std::nullopt;
  return Utf8Of(folder / source.filename());
}

}  // namespace tavro::data
