// A whole program (its main renamed ProgramMain) run on the fuzz input as
// its standard input, in a child process, since a run ends the process.
//
// The child runs in a scratch folder with the input in a memory file as
// standard input, standard output and error in memory files, and a limit
// on the size of the files it writes. Its coverage counters are copied to
// memory shared with the parent just before it exits, so the fuzzer sees
// what the run reached. The run must end with status 0 and nothing on
// standard error, or with status 1 and exactly one well-formed failure
// report; a signal, a sanitizer report, a partial report or a run that does
// not end is a crash of this target.
//
// The result file's name comes from the input: every name with a folder in
// it is refused as a missing folder (code 3), so a run never writes outside
// its scratch folder.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "cli/run.h"

// The program's main, renamed: started without arguments it holds the
// dialogue, which is what is fuzzed here.
int ProgramMain(int argc, char** argv);

// With no arguments main never reaches the command-line mode, which this
// target leaves out.
int cli::Run(Program, int, char**) { std::abort(); }

// The coverage counters of the whole executable (fuzz/counters.cc).
char* CoverageCounters();
std::size_t CoverageCounterCount();

extern "C" {
[[noreturn]] void __real__exit(int status);
int __real_open(const char* path, int flags, ...);
}

namespace {

// A run that does not end: one that has used this much processor time (a
// busy machine slows a run, but gives it no more processor time), or one
// waited for this long, which only a run blocked for good reaches. libFuzzer's
// own -timeout (fuzz/run.sh) is longer still.
constexpr rlim_t kHangCpuSeconds = 120;
constexpr int kHangWaitSeconds = 900;
constexpr rlim_t kFileSizeLimit = 256 << 20;

bool in_child = false;
char* shared_counters = nullptr;
std::size_t counter_bytes = 0;
char scratch[] = "/tmp/program-fuzz-XXXXXX";
std::string module_name;  // the basename of this executable

std::string ReadAll(int fd) {
  std::string bytes;
  lseek(fd, 0, SEEK_SET);
  char chunk[4096];
  ssize_t n;
  while ((n = read(fd, chunk, sizeof chunk)) > 0) bytes.append(chunk, static_cast<std::size_t>(n));
  return bytes;
}

std::string Visible(std::string_view bytes) {
  std::string text;
  for (unsigned char c : bytes) {
    if (c == '\r') {
      text += "\\r";
    } else if (c == '\n') {
      text += "\\n\n";
    } else {
      text += static_cast<char>(c);
    }
  }
  return text;
}

std::string stdout_bytes, stderr_bytes;

[[noreturn]] void Crash(const char* what) {
  std::fprintf(stderr, "=== %s\n--- stderr of the run:\n%s\n--- last 600 bytes of its stdout:\n%s\n", what,
               Visible(stderr_bytes).c_str(),
               Visible(std::string_view(stdout_bytes).substr(stdout_bytes.size() > 600 ? stdout_bytes.size() - 600 : 0)).c_str());
  std::abort();
}

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

// Every line ends in CR LF.
bool LinesEndInCrLf(std::string_view bytes) {
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) return false;
  }
  return true;
}

// "<class> がモジュール <module> の XXXXXXXX で発生しました。\r\n<message>.\r\n\r\n"
bool IsFailureReport(std::string_view report, std::string_view module) {
  static const std::string_view kClasses[] = {"EInOutError", "EInvalidOp", "EZeroDivide", "EOverflow"};
  std::string_view klass;
  for (std::string_view c : kClasses) {
    if (StartsWith(report, std::string(c) + " ")) klass = c;
  }
  if (klass.empty()) return false;
  report.remove_prefix(klass.size());
  std::string head = " がモジュール " + std::string(module) + " の ";
  if (!StartsWith(report, head)) return false;
  report.remove_prefix(head.size());
  if (report.size() < 8) return false;
  for (char c : report.substr(0, 8)) {
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
  }
  report.remove_prefix(8);
  std::string_view tail = " で発生しました。\r\n";
  if (!StartsWith(report, tail)) return false;
  report.remove_prefix(tail.size());
  std::string_view end = ".\r\n\r\n";
  if (report.size() < end.size() || report.substr(report.size() - end.size()) != end) return false;
  std::string_view message = report.substr(0, report.size() - end.size());
  if (message.find('\n') != std::string_view::npos) return false;
  if (klass == "EInvalidOp") return message == "不正な浮動小数点数演算命令";
  if (klass == "EZeroDivide") return message == "0 による浮動小数点数除算";
  if (klass == "EOverflow") return message == "浮動小数点数のオーバーフロー";
  if (message == "入力値が数値ではありません" || message == "ファイルへのアクセスが拒否されました" ||
      message == "開かれたファイルが多すぎます。" || StartsWith(message, "不正なファイル名 - ")) {
    return true;
  }
  std::string_view io = "I/O エラー ";
  if (!StartsWith(message, io) || message.size() == io.size()) return false;
  for (char c : message.substr(io.size())) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// Every file the run left: ASCII lines ending in CR LF.
bool ResultFilesWellFormed() {
  DIR* dir = opendir(scratch);
  if (dir == nullptr) return true;
  bool good = true;
  while (dirent* entry = readdir(dir)) {
    std::string path = std::string(scratch) + "/" + entry->d_name;
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    int fd = __real_open(path.c_str(), O_RDONLY);
    if (fd < 0) continue;
    std::string bytes = ReadAll(fd);
    close(fd);
    if (!LinesEndInCrLf(bytes)) good = false;
    for (unsigned char c : bytes) {
      if (c >= 0x80) good = false;
    }
  }
  closedir(dir);
  return good;
}

void EmptyScratch() {
  DIR* dir = opendir(scratch);
  if (dir == nullptr) return;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    std::string path = std::string(scratch) + "/" + name;
    if (unlink(path.c_str()) != 0) rmdir(path.c_str());
  }
  closedir(dir);
}

int MemoryFile(const char* name, const std::uint8_t* data, std::size_t size) {
  int fd = memfd_create(name, 0);
  if (fd < 0 || (size > 0 && write(fd, data, size) != static_cast<ssize_t>(size)) || lseek(fd, 0, SEEK_SET) != 0) {
    std::perror("memfd");
    std::exit(2);
  }
  return fd;
}

// Waits for the child; false when it has not ended within the limit.
bool WaitFor(pid_t child, int& status) {
  int pidfd = static_cast<int>(syscall(SYS_pidfd_open, child, 0));
  if (pidfd >= 0) {
    pollfd ready{pidfd, POLLIN, 0};
    int n;
    do {
      n = poll(&ready, 1, kHangWaitSeconds * 1000);
    } while (n < 0 && errno == EINTR);
    close(pidfd);
    if (n == 0) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      return false;
    }
  }
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return true;
}


}  // namespace

extern "C" {

// The programs end through _exit: the child hands over its counters first.
[[noreturn]] void __wrap__exit(int status) {
  if (in_child && shared_counters != nullptr) {
    std::memcpy(shared_counters, CoverageCounters(), counter_bytes);
  }
  __real__exit(status);
}

// The result file stays in the scratch folder: a name with a folder in it
// is taken as a folder that does not exist.
int __wrap_open(const char* path, int flags, ...) {
  mode_t mode = 0;
  if (flags & O_CREAT) {
    va_list args;
    va_start(args, flags);
    mode = static_cast<mode_t>(va_arg(args, int));
    va_end(args);
  }
  if (in_child && std::strchr(path, '/') != nullptr) {
    errno = ENOENT;
    return -1;
  }
  return __real_open(path, flags, mode);
}

int LLVMFuzzerInitialize(int*, char***) {
  counter_bytes = CoverageCounterCount();
  shared_counters = static_cast<char*>(
      mmap(nullptr, counter_bytes > 0 ? counter_bytes : 1, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
  if (shared_counters == MAP_FAILED || mkdtemp(scratch) == nullptr) {
    std::perror("program fuzz set-up");
    std::exit(2);
  }
  std::atexit([] { EmptyScratch(), rmdir(scratch); });
  char path[4096];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  path[n > 0 ? n : 0] = '\0';
  module_name = std::strrchr(path, '/') != nullptr ? std::strrchr(path, '/') + 1 : path;
  return 0;
}

int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  int input = MemoryFile("stdin", data, size);
  int output = MemoryFile("stdout", nullptr, 0);
  int error = MemoryFile("stderr", nullptr, 0);
  std::memset(shared_counters, 0, counter_bytes);
  pid_t child = fork();
  if (child < 0) {
    std::perror("fork");
    std::exit(2);
  }
  if (child == 0) {
    in_child = true;
    rlimit file_size{kFileSizeLimit, kFileSizeLimit};
    setrlimit(RLIMIT_FSIZE, &file_size);
    rlimit processor_time{kHangCpuSeconds, kHangCpuSeconds + 10};
    setrlimit(RLIMIT_CPU, &processor_time);
    if (chdir(scratch) != 0 || dup2(input, 0) < 0 || dup2(output, 1) < 0 || dup2(error, 2) < 0) __real__exit(126);
    close(input), close(output), close(error);
    signal(SIGALRM, SIG_DFL);
    signal(SIGXCPU, SIG_DFL);
    char name[] = "program";
    char* arguments[] = {name, nullptr};
    ProgramMain(1, arguments);
    // main never returns: every run ends through _exit.
    std::abort();
  }
  int status = 0;
  bool ended = WaitFor(child, status);
  stdout_bytes = ReadAll(output);
  stderr_bytes = ReadAll(error);
  close(input), close(output), close(error);
  bool files_well_formed = ResultFilesWellFormed();
  EmptyScratch();
  // What the run covered, as if it had run here.
  for (std::size_t i = 0; i < counter_bytes; ++i) {
    if (shared_counters[i] != 0) CoverageCounters()[i] = shared_counters[i];
  }

  // FUZZ_SHOW_RUN=1 shows each run, to look at what an input does.
  if (std::getenv("FUZZ_SHOW_RUN") != nullptr) {
    std::fprintf(stderr, "--- status %d\n--- stdout:\n%s\n--- stderr:\n%s\n", status, Visible(stdout_bytes).c_str(),
                 Visible(stderr_bytes).c_str());
  }
  if (!ended) Crash("the run did not end");
  if (WIFSIGNALED(status) && WTERMSIG(status) == SIGXCPU) Crash("the run did not end");
  if (WIFSIGNALED(status)) {
    std::fprintf(stderr, "signal %d\n", WTERMSIG(status));
    Crash("the run ended by a signal");
  }
  int code = WEXITSTATUS(status);
  if (code == 0) {
    if (!stderr_bytes.empty()) Crash("a normal end wrote to standard error");
  } else if (code == 1) {
    if (!IsFailureReport(stderr_bytes, module_name)) Crash("not one well-formed failure report");
  } else {
    std::fprintf(stderr, "exit status %d\n", code);
    Crash("an exit status other than 0 and 1");
  }
  if (!LinesEndInCrLf(stdout_bytes)) Crash("a line of standard output without CR LF");
  if (!files_well_formed) Crash("a result file with a line without CR LF or a byte beyond ASCII");
  return 0;
}

}  // extern "C"
