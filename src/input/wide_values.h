// The wanted values of records converted side by side, one 64-bit lane a
// token, in builds for AVX2 and for AVX-512. It reads what most data files
// hold: tokens the token index has proved well formed, in a segment without
// an exponent, of at most 7 bytes with the sign.
//
//   "-12.5 " "0.98 " "100 " "+.5 " -> -12.5, 0.98, 100, 0.5
//   "-123.45 " (8 bytes)            -> false: the scalar path reads them
#pragma once

#include <cstdint>

#include "input/records.h"
#include "input/token_index.h"

namespace td {

// The values a record must deliver: the codes as bits and, where a
// side-by-side reading converts them (`wide`), up to four codes as lanes,
// the last repeated to fill them.
struct WantedValues {
  std::uint32_t codes = kAllCodes;
  bool wide = false;
  int lanes[4] = {};
};

// Reads up to n records from the index as the record kernel does (its
// segment must have no exponent, and `wanted` be wide), the values four at a
// time. Returns how many; it stops where the index runs out or the kernel
// declines a record.
using ReadWide = int (*)(TokenIndex& ix, const WantedValues& wanted, DailyRecord* recs, int n);
// The reading of `build` (as reader_build gives it); nullptr for the baseline.
ReadWide choose_wide_reader(ReaderBuild build);

// The values of the four tokens at tokens[0..3], each [+-] digits [. digits]
// or [+-] . digits followed by white space, with no exponent, by the build
// `build` (avx2 or avx512, which the processor must run). false: a token is
// longer than 7 bytes (or `build` has none), and nothing is set. Reads 8
// bytes at each token.
bool four_short_values(ReaderBuild build, const char* const tokens[4], double values[4]);

} // namespace td
