// File reads, atomic writes and file stamps on POSIX: descriptors, fsync of
// the file and of its folder, and rename(2).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>

#include "data/file_io.hpp"
#include "data/file_stamp.hpp"

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

std::optional<FileStamp> StampOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0)
    return std::nullopt;
  FileStamp stamp;
  stamp.device = static_cast<std::uint64_t>(st.st_dev);
  stamp.inode = static_cast<std::uint64_t>(st.st_ino);
  stamp.size = static_cast<std::int64_t>(st.st_size);
  stamp.modified = StampTime{st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
  stamp.changed = StampTime{st.st_ctim.tv_sec, st.st_ctim.tv_nsec};
  return stamp;
}

std::FILE* CreateNewFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0)
    return nullptr;
  std::FILE* file = ::fdopen(fd, "wb");
  if (file == nullptr)
    ::close(fd);
  return file;
}

}  // namespace tavro::data
