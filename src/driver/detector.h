// The program: start-up, the ensemble scan, summary and shut-down.
#pragma once

#include "common/dimensions.h"

namespace td {

// Exit statuses of the program.
enum ExitStatus : int {
  kExitOk = 0,
  kExitAllocation = 1, // "Error allocating memory. Quiting"
  kExitConfig = 2,     // the configuration file is missing or faulty
  kExitData = 3,       // the data file cannot be read, ends early or holds a bad record
  kExitResults = 4,    // a result file cannot be created, written or closed
};

// Runs the detector in the current working directory: reads
// "TAV_WG_dly_TD_ini.txt" and the data file it names, writes the six result
// files and the console lines, and returns the exit status. The program uses
// the default dimensions (100 runs of 10957 days); tests pass smaller ones.
int run_detector(const ScanDims& dims = ScanDims{});

} // namespace td
