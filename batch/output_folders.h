// The output folders of a job: each a real folder beside its sources (never a link to one
// elsewhere), created when missing, held against other jobs by a lock for as long as the job
// runs, and removed at the end when the job created it and saved nothing into it.
#pragma once

#include <deque>
#include <string>

#include "platform/locks.h"

namespace batch {

enum class FolderClaim {
  Ready,         // the job may write there
  InUse,         // another job holds it; nothing of it is touched
  NotCreated,    // it is missing and cannot be created (its parent is read-only)
  NotAFolder,    // a link, a file or something else stands under that name; nothing is written
  OtherOwner,    // it belongs to another user; nothing is written
  OpenToOthers,  // others may write into it and hold files there; nothing is written
  NotLocked,     // its lock cannot be taken (see platform::FolderLock); nothing is written
  NoWorkFolder,  // the job's work folder cannot be made there; nothing is written
};

struct OutputFolder {
  // Closing separator included.
  std::string path;
  FolderClaim claim = FolderClaim::Ready;
  bool createdByJob = false;
  bool somethingSaved = false;
  platform::FolderLock lock;
  // The job's private folder in it, where every temporary file is written (closing separator
  // included); set while the folder is Ready.
  std::string workFolderPath;
};

class OutputFolders {
 public:
  // Claims the folder at path (closing separator included) for this job, once: later calls
  // give the same record. Only a folder of the user's own whose lock the job holds is Ready: it
  // is cleared of what an interrupted job left and gets the job's work folder.
  OutputFolder& claim(const std::string& path);
  // The folder claimed under path, or nullptr.
  OutputFolder* find(const std::string& path);
  // Removes the work folders, releases every lock and removes the folders this job created and
  // saved nothing into.
  void releaseAll();
  // How long a claim waits for a folder that another job holds (0: not at all), in ms; a stop
  // request ends the wait.
  void waitWhenBusy(long milliseconds) { busyWaitMs_ = milliseconds; }

 private:
  // A deque keeps the records in place as folders are added.
  std::deque<OutputFolder> folders_;
  long busyWaitMs_ = 0;
};

}  // namespace batch
