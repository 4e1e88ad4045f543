// The number grammar of formatted extraction (`>>`) in the classic locale,
// and the conversion of what it accepts. The grammar runs over any byte
// cursor, so the same code reads a token in place and one streamed across
// refills.
//
//   integer: [+-] digit+                     the value must fit 32 bits
//   decimal: [+-] { digit | one '.' }        the mantissa, with a digit
//            then, only after a mantissa digit,
//            [ (e|E) [+-] digit+ ]           the exponent
// A number ends at the first byte that cannot continue it; what was
// accumulated must be complete:
//
//   "-12.5e1x"  -> -125, stops at "x"         "1e5.5" -> 1e5, stops at ".5"
//   "5." ".5"   -> 5, 0.5                      "3-4"   -> 3, stops at "-4"
//   "1e" "1e+" "." "-" "+-4" "inf" "nan"       -> not numbers
//   "1e400"     -> not a number (overflow)     "1e-400" -> 0 (underflow is kept)
//   "2147483648" as an integer -> not a number "0x10" -> 0, stops at "x10"
#pragma once

#include <cstddef>
#include <cstdint>

namespace td {

// The significant digits of a decimal number: value = 0.D1D2...Dn x 10^point,
// D1 != 0 (n == 0 for a zero).
struct DecimalDigits {
  // Digits kept beyond the first 19 when a mantissa is longer: a value closer
  // to a rounding boundary than these can tell is settled by `sticky`, since
  // the boundaries between doubles need at most 769 significant digits.
  static constexpr std::size_t kKept = 800;
  bool negative = false;
  std::uint64_t mantissa = 0; // D1..Dk as an integer, k = min(n, 19)
  std::uint32_t count = 0;    // n, the digits held in `digits` beyond 19 included
  std::int64_t point = 0;
  bool sticky = false; // a nonzero digit beyond kKept was dropped
  char digits[kKept];  // D1..Dn as text, filled only once n exceeds 19
};

// Explicit exponents saturate here: anything beyond is out of range anyway.
inline constexpr std::int64_t kExponentCap = 1000000000;

// A byte cursor over a token in memory. The byte after the token must be
// one that cannot continue it (white space or the buffer's NUL padding).
struct InPlace {
  const char* p;
  int peek() const { return static_cast<unsigned char>(*p); }
  void take() { ++p; }
};

inline bool is_decimal_digit(int c) { return static_cast<unsigned>(c - '0') < 10; }

// Reads an integer at the cursor. false: not a number (or out of range);
// the cursor then stands where reading stopped.
template <class In>
bool parse_integer(In& in, std::int32_t& out) {
  int c = in.peek();
  bool neg = false;
  if (c == '+' || c == '-') {
    neg = c == '-';
    in.take();
    c = in.peek();
  }
  if (!is_decimal_digit(c)) return false;
  std::uint64_t m = 0;
  unsigned sig = 0; // significant digits, counted up to 11
  for (; is_decimal_digit(c); in.take(), c = in.peek()) {
    if (m == 0 && c == '0') continue;
    if (sig < 11) {
      m = m * 10 + static_cast<unsigned>(c - '0');
      ++sig;
    }
  }
  if (sig > 10 || m > std::uint64_t{0x7fffffff} + (neg ? 1u : 0u)) return false;
  out = neg ? static_cast<std::int32_t>(-static_cast<std::int64_t>(m)) : static_cast<std::int32_t>(m);
  return true;
}

// Reads a decimal number at the cursor into `d`. false: not a number; the
// cursor then stands where reading stopped.
template <class In>
bool parse_decimal(In& in, DecimalDigits& d) {
  int c = in.peek();
  d.negative = false;
  d.mantissa = 0;
  d.count = 0;
  d.point = 0;
  d.sticky = false;
  if (c == '+' || c == '-') {
    d.negative = c == '-';
    in.take();
    c = in.peek();
  }
  bool any = false; // a mantissa digit
  bool dot = false;
  for (;; in.take(), c = in.peek()) {
    if (is_decimal_digit(c)) {
      any = true;
      if (d.count == 0 && c == '0') { // leading zeros only move the point
        d.point -= dot;
        continue;
      }
      d.point += !dot;
      if (d.count < 19) {
        d.mantissa = d.mantissa * 10 + static_cast<unsigned>(c - '0');
        ++d.count;
        continue;
      }
      if (d.count == 19) { // from now on the digits are kept as text
        std::uint64_t m = d.mantissa;
        for (int i = 18; i >= 0; --i, m /= 10) d.digits[i] = static_cast<char>('0' + m % 10);
      }
      if (d.count < DecimalDigits::kKept)
        d.digits[d.count++] = static_cast<char>(c);
      else
        d.sticky |= c != '0';
    } else if (c == '.' && !dot) {
      dot = true;
    } else {
      break;
    }
  }
  if (!any) return false;
  if (c != 'e' && c != 'E') return true;
  in.take();
  c = in.peek();
  bool eneg = false;
  if (c == '+' || c == '-') {
    eneg = c == '-';
    in.take();
    c = in.peek();
  }
  if (!is_decimal_digit(c)) return false;
  std::int64_t e = 0;
  for (; is_decimal_digit(c); in.take(), c = in.peek())
    if (e < kExponentCap) e = e * 10 + (c - '0');
  d.point += eneg ? -e : e;
  return true;
}

// Everything decimal_to_double's exact fast path declines.
bool decimal_to_double_slow(const DecimalDigits& d, double& out);

// 10^0 .. 10^22: every one is a double exactly.
inline constexpr double kExactPowersOfTen[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                 1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                                 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The double nearest to `d`, as formatted extraction gives it. false: the
// value overflows (a failure of extraction); an underflow gives the
// correctly rounded value, zero keeping the sign.
//   {-, 125, n=3, point=2} -> -12.5      {+, 1, n=1, point=401} -> false
inline bool decimal_to_double(const DecimalDigits& d, double& out) {
  // Up to 2^53 the mantissa is a double exactly, and so is 10^k up to 10^22:
  // one IEEE multiplication or division of the two then rounds correctly.
  const std::int64_t e10 = d.point - static_cast<std::int64_t>(d.count);
  if (d.count <= 19 && d.mantissa <= (std::uint64_t{1} << 53) && e10 >= -22 && e10 <= 22) [[likely]] {
    const auto m = static_cast<double>(d.mantissa);
    const double v = e10 >= 0 ? m * kExactPowersOfTen[e10] : m / kExactPowersOfTen[-e10];
    out = d.negative ? -v : v;
    return true;
  }
  return decimal_to_double_slow(d, out);
}

// The usual spelling, read in place without the general grammar:
// [+-] digits [. digits] with 1 to 19 digits and no exponent, whose value the
// exact fast path gives. Returns the byte after the number, or nullptr where
// the general grammar must decide (the value is then unset).
//   "-12.25 " -> -12.25, stops at " "     "5." -> 5     "1e5" "." -> nullptr
//   "9007199254740993" (more than 2^53) -> nullptr
[[gnu::always_inline]] inline const char* parse_short_decimal(const char* p, double& out) {
  const char c = *p;
  const char* const first = p + ((c == '-') | (c == '+'));
  const char* r = first;
  std::uint64_t m = 0; // wraps beyond 19 digits, which are declined
  while (is_decimal_digit(*r)) m = m * 10 + static_cast<unsigned>(*r++ - '0');
  std::size_t frac = 0;
  std::size_t point = 0;
  if (*r == '.') {
    const char* const f = ++r;
    while (is_decimal_digit(*r)) m = m * 10 + static_cast<unsigned>(*r++ - '0');
    frac = static_cast<std::size_t>(r - f);
    point = 1;
  }
  const auto digits = static_cast<std::size_t>(r - first) - point;
  if (digits - 1 >= 19 || frac > 22 || m > (std::uint64_t{1} << 53) || (*r | 0x20) == 'e') [[unlikely]]
    return nullptr;
  const double v = static_cast<double>(m) / kExactPowersOfTen[frac];
  out = c == '-' ? -v : v;
  return r;
}

} // namespace td
