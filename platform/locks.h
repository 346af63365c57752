// Advisory locks that keep two jobs out of one folder and off one log file. The system drops
// them when their holder dies, however it dies, so a crash leaves nothing to clean up.
#pragma once

#include <cstdio>
#include <string>

namespace platform {

// The file in a folder whose lock marks the folder as taken by a job.
inline constexpr const char* kFolderLockName = ".sonbalancer.lock";

// An exclusive lock on a folder, held through the file kFolderLockName in it. Another process
// holding it, or another FolderLock in this one, makes an acquire Busy.
class FolderLock {
 public:
  // Failed: the lock file cannot be opened or is not a plain file of this process's user (the
  // folder is missing or read-only, the lock name is a link or a folder, or another user's lock
  // file was left there).
  enum class Outcome { Held, Busy, Failed };

  FolderLock() = default;
  ~FolderLock();
  FolderLock(FolderLock&& other) noexcept;
  FolderLock& operator=(FolderLock&& other) noexcept;
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  // Takes the lock of folderPath, with or without a trailing separator, creating the lock
  // file (mode 0666 less the umask) when it is missing. Never waits for another holder. A lock
  // held before is released first.
  Outcome acquire(const std::string& folderPath);
  bool held() const;
  // Removes the lock file, then lets the lock go; nothing when none is held.
  void release();

 private:
  int descriptor_ = -1;
  std::string lockPath_;
};

// A log file written by one job at a time: opening it takes an exclusive lock, and a file that
// another job holds is left as it is.
class LockedLogFile {
 public:
  LockedLogFile() = default;
  ~LockedLogFile();
  LockedLogFile(LockedLogFile&& other) noexcept;
  LockedLogFile& operator=(LockedLogFile&& other) noexcept;
  LockedLogFile(const LockedLogFile&) = delete;
  LockedLogFile& operator=(const LockedLogFile&) = delete;

  // Creates the file (mode 0666 less the umask) or empties it once it is locked, and opens it
  // for writing; a file open before is closed first. False when another holder has the lock,
  // then busy() is true and the file is not changed, or when it cannot be opened or created.
  // A link, a pipe or a device, another user's file or a file with a second name at path is
  // never written: refused() is then true.
  bool open(const std::string& path);
  // Whether the last open failed because another holder has the lock.
  bool busy() const;
  // Whether the last open failed because something other than a plain file of ours, or a file
  // that cannot be opened, stands at the path (not for a folder there).
  bool refused() const;
  // The open file, or nullptr.
  std::FILE* stream() const;
  // Flushes and closes the file, which lets the lock go. A failed flush is not reported: call
  // std::fflush(stream()) first to know.
  void close();

 private:
  std::FILE* stream_ = nullptr;
  bool busy_ = false;
  bool refused_ = false;
};

}  // namespace platform
