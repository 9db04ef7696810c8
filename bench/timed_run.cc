// Runs one command in a folder with stdin from a file and stdout to
// /dev/null, and prints its wall time in microseconds and its peak resident
// memory in KiB: "WALL_US MAXRSS_KB". Timing the child alone keeps shell and
// fork overhead out of the figures.
//
//   timed_run FOLDER STDIN PROGRAM [ARGUMENT...]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: timed_run FOLDER STDIN PROGRAM [ARGUMENT...]\n");
    return 2;
  }
  timespec start{}, end{};
  clock_gettime(CLOCK_MONOTONIC, &start);
  pid_t child = fork();
  if (child == 0) {
    int in = open(argv[2], O_RDONLY);
    int out = open("/dev/null", O_WRONLY);
    if (in < 0 || out < 0 || chdir(argv[1]) != 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    execv(argv[3], argv + 3);
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  clock_gettime(CLOCK_MONOTONIC, &end);
  long wall_us = (end.tv_sec - start.tv_sec) * 1000000L + (end.tv_nsec - start.tv_nsec) / 1000;
  std::printf("%ld %ld\n", wall_us, usage.ru_maxrss);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}
