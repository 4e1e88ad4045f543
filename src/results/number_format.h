// The legacy number text of the result files.
//
// Both formats round twice, as the legacy output does: the double is first
// expanded to 17 significant decimal digits (rounded to nearest), and that
// digit string is then rounded half away from zero to the wanted precision.
#pragma once

#include <cstddef>

namespace td {

// Enough for any double in either format, with the terminator
// (1.7976931348623157e308 in fixed notation has 309 integer digits).
inline constexpr std::size_t kNumberTextMax = 330;

// General notation with 15 significant digits (the "%.15g" of the legacy
// output). Exponent form when the exponent is below -4 or 15 or more, with a
// sign and at least three digits; trailing zeros and a bare point dropped;
// zero is "0", never "-0". Non-finite values are written inf, -inf, nan.
//   12.5 -> "12.5"     3.0 -> "3"     0.1 + 0.2 -> "0.3"     -0.0 -> "0"
//   1e-5 -> "1e-005"   1.9526782154595481e-16 -> "1.95267821545955e-016"
//   0.10000000000000142 -> "0.100000000000001"   1e15 -> "1e+015"
// Writes a NUL-terminated text to out (kNumberTextMax bytes) and returns its length.
std::size_t format_general15(double v, char* out);

// Fixed notation with one decimal (the "%2.1f" of the legacy output); a
// negative value keeps its sign even when it rounds to zero.
//   0.25 -> "0.3"   1.45 -> "1.5"   1.95 -> "2.0"   0.05 -> "0.1"
//   -1.26 -> "-1.3" -0.04 -> "-0.0" 2 -> "2.0"      100 -> "100.0"
std::size_t format_fixed1(double v, char* out);

// A decimal integer: 7 -> "7", -12 -> "-12".
std::size_t format_int(long long v, char* out);

} // namespace td
