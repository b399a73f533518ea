#include "data/file_io.hpp"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "data/utf8_path.hpp"

namespace tavro::data {
namespace fs = std::filesystem;

namespace {

char FoldAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool FileExists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && fs::exists(Utf8Path(path), ec);
}

bool FolderExists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && fs::is_directory(Utf8Path(path), ec);
}

std::optional<std::uint64_t> FileSize(const std::string& path) {
  std::error_code ec;
  if (!fs::is_regular_file(Utf8Path(path), ec))
    return std::nullopt;
  const auto size = fs::file_size(Utf8Path(path), ec);
  if (ec)
    return std::nullopt;
  return static_cast<std::uint64_t>(size);
}

bool WildcardMatch(const std::string& pattern, const std::string& name) {
  if (pattern == "*.*")
    return true;
  // Greedy match with one back-track point: the last '*' seen.
  std::size_t p = 0, n = 0, starP = std::string::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() &&
               (pattern[p] == '?' || FoldAscii(pattern[p]) == FoldAscii(name[n]))) {
      ++p;
      ++n;
    } else if (starP != std::string::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*')
    ++p;
  return p == pattern.size();
}

std::vector<std::string> ListFiles(const std::string& folder, const std::string& pattern) {
  std::vector<std::string> names;
  std::error_code ec;
  fs::directory_iterator it(Utf8Path(folder), ec);
  if (ec)
    return names;
  for (const fs::directory_iterator end; it != end; it.increment(ec)) {
    if (ec)
      break;
    std::error_code typeEc;
    if (!it->is_regular_file(typeEc))
      continue;
    std::string name = Utf8Of(it->path().filename());
    if (WildcardMatch(pattern, name))
      names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    const bool lessFolded =
        std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                     [](char x, char y) { return FoldAscii(x) < FoldAscii(y); });
    const bool greaterFolded =
        std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(),
                                     [](char x, char y) { return FoldAscii(x) < FoldAscii(y); });
    if (lessFolded != greaterFolded)
      return lessFolded;
    return a < b;
  });
  return names;
}

bool IsPlainFileName(std::string_view name) {
  if (name.empty() || name == "." || name == "..")
    return false;
  // ':' would name a drive or a stream on Windows.
  return name.find_first_of(std::string_view("/\\:\0", 4)) == std::string_view::npos;
}

bool CreateFolder(const std::string& path) {
  std::error_code ec;
  if (path.empty())
    return false;
  fs::create_directory(Utf8Path(path), ec);
  return !ec && fs::is_directory(Utf8Path(path), ec);
}

bool CreateFolders(const std::string& path) {
  std::error_code ec;
  if (path.empty())
    return false;
  fs::create_directories(Utf8Path(path), ec);
  return !ec && fs::is_directory(Utf8Path(path), ec);
}

bool DeleteTree(const std::string& folder) {
  if (folder.empty())
    return false;
  const fs::path p = Utf8Path(folder);
  if (p.relative_path().empty())
    return false;  // "/" or a bare root name
  std::error_code ec;
  fs::remove_all(p, ec);
  return !fs::exists(fs::symlink_status(p, ec));
}

bool RemoveFile(const std::string& path) {
  std::error_code ec;
  if (path.empty())
    return false;
  const fs::path p = Utf8Path(path);
  if (fs::is_directory(fs::symlink_status(p, ec)))
    return false;
  fs::remove(p, ec);
  return !ec;
}

bool CopyFileOverwrite(const std::string& from, const std::string& to) {
  const auto bytes = ReadWholeFile(from);
  return bytes.has_value() && WriteFileAtomic(to, *bytes);
}

}  // namespace tavro::data
