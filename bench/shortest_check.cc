// Compares cli::WriteShortest with std::to_chars on many doubles, too many
// for a unit test: COUNT of each kind (default 10^7), from a seed.
//
//   shortest_check [COUNT [SEED]]
//
// The kinds: uniform in [0, 1] (p-values), any bit pattern, subnormals,
// [0, 1] scaled down to the subnormals, short decimals at any exponent and
// the doubles beside them, whole numbers, and (once each) every power of
// two and of ten with its neighbours. Prints the first differences and
// exits with 1 when there is any.
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "cli/shortest.h"

namespace {

long long checked = 0, differing = 0;

void Check(double value) {
  char written[cli::kShortestRoom], library[64];
  const char* written_end = cli::WriteShortest(written, value);
  const char* library_end = std::to_chars(library, library + sizeof library, value).ptr;
  ++checked;
  const auto length = static_cast<std::size_t>(library_end - library);
  if (static_cast<std::size_t>(written_end - written) != length || std::memcmp(written, library, length) != 0) {
    if (differing++ < 20) {
      std::printf("%a: %.*s, to_chars %.*s\n", value, static_cast<int>(written_end - written), written,
                  static_cast<int>(length), library);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const long long count = argc > 1 ? std::atoll(argv[1]) : 10000000;
  std::mt19937_64 random(argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 20261210);
  std::uniform_real_distribution<double> unit(0, 1);
  const double infinity = std::numeric_limits<double>::infinity();
  for (long long i = 0; i < count; ++i) {
    Check(unit(random));
    Check(std::bit_cast<double>(random()));
    Check(std::bit_cast<double>(random() & 0x000FFFFFFFFFFFFFu));
    Check(std::ldexp(unit(random), -static_cast<int>(random() % 1080)));
    Check(static_cast<double>(random() >> (random() % 64)));
    const std::string text =
        std::to_string(random() % 100000000000000000u >> (random() % 57)) + "e" +
        std::to_string(static_cast<int>(random() % 650) - 345);
    const double decimal = std::strtod(text.c_str(), nullptr);
    Check(decimal);
    Check(std::nextafter(decimal, 0.0));
    Check(std::nextafter(decimal, infinity));
  }
  for (int e = -1074; e <= 1023; ++e) {
    const double power = std::ldexp(1.0, e);
    for (double value : {power, std::nextafter(power, 0.0), std::nextafter(power, infinity)}) Check(value);
  }
  for (int e = -330; e <= 310; ++e) {
    const double power = std::strtod(("1e" + std::to_string(e)).c_str(), nullptr);
    for (double value : {power, -power, std::nextafter(power, 0.0), std::nextafter(power, infinity)}) Check(value);
  }
  std::printf("%lld doubles, %lld written differently from std::to_chars\n", checked, differing);
  return differing == 0 ? 0 : 1;
}
