#include "platform/locks.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace platform {

namespace {

// Each retry means a holder released (and removed the file) between our open and our lock; a
// folder churned that fast for this long is reported as failed rather than spun on forever.
constexpr int kMaxLockAttempts = 100;

// flock, not fcntl locks: these belong to the open file, so a second FolderLock in this process
// is refused as another process would be, and closing some other descriptor of the same file
// does not drop them.
int lockedOrError(int descriptor) {
  if (::flock(descriptor, LOCK_EX | LOCK_NB) == 0) return 0;
  return errno;
}

}  // namespace

FolderLock::~FolderLock() { release(); }

FolderLock::FolderLock(FolderLock&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)), lockPath_(std::move(other.lockPath_)) {}

FolderLock& FolderLock::operator=(FolderLock&& other) noexcept {
  if (this != &other) {
    release();
    descriptor_ = std::exchange(other.descriptor_, -1);
    lockPath_ = std::move(other.lockPath_);
  }
  return *this;
}

FolderLock::Outcome FolderLock::acquire(const std::string& folderPath) {
  release();
  if (folderPath.empty()) return Outcome::Failed;
  std::string path = folderPath;
  if (path.back() != '/') path += '/';
  path += kFolderLockName;

  for (int attempt = 0; attempt < kMaxLockAttempts; ++attempt) {
    // O_NOFOLLOW: a link planted under the lock name must not make us create or lock its target.
    const int descriptor = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (descriptor < 0) {
      if (errno == EINTR) continue;
      return Outcome::Failed;
    }
    // A lock file of another user's, left by a killed job of theirs, is not ours to take over.
    struct stat opened {};
    if (::fstat(descriptor, &opened) != 0 || !S_ISREG(opened.st_mode) ||
        opened.st_uid != ::geteuid()) {
      ::close(descriptor);
      return Outcome::Failed;
    }
    const int lockError = lockedOrError(descriptor);
    if (lockError != 0) {
      ::close(descriptor);
      return lockError == EWOULDBLOCK ? Outcome::Busy : Outcome::Failed;
    }
    // A holder removes the file when it releases; if it did so after our open, we hold a lock
    // on a file no one else will find, and the next job would lock a new one beside ours.
    struct stat named {};
    if (::lstat(path.c_str(), &named) == 0 && named.st_dev == opened.st_dev &&
        named.st_ino == opened.st_ino) {
      descriptor_ = descriptor;
      lockPath_ = std::move(path);
      return Outcome::Held;
    }
    ::close(descriptor);
  }
  return Outcome::Failed;
}

bool FolderLock::held() const { return descriptor_ >= 0; }

void FolderLock::release() {
  if (descriptor_ < 0) return;
  // Removed while still locked: a job that opened the file meanwhile finds it unlinked after
  // its own lock and tries again, instead of sharing the folder.
  ::unlink(lockPath_.c_str());
  ::close(descriptor_);
  descriptor_ = -1;
  lockPath_.clear();
}

LockedLogFile::~LockedLogFile() { close(); }

LockedLogFile::LockedLogFile(LockedLogFile&& other) noexcept
    : stream_(std::exchange(other.stream_, nullptr)),
      busy_(other.busy_),
      refused_(other.refused_) {}

LockedLogFile& LockedLogFile::operator=(LockedLogFile&& other) noexcept {
  if (this != &other) {
    close();
    stream_ = std::exchange(other.stream_, nullptr);
    busy_ = other.busy_;
    refused_ = other.refused_;
  }
  return *this;
}

bool LockedLogFile::open(const std::string& path) {
  close();
  busy_ = false;
  refused_ = false;
  // Not O_TRUNC: the log of a job still running must survive a second job's attempt.
  // O_NOFOLLOW: a link planted at the name is never written through; O_NONBLOCK: a pipe there
  // without a reader fails at once instead of holding the job.
  const int descriptor =
      ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0666);
  if (descriptor < 0) {
    // A folder in the way is no one's trap: the log is then off, as when it cannot be made.
    refused_ = errno == ELOOP || errno == ENXIO || errno == EACCES || errno == EPERM;
    return false;
  }
  // Only a plain file of our own with no other name is emptied: another user's file, or a
  // second name of some other file, is left as it is.
  struct stat opened {};
  if (::fstat(descriptor, &opened) != 0 || !S_ISREG(opened.st_mode) || opened.st_nlink != 1 ||
      opened.st_uid != ::geteuid()) {
    refused_ = true;
    ::close(descriptor);
    return false;
  }
  ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
  const int lockError = lockedOrError(descriptor);
  if (lockError != 0) {
    busy_ = lockError == EWOULDBLOCK;
    ::close(descriptor);
    return false;
  }
  if (::ftruncate(descriptor, 0) != 0) {
    ::close(descriptor);
    return false;
  }
  stream_ = ::fdopen(descriptor, "w");
  if (!stream_) {
    ::close(descriptor);
    return false;
  }
  return true;
}

bool LockedLogFile::busy() const { return busy_; }

bool LockedLogFile::refused() const { return refused_; }

std::FILE* LockedLogFile::stream() const { return stream_; }

void LockedLogFile::close() {
  if (!stream_) return;
  std::fclose(stream_);
  stream_ = nullptr;
}

}  // namespace platform
