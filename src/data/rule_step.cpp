#include "data/rule_step.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <optional>

#include "data/backup_tree.hpp"
#include "data/file_io.hpp"
#include "data/para_images.hpp"
#include "data/rule_file.hpp"
#include "data/rule_image.hpp"
#include "data/utf8_path.hpp"
#include "link/file_lock.hpp"

namespace tavro::data {

namespace {

constexpr char kSep = '/';

// Reads a whole rule or source file, refusing one too large to be either.
std::optional<link::Bytes> ReadInput(const std::string& path, ConvertError& error) {
  const std::optional<std::uint64_t> size = FileSize(path);
  if (!size) {
    error = FileNotFound(path);
    return std::nullopt;
  }
  if (*size > kMaxRuleImageSize) {
    error = FileUnreadable(path, "larger than " + std::to_string(kMaxRuleImageSize) + " bytes");
    return std::nullopt;
  }
  ReadError why = ReadError::kNone;
  std::optional<link::Bytes> bytes = ReadWholeFile(path, &why);
  if (!bytes)
    error = why == ReadError::kCannotOpen ? FileNotFound(path) : FileUnreadable(path);
  return bytes;
}

// The source images of a step: the one loaded last stays loaded while the
// following records name it again.
class FolderSources : public SourceImages {
 public:
  explicit FolderSources(std::string folder) : folder_(std::move(folder)) {}

  const link::Bytes* Load(const std::string& name, ConvertError& error) override {
    if (loaded_ && name == name_)
      return &bytes_;
    loaded_ = false;
    std::optional<link::Bytes> bytes = ReadInput(folder_ + kSep + name, error);
    if (!bytes)
      return nullptr;
    bytes_ = std::move(*bytes);
    name_ = name;
    loaded_ = true;
    return &bytes_;
  }

 private:
  std::string folder_;
  bool loaded_ = false;
  std::string name_;
  link::Bytes bytes_;
};

// Removes the scratch folder when the step ends, on every path.
class ScratchFolder {
 public:
  explicit ScratchFolder(std::string path) : path_(std::move(path)) {}
  ~ScratchFolder() { DeleteTree(path_); }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

 private:
  std::string path_;
};

ConvertError FromParse(const std::string& rulePath, const RuleParseError& e) {
  ConvertError error;
  error.path = rulePath;
  if (e.fault == RuleFault::kByteErr) {
    error.kind = ConvertErrorKind::kRuleByteErr;
    error.text = "rule_" + std::to_string(e.offset) + "_byte_err";
    error.detail = e.why;
  } else {
    error.kind = ConvertErrorKind::kRuleInvalid;
    error.text = rulePath + ": offset " + std::to_string(e.offset) + ": " + e.why;
  }
  return error;
}

std::string HexLower(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%x", value);
  return text;
}

char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// File names as a desktop file system compares them.
bool SameIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return AsciiLower(x) == AsciiLower(y);
         });
}

// An image as it is moved into the output folder.
struct FinalImage {
  std::string name;
  link::Bytes bytes;
};

}  // namespace

std::string ScratchFolderName() {
  return "Temp-" + std::to_string(link::CurrentProcessId());
}

RuleVersionsResult RuleVersions(const std::string& rulePath) {
  RuleVersionsResult out;
  std::ifstream in(Utf8Path(rulePath), std::ios::binary);
  if (!FileSize(rulePath) || !in) {
    out.error = FileNotFound(rulePath);
    return out;
  }
  std::array<std::uint8_t, kRuleHeaderSize> header{};
  in.read(reinterpret_cast<char*>(header.data()), header.size());
  if (!in) {
    out.error = FileUnreadable(rulePath, "shorter than one block header (120 bytes)");
    return out;
  }
  out.srcVersion = link::GetU32(header.data() + 82);
  out.dstVersion = link::GetU32(header.data() + 86);
  return out;
}

std::string StepOutputFolder(const StepOutput& output, std::uint32_t dstVersion) {
  if (!output.folder.empty())
    return output.folder;
  switch (output.kind) {
    case kOutputInitE2prom:
      return output.programDir + kInitE2promFolder;
    case kOutputInitFlash:
      return output.programDir + kInitFlashFolder;
    default:
      return PortBackupFolder(output.programDir, output.comPort) + "/Conv/" + HexLower(dstVersion) +
             kSep + output.backupSetName;
  }
}

StepResult ConvertWithRule(const std::string& rulePath, const std::string& srcFolder,
                           int headerKind, const StepOutput& output, const link::TimeStamp& stamp) {
  StepResult result;
  const std::optional<link::Bytes> ruleBytes = ReadInput(rulePath, result.error);
  if (!ruleBytes)
    return result;
  const RuleParse parse = ParseRuleFile(*ruleBytes);
  if (!parse.ok()) {
    result.error = FromParse(rulePath, parse.error);
    return result;
  }
  result.srcVersion = parse.file.srcVersion;
  result.outFolder = StepOutputFolder(output, parse.file.dstVersion);
  const bool setNameNeeded =
      output.folder.empty() && output.kind != kOutputInitE2prom && output.kind != kOutputInitFlash;
  if (setNameNeeded && !IsPlainFileName(output.backupSetName)) {
    result.error = WriteFailed(result.outFolder, "into the folder");
    result.error.detail = "the backup set name is not a plain folder name";
    return result;
  }
  const std::string temp = result.outFolder + kSep + ScratchFolderName();
  // Leftovers of an interrupted run must not be moved in with this step's
  // images.
  DeleteTree(temp);
  if (!CreateFolders(temp)) {
    result.error = WriteFailed(temp, "into the folder");
    return result;
  }
  const ScratchFolder scratch(temp);

  FolderSources sources(srcFolder);
  const ImageOptions options{headerKind, stamp, rulePath};
  for (const RuleBlock& block : parse.file.blocks) {
    BlockImage image = BuildBlockImage(block, options, sources);
    if (!image.ok()) {
      result.error = std::move(image.error);
      return result;
    }
    const std::string path = temp + kSep + block.outName;
    if (!WriteFileAtomic(path, image.bytes)) {
      result.error = WriteFailed(path, "the image");
      return result;
    }
  }
  FinishResult finish = FinishConversion(temp, result.outFolder);
  if (!finish.ok()) {
    result.error = std::move(finish.error);
    return result;
  }
  result.written = std::move(finish.written);
  result.newVersion = parse.file.dstVersion;
  return result;
}

FinishResult FinishConversion(const std::string& tempFolder, const std::string& outFolder) {
  FinishResult result;
  const ScratchFolder scratch(tempFolder);
  std::vector<FinalImage> images;
  for (const std::string& name : ListFiles(tempFolder, "*.dat")) {
    const std::string path = tempFolder + kSep + name;
    // The step's own images: their size was bounded when they were built.
    ReadError why = ReadError::kNone;
    std::optional<link::Bytes> bytes = ReadWholeFile(path, &why);
    if (!bytes) {
      result.error = why == ReadError::kCannotOpen ? FileNotFound(path) : FileUnreadable(path);
      return result;
    }
    const bool e2 = name.find(kE2ImageName) != std::string::npos;
    const std::size_t header = e2 ? kE2HeaderSize : kFlashImageHeaderSize;
    if (bytes->size() < header) {
      result.error = FileUnreadable(
          path, "shorter than the " + std::to_string(header) + "-byte header of its image");
      return result;
    }
    // A Flash image counts only the data after its header block.
    link::PutU32(bytes->data() + 2,
                 static_cast<std::uint32_t>(e2 ? bytes->size() : bytes->size() - header));
    images.push_back(FinalImage{FinalImageName(name), std::move(*bytes)});
  }
  if (!CreateFolders(outFolder)) {
    result.error = WriteFailed(outFolder, "into the folder");
    return result;
  }
  for (const FinalImage& image : images) {
    const std::string path = outFolder + kSep + image.name;
    if (!WriteFileAtomic(path, image.bytes)) {
      result.error = WriteFailed(path, "the image");
      return result;
    }
    result.written.push_back(path);
  }
  // The images of the old version that this step did not replace go.
  for (const std::string& name : ListFiles(outFolder, "*.dat")) {
    const bool kept = std::any_of(images.begin(), images.end(), [&name](const FinalImage& image) {
      return SameIgnoringCase(image.name, name);
    });
    if (!kept && !RemoveFile(outFolder + kSep + name)) {
      result.error = RemoveFailed(outFolder + kSep + name);
      return result;
    }
  }
  return result;
}

}  // namespace tavro::data
