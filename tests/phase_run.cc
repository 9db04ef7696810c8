#include "tests/phase_run.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "kernel/resultfile.h"
#include "kernel/textstream.h"

std::string ResultFileOfPhases(void (*phases)()) {
  char pattern[] = "/tmp/exact-phases-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    ADD_FAILURE() << "mkdtemp failed";
    return "";
  }
  std::filesystem::path folder = pattern;
  std::filesystem::path file = folder / "r.csv";
  int console_in = open("/dev/null", O_RDONLY | O_CLOEXEC);
  int console_out = open("/dev/null", O_WRONLY | O_CLOEXEC);
  ResetTextStreams(console_in, console_out);
  WriteOutcomeRows = true;

  std::string name = file.string();
  CreateTextFile(std::u16string(name.begin(), name.end()));
  IoCheck();
  phases();
  CloseTextFile(ResultFile);
  IoCheck();
  FinishConsoleOutput();
  IoCheck();

  std::ifstream in(file, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  close(console_in);
  close(console_out);
  std::filesystem::remove_all(folder);
  return bytes.str();
}
