#include "data/package.hpp"

#include "data/file_io.hpp"
#include "data/ini_file.hpp"
#include "data/number_parse.hpp"
#include "data/text_encoding.hpp"
#include "link/byte_order.hpp"

namespace tavro::data {

std::uint32_t BlVersionClass(std::uint16_t blVersion) {
  if (blVersion < 0x200)
    return 0x100;
  if (blVersion < 0x210)
    return 0x200;
  if (blVersion < 0x230)
    return 0x220;
  return 0x230;
}

bool ParsePackage(std::span<const std::uint8_t> file, std::uint32_t terminalType,
                  std::uint16_t blVersion, PackageValues& values, AreaTable& areas) {
  if (file.size() < kPackageHeaderSize)
    return false;
  const std::uint8_t* p = file.data();
  values.debugLevel = link::GetU32(p);
  values.blUpDataConfig = link::GetU32(p + 4);
  values.paraFileTotalNum = static_cast<std::uint8_t>(link::GetU32(p + 8));
  values.paraFileRequisiteNum = static_cast<std::uint8_t>(link::GetU32(p + 12));

  areas = AreaTable{};
  const std::uint32_t blClass = BlVersionClass(blVersion);
  for (std::size_t off = kPackageHeaderSize; file.size() - off >= kAreaRecordSize;
       off += kAreaRecordSize) {
    const std::uint8_t* r = p + off;
    const std::uint32_t index = link::GetU32(r + 4);
    if (link::GetU32(r) != terminalType || link::GetU32(r + 8) != blClass)
      continue;
    if (index >= areas.size())
      continue;
    AreaEntry& e = areas[index];
    e.areaAddr = link::GetU32(r + 12);
    e.areaLen = link::GetU32(r + 16);
    e.areaArg = link::GetU32(r + 20);
    const char* name = reinterpret_cast<const char*>(r + kAreaFileNameOffset);
    std::size_t len = 0;
    while (len < kAreaFileNameSize && name[len] != '\0')
      ++len;
    e.fileName = Latin1ToUtf8(std::string_view(name, len));
    e.present = true;
  }
  return true;
}

bool AreasUsable(const AreaTable& areas, const PackageValues& values, std::uint16_t blVersion) {
  for (const AreaEntry& e : areas) {
    if (e.present && !e.fileName.empty() && !IsPlainFileName(e.fileName))
      return false;
  }
  // The App backup file is named after the App entry.
  if (!areas[kAppAreaIndex].present || areas[kAppAreaIndex].fileName.empty())
    return false;
  if (blVersion >= 0x230)
    return true;  // the parameter data is read as one E2PROM image
  // Parameter areas come before the App entry, each with its image's name.
  if (values.paraFileTotalNum > kAppAreaIndex)
    return false;
  for (std::size_t i = 0; i < values.paraFileTotalNum; ++i) {
    if (!areas[i].present || areas[i].fileName.empty())
      return false;
  }
  return true;
}

PackageError ReadPackage(const std::string& programDir, std::uint32_t terminalType,
                         std::uint16_t blVersion, PackageValues& values, AreaTable& areas) {
  ReadError why = ReadError::kNone;
  const auto bytes = ReadWholeFile(programDir + kPackageFileName, &why);
  if (!bytes)
    return why == ReadError::kCannotOpen ? PackageError::kNotFound : PackageError::kUnreadable;
  // A file cut short or padded is as unusable as one that cannot be read:
  // its records can no longer be trusted.
  if (bytes->size() < kPackageHeaderSize ||
      (bytes->size() - kPackageHeaderSize) % kAreaRecordSize != 0)
    return PackageError::kUnreadable;
  if (!ParsePackage(*bytes, terminalType, blVersion, values, areas))
    return PackageError::kUnreadable;
  return PackageError::kNone;
}

std::uint32_t ReadDestVersion(const std::string& programDir) {
  const CIni ini(programDir + kDataVersionFile);
  return ParseAutoBase(ini.GetString("DestPara", "DestParaVer", "0"));
}

}  // namespace tavro::data
