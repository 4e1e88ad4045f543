// The names of the six result files, and the check that they are distinct
// wherever the tallies behind them differ.
#pragma once

#include <string>

#include "common/dimensions.h"
#include "config/config.h"

namespace td {

// Set `set` (0..2) with the second condition off:
//   PREFIX_Tmax_GT30.0_count_results.csv / PREFIX_Tmax_GT30.0_sum_results.csv
// and with it on:
//   PREFIX_Tmax_GT30.0_count_2nd_cond_RN_LT0.5_results.csv (and _sum_)
// Thresholds use the legacy one-decimal text (0.25 -> 0.3, -0.04 -> -0.0).
std::string result_file_name(const RunConfig& cfg, int set, bool sum);

// The data file name or the result prefix holding a byte that cannot stand
// in a file name (NUL, where the name would end when the file is opened, so
// that six different names would open one file): a message naming the
// token. Empty when both can be used.
//   'Error in ini file: result prefix (item 2 of 23) holds a byte that
//    cannot stand in a file name: "R?x"'
std::string bad_name_message(const RunConfig& cfg);

// The six names in file order (counts of sets 1..3, sums of sets 1..3).
struct ResultNames {
  std::string name[kFileCount];
  // owner[i] is the first file with the same name as file i (i itself when
  // the name is new). Files whose owner is not themselves are not written:
  // their sets count exactly what the owner's set counts.
  int owner[kFileCount];
};

// Builds the names. Two sets whose names are equal but whose conditions
// differ (30.0 and 30.04 are both named 30.0) cannot share a file: the
// configuration is refused with `clash` set to a message naming them.
bool build_result_names(const RunConfig& cfg, ResultNames& out, std::string& clash);

} // namespace td
