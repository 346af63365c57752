// The stop request of a running job: Ctrl-C, a termination signal, or the program's own
// request (the window's close box). Children and waits poll it; nothing here ends the process.
#pragma once

namespace platform {

// Makes SIGINT and SIGTERM record a stop request instead of ending the process. The handlers
// are installed without SA_RESTART, so a blocking call in progress returns with EINTR. Safe to
// call more than once.
void installStopSignals();

// Makes SIGPIPE, a write to a pipe whose reader has gone (a command piped into head, a pager
// closed), record a stop request as the stop signals do, instead of ending the process mid-file.
void installStopOnLostReader();

// True once a stop signal arrived or requestStop was called, until clearStopRequest. Safe from
// any thread.
bool stopRequested();

// The signal that asked for the stop (SIGINT, SIGTERM or SIGPIPE); 0 when the stop came from
// requestStop or none was asked. Only the first request of a job is remembered.
int stopSignal();

// Asks the running job to stop, as a stop signal would; reason, a string that lives as long as
// the program (a literal), is what the job's log gives as the cause. Async-signal-safe and safe
// from any thread.
void requestStop(const char* reason = nullptr);

// The reason given to requestStop for the stop that was recorded; null when none was given or
// the stop came from a signal.
const char* stopReason();

// Forgets the request, before a new job starts.
void clearStopRequest();

}  // namespace platform
