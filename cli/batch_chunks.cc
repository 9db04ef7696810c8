#include "cli/batch_chunks.h"

#include <errno.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <exception>

#include "cli/batch_lines.h"
#include "cli/failure.h"
#include "cli/report.h"
#include "engine/contingency/fourfold.h"
#include "engine/multinomial/multinomial.h"

namespace cli {
namespace {

// A line longer than this cannot be taken (it would have to be held
// whole).
constexpr std::size_t kLongestLine = std::size_t{1} << 26;

std::uint64_t LineEnds(std::string_view bytes) {
  std::uint64_t count = 0;
  for (const char* at = bytes.data(), *end = at + bytes.size();;) {
    at = static_cast<const char*>(std::memchr(at, '\n', static_cast<std::size_t>(end - at)));
    if (at == nullptr) return count;
    ++count;
    ++at;
  }
}

}  // namespace

ChunkReader::ChunkReader(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}

bool ChunkReader::Next(std::string& chunk) {
  chunk.swap(rest_);
  rest_.clear();
  if (ended_ && chunk.empty()) return false;
  std::size_t searched = 0;  // bytes of chunk known to hold no line end
  for (;;) {
    if (const void* end = memrchr(chunk.data() + searched, '\n', chunk.size() - searched); end != nullptr) {
      // Whole lines: the chunk ends at the last line end, the rest waits.
      const std::size_t length = static_cast<std::size_t>(static_cast<const char*>(end) - chunk.data()) + 1;
      rest_.assign(chunk, length, std::string::npos);
      chunk.resize(length);
      break;
    }
    searched = chunk.size();
    if (ended_) break;  // the last line, without a line end
    if (chunk.size() >= kLongestLine) {
      throw Failure("cannot read " + name_ + ": a line is longer than " + std::to_string(kLongestLine) + " bytes");
    }
    const std::size_t want = std::max(kChunkBytes, chunk.size());
    const std::size_t had = chunk.size();
    chunk.resize(had + want);
    ssize_t got;
    do {
      got = read(fd_, chunk.data() + had, want);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
      const int error = errno;
      chunk.resize(had);
      throw Failure("cannot read " + name_ + ": " + std::strerror(error));
    }
    chunk.resize(had + static_cast<std::size_t>(got));
    if (got == 0) {
      ended_ = true;
      if (chunk.empty()) return false;
    }
  }
  first_line_ = next_line_;
  next_line_ += LineEnds(chunk);
  return true;
}

BatchShape ShapeOf(const Options& options, std::size_t counts) {
  BatchShape shape;
  shape.kestrin = options.program == Program::kKestrin;
  shape.json = options.format == Format::kJson;
  shape.labels = options.labels;
  shape.log10 = options.log10;
  shape.odds_ratio = options.odds_ratio;
  shape.one_sided = options.fourfold.alternative != engine::Alternative::kTwoSided;
  shape.counts = shape.kestrin ? 4 : counts;
  return shape;
}

ChunkWorker::ChunkWorker(const Options& options) : options_(options), rows_(ShapeOf(options, 0)) {
  multinomial_.proportions = options.multinomial.proportions;
}

void ChunkWorker::Work(std::string_view chunk, std::uint64_t first_line, std::size_t expected_k,
                       ChunkOutcome& outcome) {
  outcome.rows.clear();
  outcome.notices.clear();
  outcome.stop_line = 0;
  outcome.stop_status = 0;
  outcome.stop_message.clear();
  outcome.first_data_line = 0;
  outcome.first_k = 0;
  const bool kestrin = options_.program == Program::kKestrin;
  const std::string_view noun = kestrin ? "cell" : "count";
  std::size_t k = expected_k;
  const auto stop = [&](std::uint64_t line, int status, std::string message) {
    outcome.stop_line = line;
    outcome.stop_status = status;
    outcome.stop_message = "line " + std::to_string(line) + ": " + std::move(message);
  };
  engine::FourfoldProblem table = options_.fourfold;
  std::string why;
  std::string_view label;
  std::uint64_t line_number = first_line;
  for (std::size_t at = 0; at < chunk.size(); ++line_number) {
    std::size_t end = chunk.find('\n', at);
    if (end == std::string_view::npos) end = chunk.size();
    const std::string_view line = chunk.substr(at, end - at);
    at = end + 1;
    const LineKind kind = ReadBatchLine(line, options_.labels, noun, label, counts_, why);
    if (kind == LineKind::kSkipped) continue;
    if (kind == LineKind::kMalformed) return stop(line_number, 2, why);
    if (kestrin) {
      if (counts_.size() != 4) {
        return stop(line_number, 2,
                    std::to_string(counts_.size()) + (counts_.size() == 1 ? " cell" : " cells") +
                        " given: a 2 x 2 table needs 4, N11 N12 N21 N22");
      }
    } else {
      if (counts_.empty()) return stop(line_number, 2, "no counts given: at least one is needed");
      if (outcome.first_data_line == 0) {
        outcome.first_data_line = line_number;
        outcome.first_k = counts_.size();
        if (k == 0) k = counts_.size();
      }
      if (counts_.size() != k) {
        const bool from_proportions = !options_.multinomial.proportions.empty();
        return stop(line_number, 2,
                    std::to_string(counts_.size()) + (counts_.size() == 1 ? " count" : " counts") + " given: " +
                        (from_proportions ? "'--probabilities' gives " + std::to_string(k)
                                          : "the lines before have " + std::to_string(k)));
      }
    }
    if (std::string problem = TotalProblem(counts_, noun); !problem.empty()) return stop(line_number, 2, problem);
    try {
      if (kestrin) {
        std::copy(counts_.begin(), counts_.end(), table.cells.begin());
        const engine::FourfoldOrderings orderings = engine::TestFourfoldOrderings(table, options_.log10);
        if (options_.odds_ratio) {
          const engine::OddsRatio odds = engine::FourfoldOddsRatio(table);
          rows_.Append(outcome.rows, label, counts_, {orderings.results.data(), std::size_t(orderings.count)}, &odds);
        } else {
          rows_.Append(outcome.rows, label, counts_, {orderings.results.data(), std::size_t(orderings.count)},
                       nullptr);
        }
      } else {
        multinomial_.counts.assign(counts_.begin(), counts_.end());
        const engine::MultinomialResult result =
            engine::TestMultinomial(multinomial_, options_.multinomial_options);
        rows_.Append(outcome.rows, label, counts_, result.orderings, nullptr);
        if (std::string notice = FallbackNotice(options_.multinomial_options, result); !notice.empty()) {
          outcome.notices += "orvane: line " + std::to_string(line_number) + ": " + notice + "\n";
        }
      }
    } catch (const std::bad_alloc&) {
      return stop(line_number, 1, "out of memory");
    } catch (const std::exception& error) {  // engine::TestFailure and the like
      return stop(line_number, 1, error.what());
    }
  }
}

}  // namespace cli
