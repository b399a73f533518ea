#include "link/posix/port_lock.hpp"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

namespace tavro::link::posix {
namespace {

template <typename T>
bool ParseNumber(std::string_view text, T& value, int base) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
  return ec == std::errc() && ptr == end;
}

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
      ++i;
    const std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t')
      ++i;
    if (i > start)
      fields.push_back(line.substr(start, i - start));
  }
  return fields;
}

// "MAJOR:MINOR:INODE" with the device numbers in hex.
bool SameFile(std::string_view id, dev_t device, ino_t inode) {
  const std::size_t first = id.find(':');
  const std::size_t second = first == std::string_view::npos ? first : id.find(':', first + 1);
  if (second == std::string_view::npos)
    return false;
  unsigned int maj = 0;
  unsigned int min = 0;
  unsigned long long ino = 0;
  return ParseNumber(id.substr(0, first), maj, 16) &&
         ParseNumber(id.substr(first + 1, second - first - 1), min, 16) &&
         ParseNumber(id.substr(second + 1), ino, 10) && maj == major(device) &&
         min == minor(device) && ino == inode;
}

}  // namespace

std::optional<pid_t> LockHolderIn(std::string_view table, dev_t device, ino_t inode) {
  while (!table.empty()) {
    const std::size_t end = table.find('\n');
    const std::string_view line = table.substr(0, end);
    table = end == std::string_view::npos ? std::string_view() : table.substr(end + 1);
    // "1: FLOCK  ADVISORY  WRITE 1234 00:05:86 0 EOF"; a waiting lock is
    // marked "->" after the number and holds nothing yet.
    const std::vector<std::string_view> f = Fields(line);
    if (f.size() < 6 || f[1] == "->")
      continue;
    pid_t pid = 0;
    if (ParseNumber(f[4], pid, 10) && pid > 0 && SameFile(f[5], device, inode))
      return pid;
  }
  return std::nullopt;
}

std::optional<LockHolder> FindLockHolder(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0)
    return std::nullopt;
  std::ifstream locks("/proc/locks");
  if (!locks)
    return std::nullopt;
  const std::string table((std::istreambuf_iterator<char>(locks)),
                          std::istreambuf_iterator<char>());
  const std::optional<pid_t> pid = LockHolderIn(table, st.st_dev, st.st_ino);
  if (!pid)
    return std::nullopt;
  LockHolder holder{*pid, {}};
  std::ifstream comm("/proc/" + std::to_string(*pid) + "/comm");
  std::getline(comm, holder.command);
  return holder;
}

std::string HolderText(const std::optional<LockHolder>& holder) {
  if (!holder)
    return "another program";
  std::string text = "process " + std::to_string(holder->pid);
  if (!holder->command.empty())
    text += " (" + holder->command + ")";
  return text;
}

std::string InUseText(const std::optional<LockHolder>& holder) {
  return "in use by " + HolderText(holder);
}

std::string OpenFailureReason(int error) {
  std::string text = std::strerror(error);
  if (error == EACCES || error == EPERM) {
    text +=
        " (serial ports belong to the group dialout: sudo usermod -aG dialout $USER, then log in "
        "again)";
  }
  return text;
}

}  // namespace tavro::link::posix
