// Runs a program's computing and reporting phases in the test process, with
// the console on /dev/null and the result file in a fresh temporary folder.
#ifndef TESTS_PHASE_RUN_H_
#define TESTS_PHASE_RUN_H_

#include <string>

/// Creates the result file, calls phases (which fill and report one run),
/// closes the file and returns its bytes. WriteOutcomeRows is set.
std::string ResultFileOfPhases(void (*phases)());

#endif  // TESTS_PHASE_RUN_H_
