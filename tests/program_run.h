// Runs a whole program with its standard streams redirected, in a folder of
// its own, and collects what the run leaves: for tests that compare runs.
#ifndef TESTS_PROGRAM_RUN_H_
#define TESTS_PROGRAM_RUN_H_

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

/// The files of a folder, by name, with their bytes; sorted by name.
using FolderFiles = std::vector<std::pair<std::string, std::string>>;

struct ProgramRun {
  std::string screen;  // standard output and standard error, as written
  int status = -1;     // the exit status; -1 when the run did not exit
  FolderFiles files;   // what the folder holds afterwards
};

/// Runs program under LC_ALL=C.UTF-8 with standard input from a file that
/// holds input, in a fresh folder that holds, at the start, a file of each
/// name in `before`.
ProgramRun RunProgram(const char* program, const std::string& input,
                      const std::vector<std::string>& before = {});

std::string ReadWholeFile(const std::filesystem::path& path);
FolderFiles FilesIn(const std::filesystem::path& dir);

/// The location of a failure report, which depends on the build, as
/// XXXXXXXX.
std::string MaskLocation(std::string screen);
/// The location of the failure report on the screen; empty if none.
std::string ReportedLocation(const std::string& screen);

#endif  // TESTS_PROGRAM_RUN_H_
