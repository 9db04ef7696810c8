#include "tests/program_run.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// The text that follows the location in the first line of a report.
const std::string kAfterLocation = "\xE3\x81\xA7\xE7\x99\xBA\xE7\x94\x9F";  // "で発生"

std::size_t LocationAt(const std::string& screen) {
  std::size_t at = screen.find(" " + kAfterLocation);
  return at == std::string::npos || at < 8 ? std::string::npos : at - 8;
}

}  // namespace

std::string ReadWholeFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

FolderFiles FilesIn(const fs::path& dir) {
  FolderFiles files;
  for (const auto& entry : fs::directory_iterator(dir)) {
    files.emplace_back(entry.path().filename().string(), ReadWholeFile(entry.path()));
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string MaskLocation(std::string screen) {
  std::size_t at = LocationAt(screen);
  if (at != std::string::npos) screen.replace(at, 8, "XXXXXXXX");
  return screen;
}

std::string ReportedLocation(const std::string& screen) {
  std::size_t at = LocationAt(screen);
  return at == std::string::npos ? "" : screen.substr(at, 8);
}

ProgramRun RunProgram(const char* program, const std::string& input,
                      const std::vector<std::string>& before) {
  ProgramRun run;
  char pattern[] = "/tmp/program-run-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return run;
  const fs::path dir = pattern;
  const fs::path work = dir / "work";
  fs::create_directory(work);
  for (const std::string& name : before) std::ofstream(work / name) << "earlier\n";
  std::ofstream(dir / "input", std::ios::binary) << input;
  pid_t pid = fork();
  if (pid == 0) {
    int in = open((dir / "input").c_str(), O_RDONLY);
    int out = open((dir / "screen").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (in < 0 || out < 0 || chdir(work.c_str()) != 0) _exit(126);
    dup2(in, STDIN_FILENO);
    dup2(out, STDOUT_FILENO);
    dup2(out, STDERR_FILENO);
    setenv("LC_ALL", "C.UTF-8", 1);
    execl(program, fs::path(program).filename().c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) run.status = WEXITSTATUS(status);
  run.screen = ReadWholeFile(dir / "screen");
  run.files = FilesIn(work);
  fs::remove_all(dir);
  return run;
}
