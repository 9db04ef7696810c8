// Start and normal end of a run, shared by both programs.
#ifndef KERNEL_STARTUP_H_
#define KERNEL_STARTUP_H_

/// The floating-point environment, the codeset of the streams and the
/// failure handling; first thing in main.
void StartUp();

/// Hands over the console output and exits with status 0; a console that
/// refuses its last bytes is the I/O failure instead.
[[noreturn]] void EndRun();

#endif  // KERNEL_STARTUP_H_
