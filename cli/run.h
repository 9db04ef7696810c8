// The command-line mode of both programs: what main runs when the program
// is started with at least one argument.
#ifndef CLI_RUN_H_
#define CLI_RUN_H_

#include "cli/options.h"

namespace cli {

/// Reads the command line, runs the test, writes the listing, the picture
/// and the report; returns the exit status: 0 when the report was written,
/// 1 when the test could not be completed, 2 for a usage error. Runs in the
/// default floating-point environment, never in the dialogue's.
int Run(Program program, int argc, char** argv);

}  // namespace cli

#endif  // CLI_RUN_H_
