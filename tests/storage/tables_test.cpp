#include "storage/tables.h"

#include <cstdio>
#include <gtest/gtest.h>

#include "support/console.h"

namespace td {
namespace {

TEST(Tables, BoundsAreInclusive) {
  double** one = alloc_double_2d(0, 0);
  one[0][0] = 1.5;
  EXPECT_EQ(one[0][0], 1.5);
  free_double_2d(one, 0, 0);

  // Corners of a run-month table; the sanitizer build catches any overrun.
  double** t = alloc_double_2d(100, 13);
  t[0][0] = 1.0;
  t[99][12] = 2.0;
  t[100][13] = 3.0;
  EXPECT_EQ(t[0][0] + t[99][12] + t[100][13], 6.0);
  // Rows are separate allocations.
  EXPECT_NE(t[0], t[1]);
  free_double_2d(t, 100, 13);

  double*** d3 = alloc_double_3d(2, 3, 4);
  d3[2][3][4] = 7.0;
  EXPECT_EQ(d3[2][3][4], 7.0);
  free_double_3d(d3, 2, 3);

  std::int32_t** i2 = alloc_int_2d(5, 0);
  i2[5][0] = -3;
  EXPECT_EQ(i2[5][0], -3);
  free_int_2d(i2, 5);

  std::int32_t*** i3 = alloc_int_3d(0, 1, 2);
  i3[0][1][2] = 9;
  EXPECT_EQ(i3[0][1][2], 9);
  free_int_3d(i3, 0, 1);
}

// The seam makes the n-th allocation fail: the top pointer array (n = 0) and a
// row in the middle (n = 50) are checked alike.
TEST(TablesDeathTest, FailedAllocationEndsWithStatusOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (long n : {0L, 50L}) {
    EXPECT_EXIT(
        {
          testing_support::send_stdout_to_stderr();
          storage_fail_after(n);
          (void)alloc_double_2d(100, 13);
          std::fputs("not reached\n", stdout);
        },
        testing::ExitedWithCode(1), "^Error allocating memory\\. Quiting\n$");
  }
}

} // namespace
} // namespace td
