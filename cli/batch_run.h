// The batch mode of both programs: a test per line of a file or of
// standard input, its results streamed to standard output in input order,
// the lines worked through by --jobs threads with the same bytes out
// whatever their number. Memory stays flat: the input is read a chunk at
// a time, and only a few chunks per job are in flight.
#ifndef CLI_BATCH_RUN_H_
#define CLI_BATCH_RUN_H_

#include "cli/options.h"

namespace cli {

/// Runs the tests of options.batch and returns the exit status: 0 when
/// every line was tested and written; 2 at the first malformed line, after
/// every line before it (its message "line N: ..." on standard error); 1
/// when the input cannot be read, the output cannot be written or a test
/// cannot be completed (likewise after the lines before it).
int RunBatch(const Options& options);

}  // namespace cli

#endif  // CLI_BATCH_RUN_H_
