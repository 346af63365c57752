// What the window tells of a job that has ended: the counts of what was done, for the status
// bar after a stop and for the desktop notification that reaches a user looking elsewhere.
#pragma once

#include <wx/string.h>
#include <wx/window.h>

#include <cstdint>
#include <functional>

#include "batch/job_state.h"

namespace app {

struct DesktopNotice {
  wxString title;
  wxString message;
};

// Shows a notice on the desktop; the window's own shows it through the toolkit.
using DesktopNotifier = std::function<void(const DesktopNotice&)>;

// The notice of a job that ran to its end or was stopped: "3 tracks processed, 1 failed". A
// music file skipped for a fault (its output folder held by another job) gave no result, so it
// counts as failed; files that are not music do not count.
DesktopNotice jobEndNotice(const batch::EntryCounts& counts);

// The status bar's words at the end of a job: "3 tracks processed, 2 skipped, 1 failed", the
// skipped being the files left alone (not music, or their results up to date).
wxString jobEndText(const batch::EntryCounts& counts);

// "Stopped after 4 of 10 files: 3 tracks processed, 1 failed", filesDone being the entries
// handled before the stop.
wxString stoppedJobText(std::uint32_t filesDone, std::uint32_t fileCount,
                        const batch::EntryCounts& counts);

// Shows the notice through the toolkit's notification, which uses the desktop's own
// (libnotify on GTK). A desktop without a notification service shows nothing and no error.
void showThroughToolkit(const DesktopNotice& notice, wxWindow* parent);

}  // namespace app
