// The end of a run by a signal (Ctrl-C and the like): the temporary files
// of the listing and the picture are removed, the progress line cleared,
// and the process ends at once with status 128 + the signal's number
// (130 for SIGINT). Everything the handler touches is set up beforehand in
// static storage, and it calls only async-signal-safe functions.
#ifndef CLI_INTERRUPT_H_
#define CLI_INTERRUPT_H_

#include <signal.h>

namespace cli {

/// Handles SIGINT, SIGTERM and SIGHUP as above; ignores SIGPIPE, so that a
/// write to a reader that has gone fails with EPIPE, and the run can remove
/// its temporary files before it ends (EndAsBrokenPipe).
void InstallInterruptHandlers();

/// Ends the process as a write to a pipe without a reader ends a program
/// that leaves SIGPIPE alone: by SIGPIPE at its default action, silently
/// (the shell reports 141, 128 + SIGPIPE).
[[noreturn]] void EndAsBrokenPipe();

/// Holds back the signals above for the rest of the process: from the
/// moment the run starts putting its files in place it is no longer
/// interrupted, so that it ends either with every file new and status 0,
/// or, interrupted before, with every file as it was.
void HoldInterruptsToTheEnd();

/// Registers a file for removal if the run is interrupted; returns its slot,
/// or -1 when the name is too long to keep or every slot is taken (the
/// caller then fails before writing anything).
int HoldTemporary(const char* path);

/// The file in slot is no longer the handler's to remove.
void ReleaseTemporary(int slot);

/// Holds back the signals above while it lives, so that a file created
/// and registered in its scope is never left behind by a signal between
/// the two steps.
class InterruptsDeferred {
 public:
  InterruptsDeferred();
  ~InterruptsDeferred();
  InterruptsDeferred(const InterruptsDeferred&) = delete;
  InterruptsDeferred& operator=(const InterruptsDeferred&) = delete;

 private:
  sigset_t previous_;
};

/// Whether a progress line is on standard error, to be cleared.
void SetProgressLineShown(bool shown);

}  // namespace cli

#endif  // CLI_INTERRUPT_H_
