// Running the detector inside a test, and seeing what it prints.
#pragma once

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "driver/detector.h"
#include "support/files.h"

namespace td::testing_support {

// Runs the detector in `dir` with the given dimensions; returns the exit
// status and what it printed on standard output.
inline int run_detector_in(const ScratchDir& dir, ScanDims dims, std::string& console) {
  const auto here = std::filesystem::current_path();
  std::filesystem::current_path(dir.path);
  ::testing::internal::CaptureStdout();
  const int status = run_detector(dims);
  console = ::testing::internal::GetCapturedStdout();
  std::filesystem::current_path(here);
  return status;
}

// Inside a death test: the program's messages go to standard output, which
// the death test does not see; send them to standard error instead.
inline void send_stdout_to_stderr() {
  std::fflush(stdout);
  (void)std::freopen("/dev/stderr", "w", stdout);
}

// What a child process did: its exit status (128 + the signal if one ended
// it) and what it wrote on standard output and standard error.
struct ChildRun {
  int status = -1;
  std::string out;
  std::string err;
};

// How a child process starts.
struct ChildSetup {
  std::vector<std::string> env; // "NAME=value", added to the environment
  long address_space = -1;      // RLIMIT_AS in bytes, where not negative
  long file_size = -1;          // RLIMIT_FSIZE in bytes, where not negative
  bool closed_streams = false;  // descriptors 0, 1 and 2 closed
  bool stdout_unread = false;   // standard output a pipe whose reader is gone
};

// Runs `body` in a child process in `dir` (its return value is the exit
// status). Standard output and error are pipes, which no file size limit
// reaches.
inline ChildRun run_child(const ScratchDir& dir, const ChildSetup& setup, const std::function<int()>& body) {
  int out[2] = {-1, -1};
  int err[2] = {-1, -1};
  int unread[2] = {-1, -1};
  if (::pipe(out) != 0 || ::pipe(err) != 0) return {};
  if (setup.stdout_unread) {
    if (::pipe(unread) != 0) return {};
    ::close(unread[0]); // no reader from the start
  }
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(dir.path.c_str()) != 0) ::_exit(126);
    ::dup2(::open("/dev/null", O_RDONLY), 0);
    ::dup2(setup.stdout_unread ? unread[1] : out[1], 1);
    ::dup2(err[1], 2);
    for (const int fd : {out[0], out[1], err[0], err[1]}) ::close(fd);
    if (setup.closed_streams)
      for (int fd = 0; fd <= 2; ++fd) ::close(fd);
    for (const std::string& e : setup.env) ::putenv(const_cast<char*>(e.c_str()));
    if (setup.address_space >= 0) {
      const rlimit lim{static_cast<rlim_t>(setup.address_space), static_cast<rlim_t>(setup.address_space)};
      ::setrlimit(RLIMIT_AS, &lim);
    }
    if (setup.file_size >= 0) {
      const rlimit lim{static_cast<rlim_t>(setup.file_size), static_cast<rlim_t>(setup.file_size)};
      ::setrlimit(RLIMIT_FSIZE, &lim);
    }
    ::_exit(body());
  }
  ::close(out[1]);
  ::close(err[1]);
  if (setup.stdout_unread) ::close(unread[1]);
  ChildRun run;
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* const text[2] = {&run.out, &run.err};
  for (int open_pipes = 2; open_pipes > 0;) {
    if (::poll(fds, 2, -1) < 0) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buf[4096];
      const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        text[i]->append(buf, static_cast<std::size_t>(n));
      } else {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open_pipes;
      }
    }
  }
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return run;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

// The built program in `dir` as a child process; 127 if it could not be started.
inline ChildRun run_program(const std::string& exe, const ScratchDir& dir, const ChildSetup& setup = {}) {
  return run_child(dir, setup, [&exe] {
    ::execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
    return 127;
  });
}

} // namespace td::testing_support
