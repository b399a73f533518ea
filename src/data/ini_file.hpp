#pragma once
// Private-profile (INI) access bound to one file: the language file, the
// data version file, download records and the package builder's source.
// Section and key names match case-insensitively; values of any length.

#include <string>
#include <string_view>
#include <vector>

namespace tavro::data {

class CIni {
 public:
  CIni() = default;
  explicit CIni(std::string path) : path_(std::move(path)) {}
  virtual ~CIni() = default;

  // Binds the accessor to `path`; an empty path leaves an empty binding.
  void Bind(std::string path) { path_ = std::move(path); }
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

 private:
  std::string path_;
};

}  // namespace tavro::data
