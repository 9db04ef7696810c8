// The listing of the command-line mode: rows formatted and written to
// /dev/null through the front end's buffer, so that only the text costs.
#include <fcntl.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "cli/listing.h"
#include "cli/output.h"

namespace {

void BM_ListingRows(benchmark::State& state) {
  const auto k = static_cast<std::size_t>(state.range(0));
  int null = open("/dev/null", O_WRONLY);
  cli::BufferedWriter out(null, "/dev/null");
  cli::ListingShape shape{k == 4, k, false};
  std::vector<std::uint32_t> counts(k);
  engine::OutcomeRow row{counts, 1, 0, 0, 0, {}};
  std::uint32_t step = 0;
  for (auto _ : state) {
    // Values that change from row to row, with full 17-digit expansions.
    ++step;
    for (std::size_t i = 0; i < k; ++i) counts[i] = step * 7 + static_cast<std::uint32_t>(i) * 1000;
    row.probability = 1.0 / (step + 3.0);
    row.chi_square = step * 0.3183098861837907;
    row.likelihood_ratio = step * 0.1591549430918953 + 1e-9;
    row.marks[step % 3] = engine::Mark::kBeyond;
    cli::WriteListingRow(out, shape, row);
  }
  out.Flush();
  close(null);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ListingRows)->Arg(4)->Arg(10);

}  // namespace

BENCHMARK_MAIN();
