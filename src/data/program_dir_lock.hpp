#pragma once
// The lock of a program directory. Several instances of the tool (one per
// COM port) may work on one program directory; the files they share (the
// initial data, the package marker, NewIni) change only while one of them
// holds this lock, and only for as long as they change. The folders of one
// port (Backup/TAVR<n>) belong to the one instance that has the port open
// and need no lock.

#include <functional>
#include <string>

#include "link/file_lock.hpp"

namespace tavro::data {

// Beside SwUpdate.ini; empty, created by the first instance that locks.
inline constexpr const char* kProgramDirLockFile = "/SwUpdate.lock";

class ProgramDirLock {
 public:
  using WaitNotice = std::function<void(const std::string& holder)>;

  // Takes the lock of `programDir`. When another instance holds it,
  // `onWait` is called once with who that is (LockHolderText) before the
  // wait begins.
  ProgramDirLock(const std::string& programDir, const WaitNotice& onWait);

  // False when the lock file cannot be opened (a program directory that
  // cannot be written): the caller goes on, and its writes fail on their own.
  bool held() const { return lock_.held(); }
  const std::string& failure() const { return lock_.failure(); }
  const std::string& path() const { return lock_.path(); }

 private:
  link::FileLock lock_;
};

}  // namespace tavro::data
