// The six comma-separated result files: safe creation, and the line layout.
// Every line ends in CR LF and is written out (flushed) as soon as it is made.
#pragma once

#include <cstddef>
#include <string>

#include "common/dimensions.h"
#include "results/names.h"

namespace td {

struct ResultFile {
  std::string name;
  int fd = -1;
  bool write = false;   // false for a file that shares its name with an earlier one
  bool regular = false; // a regular file: locked, emptied once all six are open, cut back on a failed write
  unsigned long long dev = 0;
  unsigned long long ino = 0;
  // What this run made, and removes again if it cannot start: the entry at
  // `name`, or the file at `made_target` where `name` is a symbolic link
  // that pointed nowhere.
  bool made_entry = false;
  std::string made_target;
  std::size_t complete = 0; // bytes of the complete lines written
};

struct ResultFiles {
  ResultFile file[kFileCount];
};

// A file the results must not overwrite; `known` false when there is none.
struct FileId {
  bool known = false;
  unsigned long long dev = 0;
  unsigned long long ino = 0;
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
// them could be opened are they emptied. Refused, with `message` naming the
// file (and the file it is):
//   a name that is the data file or the configuration file (same device and
//   inode), or the same regular file as an earlier result name (a link);
//   a FIFO that no program reads (opening does not wait for a reader);
//   a regular file another run holds the lock of (each regular file is
//   locked with flock, kept until it is closed; where the file system has
//   no locks, the run goes on without).
// On failure every file is closed again, what this call created is removed,
// and every entry that existed is left as it was.
bool create_result_files(const ResultNames& names, const FileId& data, const FileId& config, ResultFiles& out,
                         std::string& message);

// Writes the `len` bytes of one line to file i (if it is written at all).
// false: `message` says why, and a regular file is cut back to its last
// complete line.
bool write_result_line(ResultFiles& files, int i, const char* line, std::size_t len, std::string& message);

// Closes the six files in order; false (with the first failure in `message`)
// if any close failed. Always closes all of them.
bool close_result_files(ResultFiles& files, std::string& message);

} // namespace td
