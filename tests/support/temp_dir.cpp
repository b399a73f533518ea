#include "support/temp_dir.hpp"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <system_error>
#include <vector>

namespace tavro::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::error_code ec;
  const fs::path base = fs::temp_directory_path(ec);
  std::random_device seed;
  std::mt19937_64 random(seed());
  // A new folder of a random name: create_directory fails on one that exists.
  // Six characters, as mkdtemp makes them: paths in the tools' output stay
  // short enough for the console's line width.
  constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    std::string name = "tavro-test-";
    for (int i = 0; i < 6; ++i)
      name += kChars[random() % (sizeof kChars - 1)];
    const fs::path candidate = base / name;
    if (fs::create_directory(candidate, ec))
      path_ = candidate.generic_string();
  }
}

TempDir::~TempDir() {
  if (path_.empty())
    return;
  std::error_code ec;
  // A test may have made parts read-only; give them back before removing.
  for (auto it = fs::recursive_directory_iterator(path_, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

std::string TempDir::PathOf(std::string_view relative) const {
  return path_ + "/" + std::string(relative);
}

bool TempDir::Write(std::string_view relative, std::string_view content) const {
  const fs::path p = PathOf(relative);
  std::error_code ec;
  fs::create_directories(p.parent_path(), ec);
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  return static_cast<bool>(out);
}

std::string TempDir::Read(std::string_view relative) const {
  std::ifstream in(PathOf(relative), std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool TempDir::Exists(std::string_view relative) const {
  std::error_code ec;
  return fs::exists(PathOf(relative), ec);
}

bool TempDir::MakeFolder(std::string_view relative) const {
  std::error_code ec;
  fs::create_directories(PathOf(relative), ec);
  return !ec;
}

}  // namespace tavro::test
