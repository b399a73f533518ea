#pragma once
// The state of a file that any change to it alters: the file's identity (an
// atomic replace makes a new one), its size and both times. The change time
// is set by the system on every change, also when a writer restores the
// modification time. StampOf is the platform's (file_system_<platform>.cpp).

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace tavro::data {

// A point in time since 1970 in seconds and nanoseconds.
struct StampTime {
  std::int64_t sec = 0;
  std::int64_t nsec = 0;
  friend bool operator==(const StampTime&, const StampTime&) = default;
  friend auto operator<=>(const StampTime&, const StampTime&) = default;
};

struct FileStamp {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;  // the file index on Windows
  std::int64_t size = 0;
  StampTime modified;
  StampTime changed;
  friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// Nothing when `path` cannot be looked at.
std::optional<FileStamp> StampOf(const std::string& path);

// The wall clock on the stamps' scale.
inline StampTime StampNow() {
  const auto since = std::chrono::system_clock::now().time_since_epoch();
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(since).count();
  return StampTime{ns / 1000000000, ns % 1000000000};
}

}  // namespace tavro::data
