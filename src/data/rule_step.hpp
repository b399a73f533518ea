#pragma once
// One conversion step: a rule file applied to the images of a source folder,
// producing the images of the next data version in an output folder. The
// rule file is checked whole first, every image is built in memory and
// written whole into the output folder's scratch folder, and only a
// step that produced every image moves them into place. Temp is removed
// when the step ends, whatever the result, so no step ever sees another
// step's leftovers.

#include <cstdint>
#include <string>
#include <vector>

#include "data/convert_error.hpp"
#include "link/time_stamp.hpp"

namespace tavro::data {

// "Temp-<process id>": each instance converts in a scratch folder of its
// own, so two instances converting into one folder at the same time never
// take each other's images.
std::string ScratchFolderName();

struct RuleVersionsResult {
  std::uint32_t srcVersion = 0;
  std::uint32_t dstVersion = 0;
  ConvertError error;  // the versions are 0 when set

  bool ok() const { return error.ok(); }
};

// The versions in the first block header of a rule file. A file that
// cannot be opened gives kNotExist; one shorter than a block header
// kReadInErr.
RuleVersionsResult RuleVersions(const std::string& rulePath);

// Where a step writes.
enum OutputKind : int {
  kOutputConv = 0,        // programDir/Backup/TAVR<n>/Conv/<dst, "%x">/<backup set>
  kOutputInitE2prom = 1,  // programDir/Data/InitData/E2prom
  kOutputInitFlash = 2,   // programDir/Data/InitData/Flash
  // any other value: as kOutputConv
};

struct StepOutput {
  int kind = kOutputConv;
  std::string programDir;
  std::uint32_t comPort = 0;
  std::string backupSetName;  // the read-back's data folder name, for kOutputConv
  std::string folder;         // when set, the step writes here whatever the kind
};

// The output folder of a step that produces `dstVersion`.
std::string StepOutputFolder(const StepOutput& output, std::uint32_t dstVersion);

struct StepResult {
  ConvertError error;
  std::string outFolder;
  std::uint32_t srcVersion = 0;
  std::uint32_t newVersion = 0;      // the version produced
  std::vector<std::string> written;  // paths of the final images

  bool ok() const { return error.ok(); }
};

// Converts the images of `srcFolder` with the rule file: each block's image
// gets the header of `headerKind` (see HeaderKind) stamped with `stamp`. The
// output folder and its levels are created as needed. On failure nothing in
// the output folder has changed.
StepResult ConvertWithRule(const std::string& rulePath, const std::string& srcFolder,
                           int headerKind, const StepOutput& output, const link::TimeStamp& stamp);

struct FinishResult {
  ConvertError error;
  std::vector<std::string> written;  // paths of the final images

  bool ok() const { return error.ok(); }
};

// Moves the images of `tempFolder` into `outFolder`: an image whose name
// contains "E2.dat" becomes E2.dat with DataSize (offset 2) = its length;
// any other becomes its last five characters (V2_1.dat -> 1.dat) with
// DataSize = its length - 512. The "*.dat" already in `outFolder` are
// replaced: after a move it holds the moved images and no other "*.dat".
// Every image is read and checked before anything is written; an image too
// short for its header (32 or 512 bytes) is kReadInErr. `tempFolder` is
// removed at the end, whatever the result.
FinishResult FinishConversion(const std::string& tempFolder, const std::string& outFolder);

}  // namespace tavro::data
