#include "results/stats.h"

#include <cmath>
#include <gtest/gtest.h>

#include "storage/tables.h"

namespace td {
namespace {

struct StatsFixture {
  Tallies t;
  double** mean = alloc_double_2d(6, 13);
  double** sd = alloc_double_2d(6, 13);
  double acc[6] = {};
  StatsFixture() {
    for (double**& table : t.table) {
      table = alloc_double_2d(100, 13);
      for (int r = 0; r <= 100; ++r)
        for (int m = 0; m <= 13; ++m) table[r][m] = 0.0;
    }
  }
  ~StatsFixture() {
    for (double** table : t.table) free_double_2d(table, 100, 13);
    free_double_2d(mean, 6, 13);
    free_double_2d(sd, 6, 13);
  }
};

TEST(Statistics, LegacyOrderOfSummation) {
  StatsFixture f;
  for (int r = 0; r < 100; ++r) {
    f.t.table[3][r][2] = 0.1;                // every run sums 0.1
    f.t.table[0][r][5] = r % 2 == 0 ? 1 : 0; // 50 runs count 1 day, 50 none
    f.t.table[1][r][12] = 7.0;               // the same whole count everywhere
  }
  f.t.table[2][100][1] = 1e300; // row 100 is never read
  compute_statistics(f.t, 100, f.mean, f.sd, f.acc);

  // 100 additions of 0.1 in run order give 9.99999999999998, not 10.
  EXPECT_EQ(f.mean[3][2], 0.09999999999999981);
  EXPECT_EQ(f.sd[3][2], 1.9526782154595481e-16);
  EXPECT_EQ(f.mean[0][5], 0.5);
  EXPECT_EQ(f.sd[0][5], std::sqrt(25.0 / 99.0)); // divides by 99, not 100
  EXPECT_EQ(f.mean[1][12], 7.0);
  EXPECT_EQ(f.sd[1][12], 0.0);
  EXPECT_EQ(f.mean[2][1], 0.0);
  EXPECT_EQ(f.sd[2][1], 0.0);
}

} // namespace
} // namespace td
