// Running the detector inside a test, and seeing what it prints.
#pragma once

#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

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

} // namespace td::testing_support
