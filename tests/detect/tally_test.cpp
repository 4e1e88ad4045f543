#include "detect/tally.h"

#include <gtest/gtest.h>

#include "storage/tables.h"

namespace td {
namespace {

ConditionSet make_set(int code, bool gt, double t1, bool enabled = false, int code2 = 0, bool gt2 = false,
                      double t2 = 0.0) {
  ConditionSet s;
  s.primary_code = code;
  s.primary_gt = gt;
  s.primary_threshold = t1;
  s.second_enabled = enabled;
  s.secondary_code = code2;
  s.secondary_gt = gt2;
  s.secondary_threshold = t2;
  return s;
}

DailyRecord make_day(int month, double rn, double tmin, double tmax) {
  DailyRecord d{};
  d.month = month;
  d.values[0] = rn;
  d.values[1] = tmin;
  d.values[2] = tmax;
  return d;
}

TEST(DayMeets, StrictComparisonsAndExceedances) {
  struct Case {
    const char* what;
    ConditionSet set;
    DailyRecord day;
    bool meets;
    double exceedance;
  };
  const Case cases[] = {
      {"GT equal never passes", make_set(0, true, 0.0), make_day(1, 0.0, 0, 0), false, 0},
      {"GT 0.0, value 0.1", make_set(0, true, 0.0), make_day(1, 0.1, 0, 0), true, 0.1},
      {"LT equal never passes", make_set(1, false, 0.0), make_day(1, 0, 0.0, 0), false, 0},
      {"LT 0.0, value -2.5", make_set(1, false, 0.0), make_day(1, 0, -2.5, 0), true, 2.5},
      {"GT 30.0, Tmax 30.1", make_set(2, true, 30.0), make_day(1, 0, 0, 30.1), true, 0.10000000000000142},
      // The four combinations: the secondary decides, the primary is summed.
      {"GT/GT", make_set(2, true, 25.0, true, 0, true, 1.0), make_day(1, 2.0, 0, 27.5), true, 2.5},
      {"GT/GT secondary equal", make_set(2, true, 25.0, true, 0, true, 2.0), make_day(1, 2.0, 0, 27.5), false,
       0},
      {"GT/LT", make_set(2, true, 25.0, true, 0, false, 0.5), make_day(1, 0.0, 0, 26.0), true, 1.0},
      {"LT/GT", make_set(1, false, 0.0, true, 0, true, 5.0), make_day(1, 6.0, -1.5, 0), true, 1.5},
      {"LT/LT", make_set(1, false, 0.0, true, 2, false, 3.0), make_day(1, 0, -1.0, 2.0), true, 1.0},
      {"LT/LT secondary fails", make_set(1, false, 0.0, true, 2, false, 3.0), make_day(1, 0, -1.0, 4.0),
       false, 0},
      // The same variable twice: 25.0 < Tmax < 30.0.
      {"same variable inside", make_set(2, true, 25.0, true, 2, false, 30.0), make_day(1, 0, 0, 29.5), true,
       4.5},
      {"same variable outside", make_set(2, true, 25.0, true, 2, false, 30.0), make_day(1, 0, 0, 30.0), false,
       0},
      // A "FALSE" set ignores its secondary fields, even a code outside 0..9.
      {"switch off ignores secondary", make_set(2, true, 25.0, false, 99, true, 1e300),
       make_day(1, 0, 0, 26.0), true, 1.0},
  };
  for (const Case& c : cases) {
    double e = -1.0;
    EXPECT_EQ(day_meets(c.set, c.day, e), c.meets) << c.what;
    if (c.meets) {
      EXPECT_EQ(e, c.exceedance) << c.what;
    }
  }
}

TEST(TestDay, TalliesAtRunAndMonthOfEachMatchingSet) {
  Tallies t;
  for (double**& table : t.table) table = alloc_double_2d(100, 13);
  RunConfig cfg;
  cfg.sets[0] = make_set(2, true, 30.0); // hot
  cfg.sets[1] = make_set(1, false, 0.0); // frost
  cfg.sets[2] = make_set(2, true, 30.0); // same as set 1
  reset_run(t, 4);
  test_day(cfg, make_day(7, 0, 15.0, 31.5), t, 4);
  test_day(cfg, make_day(7, 0, 15.0, 30.5), t, 4);
  test_day(cfg, make_day(1, 0, -2.0, 1.0), t, 4);
  EXPECT_EQ(count_table(t, 0)[4][7], 2.0);
  EXPECT_EQ(sum_table(t, 0)[4][7], 2.0);
  EXPECT_EQ(count_table(t, 1)[4][1], 1.0);
  EXPECT_EQ(sum_table(t, 1)[4][1], 2.0);
  EXPECT_EQ(count_table(t, 2)[4][7], count_table(t, 0)[4][7]);
  EXPECT_EQ(sum_table(t, 2)[4][7], sum_table(t, 0)[4][7]);
  for (int m = 1; m <= 12; ++m) {
    if (m != 7) {
      EXPECT_EQ(count_table(t, 0)[4][m], 0.0);
    }
    if (m != 1) {
      EXPECT_EQ(sum_table(t, 1)[4][m], 0.0);
    }
  }
  // Reset clears months 1..12 of that run only.
  t.table[0][4][0] = 5.0;
  t.table[0][4][13] = 6.0;
  reset_run(t, 4);
  EXPECT_EQ(count_table(t, 0)[4][7], 0.0);
  EXPECT_EQ(t.table[0][4][0], 5.0);
  EXPECT_EQ(t.table[0][4][13], 6.0);
  for (double** table : t.table) free_double_2d(table, 100, 13);
}

} // namespace
} // namespace td
