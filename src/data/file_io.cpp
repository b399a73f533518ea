#include "data/file_io.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <system_error>

namespace tavro::data {
namespace fs = std::filesystem;

namespace {

// Closes a POSIX descriptor when it goes out of scope.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { Close(); }
  int get() const { return fd_; }
  bool Close() {
    if (fd_ < 0)
      return true;
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

char FoldAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Makes the rename itself durable; a failure here does not undo the write.
void SyncFolder(const fs::path& folder) {
  const Fd dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0)
    ::fsync(dir.get());
}

}  // namespace

std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::string& path, ReadError* why) {
  auto fail = [why](ReadError e) -> std::optional<std::vector<std::uint8_t>> {
    if (why != nullptr)
      *why = e;
    return std::nullopt;
  };
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0)
    return fail(ReadError::kCannotOpen);
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
    return fail(ReadError::kCannotOpen);

  std::vector<std::uint8_t> bytes;
  bytes.reserve(static_cast<std::size_t>(st.st_size));
  std::uint8_t chunk[65536];
  for (;;) {
    const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      return fail(ReadError::kReadFailed);
    }
    if (n == 0)
      break;
    bytes.insert(bytes.end(), chunk, chunk + n);
  }
  if (why != nullptr)
    *why = ReadError::kNone;
  return bytes;
}

bool WriteFileAtomic(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  static std::atomic<unsigned> counter{0};
  const fs::path target(path);
  if (target.filename().empty())
    return false;
  const fs::path folder = target.parent_path();

  // A unique name next to the target, so the rename never crosses file systems.
  fs::path temp;
  int raw = -1;
  for (int attempt = 0; attempt < 100 && raw < 0; ++attempt) {
    std::string name(1, '.');
    name.append(target.filename().string())
        .append(".tmp")
        .append(std::to_string(::getpid()))
        .append("-")
        .append(std::to_string(counter.fetch_add(1)));
    temp = folder / name;
    raw = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (raw < 0 && errno != EEXIST)
      return false;
  }
  if (raw < 0)
    return false;
  Fd fd(raw);

  struct stat old {};
  bool ok = true;
  if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
    ok = ::fchmod(fd.get(), old.st_mode & 07777) == 0;
  }
  ok = ok && WriteAll(fd.get(), bytes.data(), bytes.size());
  ok = ok && ::fsync(fd.get()) == 0;
  ok = fd.Close() && ok;
  ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  SyncFolder(folder);
  return true;
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && fs::exists(fs::path(path), ec);
}

bool FolderExists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && fs::is_directory(fs::path(path), ec);
}

std::optional<std::uint64_t> FileSize(const std::string& path) {
  std::error_code ec;
  if (!fs::is_regular_file(fs::path(path), ec))
    return std::nullopt;
  const auto size = fs::file_size(fs::path(path), ec);
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
  fs::directory_iterator it(fs::path(folder), ec);
  if (ec)
    return names;
  for (const fs::directory_iterator end; it != end; it.increment(ec)) {
    if (ec)
      break;
    std::error_code typeEc;
    if (!it->is_regular_file(typeEc))
      continue;
    std::string name = it->path().filename().string();
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
  fs::create_directory(fs::path(path), ec);
  return !ec && fs::is_directory(fs::path(path), ec);
}

bool CreateFolders(const std::string& path) {
  std::error_code ec;
  if (path.empty())
    return false;
  fs::create_directories(fs::path(path), ec);
  return !ec && fs::is_directory(fs::path(path), ec);
}

bool DeleteTree(const std::string& folder) {
  if (folder.empty())
    return false;
  const fs::path p(folder);
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
  const fs::path p(path);
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
