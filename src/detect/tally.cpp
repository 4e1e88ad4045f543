#include "detect/tally.h"

namespace td {

void reset_run(Tallies& t, int run) {
  for (double** table : t.table)
    for (int m = 1; m <= kMonths; ++m) table[run][m] = 0.0;
}

bool day_meets(const ConditionSet& set, const DailyRecord& rec, double& exceedance) {
  const double p = rec.values[set.primary_code];
  const double t1 = set.primary_threshold;
  const bool primary = set.primary_gt ? p > t1 : p < t1;
  if (!primary) return false;
  if (set.second_enabled) {
    const double s = rec.values[set.secondary_code];
    const double t2 = set.secondary_threshold;
    if (!(set.secondary_gt ? s > t2 : s < t2)) return false;
  }
  exceedance = set.primary_gt ? p - t1 : t1 - p;
  return true;
}

std::uint32_t tested_codes(const RunConfig& cfg) {
  std::uint32_t codes = 0;
  for (const ConditionSet& set : cfg.sets) {
    codes |= std::uint32_t{1} << set.primary_code;
    if (set.second_enabled) codes |= std::uint32_t{1} << set.secondary_code;
  }
  return codes;
}

void test_day(const RunConfig& cfg, const DailyRecord& rec, Tallies& t, int run) {
  const int month = rec.month;
  for (int k = 0; k < kSetCount; ++k) {
    double exceedance = 0.0;
    if (day_meets(cfg.sets[k], rec, exceedance)) {
      count_table(t, k)[run][month] += 1.0;
      sum_table(t, k)[run][month] += exceedance;
    }
  }
}

} // namespace td
