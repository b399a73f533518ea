#include "data/program_dir_lock.hpp"

namespace tavro::data {

ProgramDirLock::ProgramDirLock(const std::string& programDir, const WaitNotice& onWait)
    : lock_(programDir + kProgramDirLockFile) {
  if (lock_.TryLock() != link::LockAttempt::kBusy)
    return;
  if (onWait)
    onWait(link::LockHolderText(lock_.path()));
  lock_.Lock();
}

}  // namespace tavro::data
