// Fixed dimensions of an ensemble and of the program's tables.
#pragma once

namespace td {

inline constexpr int kRunCount = 100;     // runs in a data file
inline constexpr int kDaysPerRun = 10957; // records per run (1981-01-01 .. 2010-12-31)
inline constexpr int kMonths = 12;        // calendar months, columns 1..12 of every table
inline constexpr int kSetCount = 3;       // condition sets in the configuration
inline constexpr int kFileCount = 6;      // count files of sets 1..3, then sum files of sets 1..3

// Highest indices of the tables (bounds are inclusive): rows 0..100, columns 0..13.
inline constexpr int kTableRowBound = 100;
inline constexpr int kTableColBound = 13;
// The statistics tables: rows 0..6 (one per tally table, row 6 unused), columns 0..13.
inline constexpr int kStatsRowBound = 6;

// Dimensions of one scan. The program always uses {kRunCount, kDaysPerRun};
// tests pass smaller ones to use small fixtures.
struct ScanDims {
  int runs = kRunCount;
  int days = kDaysPerRun;
};

} // namespace td
