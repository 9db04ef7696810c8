// Runs one program on one golden case and compares every byte it leaves.
//
//   run_case PROGRAM CASE_DIR
//
// CASE_DIR holds `stdin`, the expected `stdout`, `stderr` (absent: empty)
// and `exit`, optionally `before/` (files present in the working folder
// before the run) and `after/` (every file the folder must hold afterwards,
// byte for byte; absent: the same as `before/`), and a one-line `why`. The
// program runs in a fresh temporary folder with LC_ALL=C.UTF-8, or the
// value in the case's `locale` file. The location in a failure report is
// compared as XXXXXXXX.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <regex>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// Every regular file below root, by relative path.
std::map<std::string, std::string> FilesBelow(const fs::path& root) {
  std::map<std::string, std::string> files;
  if (!fs::exists(root)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) {
      files[fs::relative(entry.path(), root).string()] = ReadFile(entry.path());
    }
  }
  return files;
}

std::string Visible(const std::string& bytes) {
  std::string text;
  for (unsigned char c : bytes) {
    if (c == '\r') {
      text += "\\r";
    } else if (c == '\n') {
      text += "\\n\n";
    } else if (c < 32 || c == 127) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      text += escaped;
    } else {
      text += static_cast<char>(c);
    }
  }
  return text;
}

// Shows the first line that differs, with CR and control bytes visible.
bool Same(const std::string& what, const std::string& expected, const std::string& actual) {
  if (expected == actual) return true;
  std::size_t at = 0;
  while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) ++at;
  std::size_t line_start = expected.rfind('\n', at == 0 ? 0 : at - 1);
  line_start = line_start == std::string::npos ? 0 : line_start + 1;
  auto line_of = [&](const std::string& s) {
    std::size_t end = s.find('\n', at);
    return s.substr(line_start, end == std::string::npos ? std::string::npos : end + 1 - line_start);
  };
  std::cerr << "--- " << what << " differs at byte " << at << " (expected " << expected.size()
            << " bytes, got " << actual.size() << ")\n"
            << "expected: " << Visible(line_of(expected)) << "\n"
            << "actual:   " << Visible(line_of(actual)) << "\n";
  return false;
}

std::string MaskLocation(const std::string& report) {
  static const std::regex location(" の [0-9A-F]{8} で");
  return std::regex_replace(report, location, " の XXXXXXXX で");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: run_case PROGRAM CASE_DIR\n";
    return 2;
  }
  fs::path program = fs::absolute(argv[1]);
  fs::path case_dir = fs::absolute(argv[2]);
  char pattern[] = "/tmp/exact-case-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    std::perror("mkdtemp");
    return 2;
  }
  fs::path scratch = pattern;
  fs::path work = scratch / "work";
  fs::create_directory(work);
  if (fs::exists(case_dir / "before")) {
    fs::copy(case_dir / "before", work, fs::copy_options::recursive);
  }
  std::string locale = "C.UTF-8";
  if (fs::exists(case_dir / "locale")) {
    locale = ReadFile(case_dir / "locale");
    while (!locale.empty() && (locale.back() == '\n' || locale.back() == '\r')) locale.pop_back();
  }

  fs::path out_path = scratch / "stdout";
  fs::path err_path = scratch / "stderr";
  pid_t child = fork();
  if (child == 0) {
    if (chdir(work.c_str()) != 0) _exit(126);
    if (!freopen((case_dir / "stdin").c_str(), "rb", stdin) ||
        !freopen(out_path.c_str(), "wb", stdout) || !freopen(err_path.c_str(), "wb", stderr)) {
      _exit(126);
    }
    setenv("LC_ALL", locale.c_str(), 1);
    execl(program.c_str(), program.filename().c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  std::string exit_text = WIFEXITED(status) ? std::to_string(WEXITSTATUS(status))
                                            : "signal " + std::to_string(WTERMSIG(status));

  bool same = true;
  same &= Same("stdout", ReadFile(case_dir / "stdout"), ReadFile(out_path));
  std::string expected_err = fs::exists(case_dir / "stderr") ? ReadFile(case_dir / "stderr") : "";
  same &= Same("stderr", expected_err, MaskLocation(ReadFile(err_path)));
  std::string expected_exit = ReadFile(case_dir / "exit");
  while (!expected_exit.empty() && std::isspace(static_cast<unsigned char>(expected_exit.back()))) {
    expected_exit.pop_back();
  }
  same &= Same("exit status", expected_exit, exit_text);

  auto expected_files =
      FilesBelow(fs::exists(case_dir / "after") ? case_dir / "after" : case_dir / "before");
  auto actual_files = FilesBelow(work);
  for (const auto& [name, bytes] : expected_files) {
    auto found = actual_files.find(name);
    if (found == actual_files.end()) {
      std::cerr << "--- missing file: " << name << "\n";
      same = false;
    } else {
      same &= Same("file " + name, bytes, found->second);
    }
  }
  for (const auto& [name, bytes] : actual_files) {
    if (!expected_files.count(name)) {
      std::cerr << "--- unexpected file: " << name << " (" << bytes.size() << " bytes)\n";
      same = false;
    }
  }
  if (same) fs::remove_all(scratch);
  else std::cerr << "(run left in " << scratch << ")\n";
  return same ? 0 : 1;
}
