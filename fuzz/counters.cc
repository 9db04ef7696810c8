// The bounds of the inline 8-bit coverage counters, which the linker lays
// out as one section. Built without coverage: in an instrumented file these
// names would clash with the ones the instrumentation declares itself.
#include <cstddef>

extern "C" {
extern char __start___sancov_cntrs[] __attribute__((weak, visibility("hidden")));
extern char __stop___sancov_cntrs[] __attribute__((weak, visibility("hidden")));
}

char* CoverageCounters() { return __start___sancov_cntrs; }

std::size_t CoverageCounterCount() {
  return static_cast<std::size_t>(__stop___sancov_cntrs - __start___sancov_cntrs);
}
