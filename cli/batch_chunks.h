// The input of the batch mode in chunks of whole lines, and the work of
// one chunk: its lines read, tested and written out as rows.
#ifndef CLI_BATCH_CHUNKS_H_
#define CLI_BATCH_CHUNKS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cli/batch_format.h"
#include "cli/options.h"

namespace cli {

/// Reads a file descriptor a chunk at a time, each chunk ending at a line
/// end (or at the end of the input). Throws Failure naming the input when
/// it cannot be read.
class ChunkReader {
 public:
  ChunkReader(int fd, std::string name);

  /// The next chunk into chunk (its bytes replaced), false at the end of
  /// the input. A chunk holds at least one whole line, however long, and
  /// ends as soon as a read brings a line end: a pipe or a terminal that
  /// gives a line at a time gets its results a line at a time.
  bool Next(std::string& chunk);

  /// The line number of the first line of the chunk Next returned last.
  std::uint64_t first_line() const { return first_line_; }

  static constexpr std::size_t kChunkBytes = std::size_t{1} << 14;

 private:
  int fd_;
  std::string name_;
  std::string rest_;  // bytes after the last line end read
  std::uint64_t first_line_ = 1;
  std::uint64_t next_line_ = 1;
  bool ended_ = false;
};

/// What one chunk came to.
struct ChunkOutcome {
  std::string rows;     // for standard output
  std::string notices;  // for standard error, one line each
  // The first line that stopped the run, 0 when none: its message and
  // the exit status it calls for (2 malformed, 1 a test not completed).
  std::uint64_t stop_line = 0;
  int stop_status = 0;
  std::string stop_message;
  // orvane: the first line with counts and their number, 0 when none.
  std::uint64_t first_data_line = 0;
  std::size_t first_k = 0;
};

/// Tests the lines of chunks; one per thread, reused from chunk to chunk
/// so that nothing is allocated per line.
class ChunkWorker {
 public:
  explicit ChunkWorker(const Options& options);

  /// The lines of chunk, numbered from first_line. expected_k: the number
  /// of counts of orvane's lines when known (from -p or an earlier
  /// chunk), else 0 and the chunk's first line of counts sets it.
  void Work(std::string_view chunk, std::uint64_t first_line, std::size_t expected_k, ChunkOutcome& outcome);

 private:
  const Options& options_;
  BatchRowWriter rows_;
  std::vector<std::uint32_t> counts_;
  engine::MultinomialProblem multinomial_;
};

/// The shape of the output rows of a run; counts: orvane's k.
BatchShape ShapeOf(const Options& options, std::size_t counts);

}  // namespace cli

#endif  // CLI_BATCH_CHUNKS_H_
