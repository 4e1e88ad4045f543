// The wanted values of a record converted side by side, one 64-bit lane a
// token, where the processor has AVX-512. It reads what most data files
// hold: tokens the token index has proved well formed, in a segment without
// an exponent, of at most 7 bytes with the sign.
//
//   "-12.5 " "0.98 " "100 " "+.5 " -> -12.5, 0.98, 100, 0.5
//   "-123.45 " (8 bytes)            -> false: the scalar path reads them
#pragma once

namespace td {

// True where the processor runs four_short_values.
bool wide_values_supported();

// The values of the four tokens at tokens[0..3], each [+-] digits [. digits]
// or [+-] . digits followed by white space, with no exponent. false: a token
// is longer than 7 bytes, and nothing is set. Reads 8 bytes at each token.
bool four_short_values(const char* const tokens[4], double values[4]);

} // namespace td
