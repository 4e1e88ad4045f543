#include "results/stats.h"

#include <cmath>

namespace td {

void compute_statistics(const Tallies& t, int runs, double** mean, double** sd, double* acc) {
  const double n = static_cast<double>(runs);
  for (int m = 1; m <= kMonths; ++m) {
    for (int k = 0; k < kFileCount; ++k) acc[k] = 0.0;
    for (int r = 0; r < runs; ++r)
      for (int k = 0; k < kFileCount; ++k) acc[k] += t.table[k][r][m];
    for (int k = 0; k < kFileCount; ++k) mean[k][m] = acc[k] / n;
  }
  for (int m = 1; m <= kMonths; ++m) {
    for (int k = 0; k < kFileCount; ++k) sd[k][m] = 0.0;
    for (int r = 0; r < runs; ++r)
      for (int k = 0; k < kFileCount; ++k) sd[k][m] += std::pow(t.table[k][r][m] - mean[k][m], 2.0);
    for (int k = 0; k < kFileCount; ++k) sd[k][m] = std::sqrt(sd[k][m] / (n - 1.0));
  }
}

} // namespace td
