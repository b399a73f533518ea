#pragma once
// Who holds a serial device: the advisory lock every instance of this tool
// takes on the port it opens, looked up in the kernel's lock table so that a
// refused open can name the other process.

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

namespace tavro::link::posix {

struct LockHolder {
  pid_t pid = 0;
  std::string command;  // the process's name, empty when the system does not say
};

// The pid of the first lock in `table` (the text of /proc/locks) on the file
// `device` (st_dev) / `inode` (st_ino). Lines that do not parse are skipped.
std::optional<pid_t> LockHolderIn(std::string_view table, dev_t device, ino_t inode);

// The process holding a lock on the file at `path`, as far as the system
// tells (nothing when /proc is not there or the lock has gone).
std::optional<LockHolder> FindLockHolder(const std::string& path);

// "process <pid> (<name>)", "process <pid>", or "another program".
std::string HolderText(const std::optional<LockHolder>& holder);

// "in use by process <pid> (<name>)", or "in use by another program".
std::string InUseText(const std::optional<LockHolder>& holder);

// Why a port could not be opened, as the system says it; a permission
// error also says that serial ports belong to the group dialout and how a
// user joins it.
std::string OpenFailureReason(int error);

}  // namespace tavro::link::posix
