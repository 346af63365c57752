#include "app/job_end_notice.h"

#include <wx/intl.h>
#include <wx/log.h>
#include <wx/notifmsg.h>

namespace app {

namespace {

wxString trackCountsText(const batch::EntryCounts& counts) {
  const std::uint32_t failed = counts.failed + counts.skippedForFault;
  return wxString::Format(
      wxPLURAL("%u track processed, %u failed", "%u tracks processed, %u failed", counts.processed),
      counts.processed, failed);
}

}  // namespace

DesktopNotice jobEndNotice(const batch::EntryCounts& counts) {
  return {_("SonBalancer: the job has ended"), trackCountsText(counts)};
}

wxString jobEndText(const batch::EntryCounts& counts) {
  const std::uint32_t failed = counts.failed + counts.skippedForFault;
  const std::uint32_t skipped = counts.skipped - counts.skippedForFault;
  wxString text =
      wxString::Format(wxPLURAL("%u track processed", "%u tracks processed", counts.processed),
                       counts.processed) +
      wxString::Format(_(", %u skipped, %u failed"), skipped, failed);
  // As the command's summary has them: apart, and only when there are some.
  if (counts.notMusic > 0) text += wxString::Format(_(", %u not music"), counts.notMusic);
  return text;
}

wxString stoppedJobText(std::uint32_t filesDone, std::uint32_t fileCount,
                        const batch::EntryCounts& counts) {
  return wxString::Format(_("Stopped after %u of %u files: "), filesDone, fileCount) +
         trackCountsText(counts);
}

void showThroughToolkit(const DesktopNotice& notice, wxWindow* parent) {
  // The toolkit logs a missing notification service as an error, which it would show in a
  // message box: the notice is a courtesy, not worth a dialog.
  wxLogNull quiet;
  wxNotificationMessage message(notice.title, notice.message, parent);
  message.Show(wxNotificationMessage::Timeout_Auto);
}

}  // namespace app
