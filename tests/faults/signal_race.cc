// Interrupts a run at random moments, many times over, and checks each
// end: every file the run writes new and status 0, or every file as it was
// and the status of the signal; and nothing else left in the folder.
//
//   signal_race RUNS FOLDER REFERENCE PROGRAM [ARGUMENT]...
//
// The program runs in FOLDER. REFERENCE is a folder holding the files an
// uninterrupted run leaves there: their names are the files checked, and
// their bytes what a run that ends with status 0 must have written. Before
// each run every such file holds "old NAME\n". The signals (SIGINT,
// SIGTERM, SIGHUP in turn) come after a random delay of up to 1.25 times
// the median length of five uninterrupted runs, measured first. Standard
// output and error go to /dev/null. Prints what the runs came to; exits 1
// at the first run that ends otherwise.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::string OldText(const std::string& name) { return "old " + name + "\n"; }

pid_t Start(const fs::path& folder, const std::vector<char*>& argv) {
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(folder.c_str()) != 0) _exit(126);
    int null = open("/dev/null", O_RDWR);
    dup2(null, STDIN_FILENO);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

int Wait(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  return status;
}

std::string Described(int status) {
  if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
  return "killed by signal " + std::to_string(WTERMSIG(status));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::cerr << "usage: signal_race RUNS FOLDER REFERENCE PROGRAM [ARGUMENT]...\n";
    return 2;
  }
  const int runs = std::atoi(argv[1]);
  const fs::path folder = argv[2];
  std::map<std::string, std::string> reference;
  for (const auto& entry : fs::directory_iterator(argv[3])) {
    reference[entry.path().filename()] = ReadFile(entry.path());
  }
  std::vector<char*> program(argv + 4, argv + argc);
  program.push_back(nullptr);

  auto prepare = [&] {
    for (const auto& entry : fs::directory_iterator(folder)) fs::remove_all(entry.path());
    for (const auto& [name, bytes] : reference) std::ofstream(folder / name, std::ios::binary) << OldText(name);
  };
  // What the folder holds, by name.
  auto left = [&] {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(folder)) files[entry.path().filename()] = ReadFile(entry.path());
    return files;
  };

  std::vector<double> lengths;
  for (int i = 0; i < 5; ++i) {
    prepare();
    auto start = Clock::now();
    int status = Wait(Start(folder, program));
    lengths.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    if (status != 0 || left() != reference) {
      std::cerr << "signal_race: an uninterrupted run (" << Described(status)
                << ") did not leave the reference files\n";
      return 1;
    }
  }
  std::sort(lengths.begin(), lengths.end());
  const double typical = lengths[2];

  const unsigned seed = std::random_device{}();
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> delay(0, 1.25 * typical);
  const int signals[] = {SIGINT, SIGTERM, SIGHUP};
  int finished = 0, interrupted = 0;
  for (int i = 0; i < runs; ++i) {
    prepare();
    const int signal_number = signals[i % 3];
    const double wait = delay(random);
    pid_t pid = Start(folder, program);
    timespec pause{0, static_cast<long>(wait * 1e9)};
    while (nanosleep(&pause, &pause) != 0) {
    }
    kill(pid, signal_number);
    const int status = Wait(pid);
    const bool ended_by_signal = (WIFEXITED(status) && WEXITSTATUS(status) == 128 + signal_number) ||
                                 (WIFSIGNALED(status) && WTERMSIG(status) == signal_number);
    std::map<std::string, std::string> expected;
    if (status == 0) {
      expected = reference;
      ++finished;
    } else if (ended_by_signal) {
      for (const auto& [name, bytes] : reference) expected[name] = OldText(name);
      ++interrupted;
    } else {
      std::cerr << "signal_race: run " << i << " ended with " << Described(status) << " after signal "
                << signal_number << "\n";
      return 1;
    }
    std::map<std::string, std::string> files = left();
    if (files != expected) {
      std::cerr << "signal_race: run " << i << " (signal " << signal_number << " after " << wait * 1e3
                << " ms) ended with " << Described(status) << " and left:";
      for (const auto& [name, bytes] : files) {
        auto it = expected.find(name);
        std::cerr << " " << name
                  << (it == expected.end() ? " (unexpected)"
                      : it->second == bytes ? " (as expected)"
                      : bytes == OldText(name) ? " (old)"
                      : reference.count(name) && reference.at(name) == bytes ? " (new)"
                                                                                 : " (other bytes)");
      }
      for (const auto& [name, bytes] : expected) {
        if (!files.count(name)) std::cerr << " (" << name << " missing)";
      }
      std::cerr << " (seed " << seed << ")\n";
      return 1;
    }
  }
  std::printf("%d runs of %.1f ms: %d finished, %d interrupted (seed %u)\n", runs, typical * 1e3, finished,
              interrupted, seed);
  return 0;
}
