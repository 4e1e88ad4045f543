// The condition test of one day against the three sets, and the per-run,
// per-month tallies it feeds.
#pragma once

#include "common/dimensions.h"
#include "config/config.h"
#include "input/records.h"

namespace td {

// The six tally tables in their fixed order: counts of sets 1..3, then sums
// of sets 1..3. Each is a table made with bounds (100, 13): tables[k][run][month].
struct Tallies {
  double** table[kFileCount] = {};
};

inline double** count_table(const Tallies& t, int set) { return t.table[set]; }
inline double** sum_table(const Tallies& t, int set) { return t.table[kSetCount + set]; }

// Sets months 1..12 of row `run` of all six tables to 0.
void reset_run(Tallies& t, int run);

// True when the day meets the set; `exceedance` is then p - t1 for "GT" and
// t1 - p for "LT" (always positive). Both comparisons are strict, and the
// secondary fields are ignored when the second condition is off.
//   Tmax "GT" 30.0, Tmax 30.0 -> false      Tmax "GT" 30.0, Tmax 30.1 -> true, 0.10000000000000142
bool day_meets(const ConditionSet& set, const DailyRecord& rec, double& exceedance);

// The value codes that day_meets reads for the three sets, bit c for code c
// (the secondary code only when the second condition is on). The codes must
// be usable (0..9).
std::uint32_t tested_codes(const RunConfig& cfg);

// Applies sets 1, 2 and 3 to the day and updates row `run`, at the day's
// month, of the tables of each set that the day meets. The codes must be
// usable (0..9) and the month 1..12.
void test_day(const RunConfig& cfg, const DailyRecord& rec, Tallies& t, int run);

} // namespace td
