#pragma once
// An advisory lock on one file, the way several instances of the tool take
// turns at files they share. The system drops the lock when its holder ends,
// so a program that crashed never leaves it taken. Each operating system has
// its own file: posix/file_lock.cpp (flock) and win32/file_lock.cpp
// (LockFileEx).

#include <cstdint>
#include <string>

namespace tavro::link {

enum class LockAttempt {
  kHeld,    // the lock is this object's now
  kBusy,    // another holder has it
  kFailed,  // the lock file cannot be opened or created
};

class FileLock {
 public:
  // Nothing is opened until the first attempt.
  explicit FileLock(std::string path) : path_(std::move(path)) {}
  ~FileLock() { Unlock(); }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Takes the lock if nobody holds it, without waiting. The file is created
  // (empty) when missing and never removed: removing a lock file while
  // another process waits on it would let two holders in.
  LockAttempt TryLock() { return Take(false); }
  // Waits until the lock is free and takes it; kFailed when the file cannot
  // be opened or the wait was broken off.
  LockAttempt Lock() { return Take(true); }
  void Unlock();

  bool held() const { return held_; }
  const std::string& path() const { return path_; }
  // The system's text for the last kFailed.
  const std::string& failure() const { return failure_; }

 private:
  bool OpenFile();
  LockAttempt Take(bool wait);

  std::string path_;
  std::intptr_t handle_ = -1;  // the backend's file descriptor or handle
  bool held_ = false;
  std::string failure_;
};

// Who holds the lock on `path` as the system tells it: "process <pid>
// (<name>)", "process <pid>", or "another program" when it does not say.
std::string LockHolderText(const std::string& path);

// This process's id, for names that must differ between processes.
std::uint32_t CurrentProcessId();

}  // namespace tavro::link
