#pragma once
// Private-profile (INI) access bound to one file: the language file, the
// data version file, download records and the package builder's source.
// Section and key names match case-insensitively; values of any length.
//
// Reads are served from the file as parsed the last time it was read. Before
// each read the file's state (device, inode, size, modification and change
// times) is compared with the one it was parsed at; any difference, or a file
// changed so recently that a further change could leave that state as it is,
// has it read again. So a write by another program or another CIni object
// is seen on the next read, as with reading the whole file every time.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tavro::data {

class CIni {
 public:
  CIni() = default;
  explicit CIni(std::string path) : path_(std::move(path)) {}
  CIni(const CIni& other);
  CIni& operator=(const CIni& other);
  virtual ~CIni() = default;

  // Binds the accessor to `path`; an empty path leaves an empty binding.
  void Bind(std::string path);
  const std::string& Path() const { return path_; }

  // Value of `key` in `section`, or `def` when the file, section or key is missing.
  std::string GetString(std::string_view section, std::string_view key, std::string_view def) const;
  // Writes key=value, creating the file, section or key as needed and keeping
  // the rest of the file as it was. The file is replaced whole (temporary
  // file + rename). Returns false when the file cannot be written.
  bool WriteString(std::string_view section, std::string_view key, std::string_view value);
  // Section names in file order.
  std::vector<std::string> GetSectionNames() const;
  // Keys of the section's key=value lines in file order, blanks trimmed;
  // lines without '=' or starting with '=' are skipped.
  std::vector<std::string> GetKeyNames(std::string_view section) const;

  // How often a lookup of this object has read the file from the disk.
  std::uint64_t FileReads() const;

  // A file whose last change lies less than this before a read is read
  // again on the next one: within that window a change may not show in its
  // times (coarse file-system clocks, FAT's two-second steps).
  static constexpr std::int64_t kSettleSeconds = 2;

 private:
  struct Snapshot;
  // The content to read from: the cached parse when the file is as it was,
  // else the file read and parsed anew (an empty one when it is missing).
  std::shared_ptr<const Snapshot> Current() const;

  std::string path_;
  mutable std::mutex mutex_;  // guards cache_ and fileReads_
  mutable std::shared_ptr<const Snapshot> cache_;
  mutable std::uint64_t fileReads_ = 0;
};

}  // namespace tavro::data
