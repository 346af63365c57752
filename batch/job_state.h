// The one record of the running job: its file list, counters, flags, process log and the
// engine's share of the state. Fields keep their values between entries and between jobs
// unless the job set-up or the end of the job sets them.
#pragma once

#include <wx/arrstr.h>
#include <wx/string.h>

#include <cstdint>

#include "batch/process_log_file.h"
#include "engine/track_state.h"

namespace batch {

enum class JobMode { SingleFile = 0, Folder = 1 };

struct JobState {
  // Path last returned by a process command's dialog; kept after the job.
  wxString chosenPath;
  // Full paths of the job's files, in listing order.
  wxArrayString fileList;
  std::uint32_t fileCount = 0;
  // Entry that the next tick handles.
  std::uint32_t currentIndex = 0;
  bool running = false;
  // At least one entry had an accepted media extension.
  bool mediaSeen = false;
  // At least one entry was handed to the engine.
  bool engineReached = false;
  ProcessLogFile log;
  // The current entry as shown in the current-file text.
  wxString displayName;
  engine::TrackState track;
};

// The process-wide job, shared by the window and the headless command.
JobState& theJobState();

}  // namespace batch
