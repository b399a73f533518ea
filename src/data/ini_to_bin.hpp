#pragma once
// The package builder: turns the human-editable source of a package
// description into the binary SwUpdate.ini layout read by ParsePackage.
//
// Source layout: header values in sections "DebugLevel", "BLUpDataConfig"
// and "ParaFileNum" (defaults 0, 0, 5, 5); every section after the first
// "Flash_Addr_Start" (or after the first section when there is none) is an
// area section. Its Addr_Type and Bl_Ver (defaults 0 and 0x0230) apply to
// all its records; all its keys, in file order, are cut into groups of four
// (address, length, third value, file name) giving records 0, 1, ...;
// a trailing group of fewer than four keys is ignored.

#include <optional>
#include <string>

namespace tavro::data {

// Writes the binary description of `iniPath` to `outPath`, whole or not at
// all. A missing source reads as empty (header 0, 0, 5, 5, no records).
// Returns false when the output cannot be written.
bool IniToBin(const std::string& outPath, const std::string& iniPath);

// <folder of sourcePath>/NewIni/<file name of sourcePath>; creates the
// NewIni folder (an existing one is fine). nullopt when it cannot be created.
std::optional<std::string> IniToBinOutputPath(const std::string& sourcePath);

}  // namespace tavro::data
