// Runs a command once and writes "WALL_MS PEAK_KIB CPU_MS" to the output
// file: the wall time from just before fork to the reaping of the child, the
// child's peak resident set and its processor time (user + system) from
// wait4(2). Timing from here leaves out the
// shell, subshell and GNU time start-up that a script's own clock would count.
//   td-time-run OUT_FILE PROGRAM [ARG ...]
// Exit status: the command's (128 + signal if it was killed), 127 if it
// could not be started, 2 for a usage error.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

double now_ms() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: td-time-run OUT_FILE PROGRAM [ARG ...]\n");
    return 2;
  }
  const double start = now_ms();
  const pid_t pid = fork();
  if (pid < 0) {
    std::fprintf(stderr, "td-time-run: fork: %s\n", std::strerror(errno));
    return 127;
  }
  if (pid == 0) {
    execvp(argv[2], argv + 2);
    std::fprintf(stderr, "td-time-run: %s: %s\n", argv[2], std::strerror(errno));
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  while (wait4(pid, &status, 0, &usage) < 0) {
    if (errno != EINTR) {
      std::fprintf(stderr, "td-time-run: wait4: %s\n", std::strerror(errno));
      return 127;
    }
  }
  const double stop = now_ms();
  std::FILE* out = std::fopen(argv[1], "w");
  const auto ms = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
  };
  const double cpu = ms(usage.ru_utime) + ms(usage.ru_stime);
  if (out == nullptr || std::fprintf(out, "%.3f %ld %.3f\n", stop - start, usage.ru_maxrss, cpu) < 0 ||
      std::fclose(out) != 0) {
    std::fprintf(stderr, "td-time-run: %s: %s\n", argv[1], std::strerror(errno));
    return 2;
  }
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return WEXITSTATUS(status);
}
