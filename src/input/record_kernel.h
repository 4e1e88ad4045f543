// The value stage of the data file reader: a whole record read from the
// token index (input/token_index.h), which has already proved every token a
// well-formed number ended by white space. What is left to check is what
// depends on the field: the five integers must be whole numbers that fit 32
// bits, and the month must lie in 1..12. Only the month and the wanted
// values are converted, with the grammar and conversion of text/decimal.h.
//
//   tokens "1981 1 1 1 1 0 -2.5 3.1 ..." -> month 1, values[1] = -2.5, ...
//   tokens "1981 1.5 ..." or "1981 13 ..." -> declined: the field-by-field
//   reader then reads the record again and says what is wrong
#pragma once

#include <bit>
#include <cstdint>

#include "input/records.h"
#include "input/token_index.h"
#include "text/decimal.h"
#include "text/scanner.h"

namespace td {

namespace kernel_detail {

// The integers by the full grammar: each must be whole ("3.5", "3e2" are
// not) and fit 32 bits.
[[gnu::noinline]] inline bool integers_fit(const TokenIndex& ix, const std::uint32_t* s) {
  for (int i = 0; i < kIntsPerRecord; ++i) {
    InPlace at{ix.base + s[i]};
    std::int32_t v = 0;
    if (!parse_integer(at, v) || !is_space_byte(*at.p)) return false;
  }
  return true;
}

// A token the index proved well formed but not in the usual spelling
// (an exponent, a long mantissa). false: out of range.
[[gnu::noinline]] inline bool general_decimal(const char* p, double& out) {
  DecimalDigits d;
  InPlace at{p};
  (void)parse_decimal(at, d);
  return decimal_to_double(d, out);
}

// The month: an integer token in 1..12. One or two digits are read from
// the token's first bytes; anything else ("+7", "007", "-1") by the grammar.
[[gnu::always_inline]] inline bool month_at(const char* p, std::int32_t& month) {
  const auto d0 = static_cast<unsigned>(p[0] - '0'), d1 = static_cast<unsigned>(p[1] - '0');
  if (d0 - 1 < 9 && (d1 >= 10 || (d0 == 1 && static_cast<unsigned>(p[2] - '0') >= 10))) [[likely]] {
    month = static_cast<std::int32_t>(d1 < 10 ? d0 * 10 + d1 : d0);
    return d1 >= 10 || d1 <= 2;
  }
  InPlace at{p};
  if (!parse_integer(at, month)) return false;
  return static_cast<std::uint32_t>(month) - 1u < 12;
}

} // namespace kernel_detail

// The integers of the record whose tokens start at s[0..14] (all indexed),
// and its month into `rec`. false: declined.
[[gnu::always_inline]] inline bool kernel_integers(const TokenIndex& ix, const std::uint32_t* s,
                                                   DailyRecord& rec) {
  // An integer token of at most 7 bytes without '.', 'e' or 'E' is a whole
  // number that fits: the gaps between token starts bound the lengths.
  const std::uint32_t gaps =
      (s[1] - s[0] - 1) | (s[2] - s[1] - 1) | (s[3] - s[2] - 1) | (s[4] - s[3] - 1) | (s[5] - s[4] - 1);
  if (gaps >= 8 || !bits_clear(ix.not_integer, s[0], s[5])) [[unlikely]] {
    if (!kernel_detail::integers_fit(ix, s)) return false;
  }
  // The month token is now known to be [+-] digits of at most 7 bytes, or
  // to have been read whole above.
  return kernel_detail::month_at(ix.base + s[1], rec.month);
}

// The values of `codes` of the same record into `rec`. false: one is out of
// range. kExponent false: the segment has no 'e' or 'E' (ix.exponents).
template <bool kExponent>
[[gnu::always_inline]] inline bool kernel_values(const TokenIndex& ix, const std::uint32_t* s,
                                                 std::uint32_t codes, DailyRecord& rec) {
  for (std::uint32_t w = codes; w != 0; w &= w - 1) {
    const int code = std::countr_zero(w);
    const char* const p = ix.base + s[kIntsPerRecord + code];
    if (parse_short_decimal<kExponent>(p, rec.values[code]) == nullptr) [[unlikely]] {
      if (!kernel_detail::general_decimal(p, rec.values[code])) return false;
    }
  }
  return true;
}

// Reads the record of tokens ix.next .. ix.next + 14 (all indexed). true:
// `rec` holds its month and the values of `codes`, and ix.next has moved
// past it. false: nothing is consumed.
[[gnu::always_inline]] inline bool kernel_read(TokenIndex& ix, std::uint32_t codes, DailyRecord& rec) {
  const std::uint32_t* const s = ix.start + ix.next;
  if (!kernel_integers(ix, s, rec)) [[unlikely]]
    return false;
  if (!(ix.exponents ? kernel_values<true>(ix, s, codes, rec) : kernel_values<false>(ix, s, codes, rec)))
    return false;
  ix.next += kFieldsPerRecord;
  return true;
}

} // namespace td
