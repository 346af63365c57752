// The output folders of a job: each a real folder beside its sources (never a link to one
// elsewhere), created when missing, held against other jobs by a lock for as long as the job
// runs, and removed at the end when the job created it and saved nothing into it.
#pragma once

#include <deque>
#include <string>

#include "platform/locks.h"

namespace batch {

enum class FolderClaim {
  Ready,       // the job may write there
  InUse,       // another job holds it; nothing of it is touched
  NotAFolder,  // a link, a file or something else stands under that name; nothing is written
};

struct OutputFolder {
  // Closing separator included.
  std::string path;
  FolderClaim claim = FolderClaim::Ready;
  bool createdByJob = false;
  bool somethingSaved = false;
  platform::FolderLock lock;
};

class OutputFolders {
 public:
  // Claims the folder at path (closing separator included) for this job, once: later calls
  // give the same record. A folder the job holds is cleared of the temporary results that an
  // interrupted job left. A folder that cannot be created or locked is still Ready: writes into
  // it then fail and are reported one by one, as any failed write.
  OutputFolder& claim(const std::string& path);
  // The folder claimed under path, or nullptr.
  OutputFolder* find(const std::string& path);
  // Releases every lock and removes the folders this job created and saved nothing into.
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
