// plot_samples NAME FILE: writes the named sample picture to FILE.
// plot_samples --list: the names, one a line.
#include <cstdio>
#include <exception>
#include <string>

#include "plot/testing/samples.h"

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "--list") {
    for (const std::string& name : plot::testing::SampleNames()) std::printf("%s\n", name.c_str());
    return 0;
  }
  if (argc != 3) {
    std::fprintf(stderr, "usage: plot_samples NAME FILE | --list\n");
    return 2;
  }
  try {
    plot::testing::Sample sample = plot::testing::MakeSample(argv[1]);
    sample.request.path = argv[2];
    plot::WritePlot(sample.request, *sample.distribution);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "plot_samples: %s\n", e.what());
    return 1;
  }
  return 0;
}
