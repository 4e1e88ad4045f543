// The ensemble mean and sample standard deviation of every month.
#pragma once

#include "detect/tally.h"

namespace td {

// Fills rows 0..5 (one per tally table, in tally order), months 1..12, of
// `mean` and `sd` (tables made with bounds (6, 13)) from rows 0..runs-1 of
// the tallies. Month by month the runs are added in order, the mean is the
// total over `runs`; the deviations are squared with pow(x, 2.0), added in
// run order, divided by runs - 1, and the square root is taken.
//   every run 0.1 -> mean 0.0999999999999998, sd 1.9526782154595481e-16
// `acc` is the six accumulators.
void compute_statistics(const Tallies& t, int runs, double** mean, double** sd, double* acc);

} // namespace td
