// The six comma-separated result files: safe creation, and the line layout.
// Every line ends in CR LF and is written out (flushed) as soon as it is made.
#pragma once

#include <cstddef>
#include <string>

#include "detect/tally.h"
#include "results/names.h"

namespace td {

struct ResultFile {
  std::string name;
  int fd = -1;
  bool write = false;   // false for a file that shares its name with an earlier one
  bool existed = false; // the name existed before this run
  bool regular = false; // a regular file, emptied once all six are open
};

struct ResultFiles {
  ResultFile file[kFileCount];
};

// Longest line: 13 fields of at most 23 characters, their commas, CR LF.
inline constexpr std::size_t kLineMax = 512;

// ",1,2,3,4,5,6,7,8,9,10,11,12\r\n"
std::size_t format_header_line(char* out);
// "7,0,0,1,3,...,0,\r\n": the run number, then months 1..12 of `row`, each
// followed by ","; counts are truncated toward zero, sums written in the
// 15-digit general notation.
std::size_t format_run_line(char* out, int run_number, const double* row, bool is_count);
// "mean,3.37,...,\r\n": `label`, then months 1..12 of `row` in the 15-digit
// general notation, each followed by ",".
std::size_t format_summary_line(char* out, const char* label, const double* row);

// Opens the six files without destroying anything yet; only when every one of
// them could be opened are they emptied. A file that is the data file itself
// (same device and inode) is refused. On failure every file is closed again,
// files this call created are removed, and `message` names the file.
bool create_result_files(const ResultNames& names, unsigned long long data_dev, unsigned long long data_ino,
                         ResultFiles& out, std::string& message);

// Writes `len` bytes to file i (if it is written at all). false: `message` says why.
bool write_result_line(ResultFiles& files, int i, const char* line, std::size_t len, std::string& message);

// Closes the six files in order; false (with the first failure in `message`)
// if any close failed. Always closes all of them.
bool close_result_files(ResultFiles& files, std::string& message);

} // namespace td
