#pragma once
// The download package description SwUpdate.ini (a binary file despite its
// name): a 16-byte header of package values followed by 56-byte area
// records, each for one terminal type and bootloader class.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace tavro::data {

// One parameter or program area of the terminal's Flash.
struct AreaEntry {
  std::uint32_t areaAddr = 0;
  std::uint32_t areaLen = 0;
  std::uint32_t areaArg = 0;  // third value, passed along with the area requests
  std::string fileName;       // UTF-8
  bool present = false;       // a record of the package filled this entry
};
using AreaTable = std::array<AreaEntry, 8>;
inline constexpr int kAppAreaIndex = 6;

struct PackageValues {
  std::uint32_t debugLevel = 0;
  std::uint32_t blUpDataConfig = 0;
  std::uint8_t paraFileTotalNum = 0;
  std::uint8_t paraFileRequisiteNum = 0;
};

// Sizes of the binary layout.
inline constexpr std::size_t kPackageHeaderSize = 16;
inline constexpr std::size_t kAreaRecordSize = 56;
inline constexpr std::size_t kAreaFileNameSize = 32;
inline constexpr std::size_t kAreaFileNameOffset = 24;

inline constexpr const char* kPackageFileName = "/SwUpdate.ini";
inline constexpr const char* kDataVersionFile = "/Data/DataVer.ini";

// Bootloader version class of a terminal: 0x100 below 0x200, 0x200 up to
// 0x20F, 0x220 from 0x210 to 0x22F, 0x230 from 0x230 on.
std::uint32_t BlVersionClass(std::uint16_t blVersion);

// Takes the header values and fills `areas` from the records whose terminal
// type and bootloader class match. The table is emptied first; a record
// whose index lies outside the table and a trailing partial record are
// skipped. File names are 8-bit: byte b is read as U+00b (ISO 8859-1).
// Returns false, changing nothing, when the file is shorter than the header.
bool ParsePackage(std::span<const std::uint8_t> file, std::uint32_t terminalType,
                  std::uint16_t blVersion, PackageValues& values, AreaTable& areas);

// Why the package description could not be used.
enum class PackageError {
  kNone,
  kNotFound,    // the file cannot be opened: reported with F_NotExist
  kUnreadable,  // cannot be read, or not a whole header and records: F_ReadInErr
};

// True when `areas` can drive an operation on this terminal: the App entry
// is there with a file name and, for a terminal that keeps its data in Flash
// areas, so is every one of the first `paraFileTotalNum` entries (which must
// all lie before the App entry); every file name given is plain (no folder
// part, not "." or ".."), because backups are written under these names.
bool AreasUsable(const AreaTable& areas, const PackageValues& values, std::uint16_t blVersion);


// Reads programDir + "/SwUpdate.ini" and parses it. The file must be a
// header and whole records. On an error `values` and `areas` keep their contents; the caller
// reports the path with the text the error names.
PackageError ReadPackage(const std::string& programDir, std::uint32_t terminalType,
                         std::uint16_t blVersion, PackageValues& values, AreaTable& areas);

// Destination parameter data version from programDir + "/Data/DataVer.ini"
// (section "DestPara", key "DestParaVer", "0" when missing). Callers check
// that the file exists first.
std::uint32_t ReadDestVersion(const std::string& programDir);

}  // namespace tavro::data
