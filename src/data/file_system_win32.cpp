// File reads, atomic writes and file stamps on Windows: a temporary file
// flushed to the disk and moved over the target with write-through.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <string>

#include "data/file_io.hpp"
#include "data/file_stamp.hpp"
#include "link/win32/wide_path.hpp"

namespace tavro::data {
namespace {

std::wstring Wide(const std::string& path) {
  return link::win32::WidePath(path);
}

class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() { Close(); }
  HANDLE get() const { return h_; }
  void Reset(HANDLE h) {
    Close();
    h_ = h;
  }
  bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
  bool Close() {
    if (!valid())
      return true;
    const bool ok = ::CloseHandle(h_) != 0;
    h_ = INVALID_HANDLE_VALUE;
    return ok;
  }

 private:
  HANDLE h_;
};

// 100 ns steps since 1601 → seconds and nanoseconds since 1970.
StampTime FromFileTime(std::int64_t ticks) {
  constexpr std::int64_t kTicksTo1970 = 116444736000000000LL;
  const std::int64_t since = ticks - kTicksTo1970;
  std::int64_t sec = since / 10000000;
  std::int64_t rest = since % 10000000;
  if (rest < 0) {
    rest += 10000000;
    --sec;
  }
  return StampTime{sec, rest * 100};
}

}  // namespace

std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::string& path, ReadError* why) {
  auto fail = [why](ReadError e) -> std::optional<std::vector<std::uint8_t>> {
    if (why != nullptr)
      *why = e;
    return std::nullopt;
  };
  Handle file(::CreateFileW(Wide(path).c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid())
    return fail(ReadError::kCannotOpen);
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(file.get(), &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return fail(ReadError::kCannotOpen);
  }
  std::vector<std::uint8_t> bytes;
  bytes.reserve((static_cast<std::size_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
  std::uint8_t chunk[65536];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr))
      return fail(ReadError::kReadFailed);
    if (got == 0)
      break;
    bytes.insert(bytes.end(), chunk, chunk + got);
  }
  if (why != nullptr)
    *why = ReadError::kNone;
  return bytes;
}

bool WriteFileAtomic(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  static std::atomic<unsigned> counter{0};
  const std::size_t slash = path.find_last_of("/\\");
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty())
    return false;
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);

  // A unique name next to the target, so the move never crosses volumes.
  std::wstring temp;
  Handle file(INVALID_HANDLE_VALUE);
  for (int attempt = 0; attempt < 100 && !file.valid(); ++attempt) {
    temp = Wide(folder + "." + name + ".tmp" + std::to_string(::GetCurrentProcessId()) + "-" +
                std::to_string(counter.fetch_add(1)));
    file.Reset(::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid() && ::GetLastError() != ERROR_FILE_EXISTS)
      return false;
  }
  if (!file.valid())
    return false;

  bool ok = true;
  std::size_t done = 0;
  while (ok && done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
    DWORD wrote = 0;
    ok = ::WriteFile(file.get(), bytes.data() + done, chunk, &wrote, nullptr) != 0 && wrote > 0;
    done += wrote;
  }
  ok = ok && ::FlushFileBuffers(file.get()) != 0;
  ok = file.Close() && ok;
  ok = ok && ::MoveFileExW(temp.c_str(), Wide(path).c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  if (!ok) {
    ::DeleteFileW(temp.c_str());
    return false;
  }
  return true;
}

std::optional<FileStamp> StampOf(const std::string& path) {
  // Opened for its attributes only, so a file another program holds open
  // for writing can still be looked at.
  Handle file(::CreateFileW(Wide(path).c_str(), FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file.valid())
    return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info{};
  FILE_BASIC_INFO basic{};
  if (!::GetFileInformationByHandle(file.get(), &info) ||
      !::GetFileInformationByHandleEx(file.get(), FileBasicInfo, &basic, sizeof basic)) {
    return std::nullopt;
  }
  FileStamp stamp;
  stamp.device = info.dwVolumeSerialNumber;
  stamp.inode = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  stamp.size = static_cast<std::int64_t>((static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) |
                                         info.nFileSizeLow);
  stamp.modified = FromFileTime(basic.LastWriteTime.QuadPart);
  stamp.changed = FromFileTime(basic.ChangeTime.QuadPart);
  return stamp;
}

std::FILE* CreateNewFile(const std::string& path) {
  // The C library's "x" mode is not honoured here; _O_EXCL is.
  const int fd = ::_wopen(Wide(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                          _S_IREAD | _S_IWRITE);
  if (fd < 0)
    return nullptr;
  std::FILE* file = ::_fdopen(fd, "wb");
  if (file == nullptr)
    ::_close(fd);
  return file;
}

}  // namespace tavro::data
