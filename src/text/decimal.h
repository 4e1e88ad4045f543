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

#include <bit>
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

// Takes a '+' or '-' at the cursor, if one stands there; true for '-'. `c`
// is the byte at the cursor before and after.
template <class In>
bool take_sign(In& in, int& c) {
  if (c != '+' && c != '-') return false;
  const bool neg = c == '-';
  in.take();
  c = in.peek();
  return neg;
}

// Reads an integer at the cursor. false: not a number (or out of range);
// the cursor then stands where reading stopped.
template <class In>
bool parse_integer(In& in, std::int32_t& out) {
  int c = in.peek();
  const bool neg = take_sign(in, c);
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
  d.mantissa = 0;
  d.count = 0;
  d.point = 0;
  d.sticky = false;
  d.negative = take_sign(in, c);
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
  const bool eneg = take_sign(in, c);
  if (!is_decimal_digit(c)) return false;
  std::int64_t e = 0;
  for (; is_decimal_digit(c); in.take(), c = in.peek())
    if (e < kExponentCap) e = e * 10 + (c - '0');
  d.point += eneg ? -e : e;
  return true;
}

// Eight bytes at p, little-endian: the order SWAR digit arithmetic needs.
[[gnu::always_inline]] inline std::uint64_t load8(const char* p) {
  std::uint64_t v;
  __builtin_memcpy(&v, p, 8);
  return v;
}

// Bit 7 of each byte of v set where the byte is not '0'..'9': adding 0x46
// sets the top bit of a byte above '9', subtracting '0' that of a byte below
// '0'. A carry or borrow between bytes starts at a byte that is flagged
// itself, so the lowest flagged byte is exact; those above it may not be.
[[gnu::always_inline]] inline std::uint64_t non_digits(std::uint64_t v) {
  return ((v + 0x4646464646464646u) | (v - 0x3030303030303030u)) & 0x8080808080808080u;
}

// True when all eight bytes of v are '0'..'9'.
[[gnu::always_inline]] inline bool eight_digits(std::uint64_t v) { return non_digits(v) == 0; }

// The value of eight digits 0..9 in the bytes of v, the first byte the most
// significant: the multiplications combine neighbours into 2 digits, then
// 4, then 8.
[[gnu::always_inline]] inline std::uint64_t digits_value(std::uint64_t v) {
  v = (v * 10) + (v >> 8);
  v = (((v & 0x000000FF000000FFu) * (100 + (1000000ULL << 32))) +
       (((v >> 16) & 0x000000FF000000FFu) * (1 + (10000ULL << 32)))) >>
      32;
  return static_cast<std::uint32_t>(v);
}

// The value of eight digit bytes '0'..'9'.
[[gnu::always_inline]] inline std::uint64_t eight_digits_value(std::uint64_t v) {
  return digits_value(v - 0x3030303030303030u);
}

// The digits at r appended to m, eight at a time while there are eight;
// returns the byte after them.
[[gnu::always_inline]] inline const char* append_digits(const char* r, std::uint64_t& m) {
  while (eight_digits(load8(r))) {
    m = m * 100000000 + eight_digits_value(load8(r));
    r += 8;
  }
  while (is_decimal_digit(*r)) m = m * 10 + static_cast<unsigned>(*r++ - '0');
  return r;
}

// v with its sign bit set when `neg`: no branch on the sign of the data.
[[gnu::always_inline]] inline double with_sign(double v, bool neg) {
  return std::bit_cast<double>(std::bit_cast<std::uint64_t>(v) | static_cast<std::uint64_t>(neg) << 63);
}

// 10^0 .. 10^22: every one is a double exactly.
inline constexpr double kExactPowersOfTen[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                 1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                                 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The exact fast paths: m x 10^e10 (negated if `neg`), correctly rounded,
// where one of them applies. false: the correctly rounded general path must
// convert.
//   (false, 125, -1) -> 12.5     (false, 57000000000000002, -16) -> 5.7000000000000002
[[gnu::always_inline]] inline bool exact_to_double(bool neg, std::uint64_t m, std::int64_t e10, double& out) {
  // Up to 2^53 the mantissa is a double exactly, and so is 10^k up to 10^22:
  // one IEEE multiplication or division of the two rounds correctly.
  if (m <= (std::uint64_t{1} << 53) && e10 >= -22 && e10 <= 22) [[likely]] {
    const auto dm = static_cast<double>(m);
    const double v = e10 >= 0 ? dm * kExactPowersOfTen[e10] : dm / kExactPowersOfTen[-e10];
    out = with_sign(v, neg);
    return true;
  }
#if defined(__x86_64__) && __LDBL_MANT_DIG__ == 64
  // Up to 2^64 and 10^27 through the 64-bit mantissa of the x87 format: m
  // and 10^|e10| are exact there, the product or quotient is rounded once to
  // 64 bits, and rounding that to 53 bits gives the correctly rounded double
  // unless the 64-bit result is a midpoint between two doubles (its low 11
  // bits 0x400; one unit either side is declined as well, to be safe).
  static constexpr long double kPow[28] = {
      1e0L,  1e1L,  1e2L,  1e3L,  1e4L,  1e5L,  1e6L,  1e7L,  1e8L,  1e9L,  1e10L, 1e11L, 1e12L, 1e13L,
      1e14L, 1e15L, 1e16L, 1e17L, 1e18L, 1e19L, 1e20L, 1e21L, 1e22L, 1e23L, 1e24L, 1e25L, 1e26L, 1e27L};
  if (e10 < -27 || e10 > 27 || m == 0) return false;
  const auto x = static_cast<long double>(m);
  const long double r = e10 >= 0 ? x * kPow[e10] : x / kPow[-e10];
  std::uint64_t mantissa64;
  __builtin_memcpy(&mantissa64, &r, 8);
  if ((mantissa64 & 0x7ff) - 0x3ff <= 2) return false;
  const auto v = static_cast<double>(r);
  out = with_sign(v, neg);
  return true;
#else
  return false;
#endif
}

// Everything the exact fast paths decline.
bool decimal_to_double_slow(const DecimalDigits& d, double& out);

// The double nearest to `d`, as formatted extraction gives it. false: the
// value overflows (a failure of extraction); an underflow gives the
// correctly rounded value, zero keeping the sign.
//   {-, 125, n=3, point=2} -> -12.5      {+, 1, n=1, point=401} -> false
inline bool decimal_to_double(const DecimalDigits& d, double& out) {
  if (d.count <= 19 && exact_to_double(d.negative, d.mantissa, d.point - d.count, out)) [[likely]]
    return true;
  return decimal_to_double_slow(d, out);
}

// The exponent after the 'e' of a short spelling: "[+-]d{1,4}" at x. Returns
// the byte after it, or nullptr for no digit ("1e" is no number) or more
// than four (a value the short paths leave to the general grammar).
[[gnu::always_inline]] inline const char* short_exponent(const char* x, int& e) {
  const bool neg = *x == '-';
  x += (*x == '-') | (*x == '+');
  const char* const first = x;
  int v = 0;
  while (is_decimal_digit(*x) && x - first < 5) v = v * 10 + (*x++ - '0');
  if (x == first || x - first > 4) return nullptr;
  e = neg ? -v : v;
  return x;
}

// "[digits][.digits]" with 1 to 7 digits in the eight bytes at q, then
// (with kExponent) "[(e|E)[+-]d{1,4}]": the digits as one number m and the
// power of ten e10 to scale it by. false: another shape (more digits, a
// longer exponent), for the loop.
//   "12.5 " -> m = 125, e10 = -1     "53e-1" -> m = 53, e10 = -1
template <bool kExponent>
[[gnu::always_inline]] inline bool eight_byte_decimal(const char* q, std::uint64_t& m, int& e10,
                                                      const char*& end) {
  std::uint64_t v = load8(q);
  const std::uint64_t nd = non_digits(v);
  if (nd == 0) [[unlikely]]
    return false; // eight digits or more
  // Bit offsets of bytes: the first that is no digit, and (below) the end
  // of the digits once the point is out of the way.
  const auto at = static_cast<unsigned>(std::countr_zero(nd)) - 7;
  const bool point = static_cast<char>(v >> at) == '.';
  if (point) { // close the gap of the point: the bytes above it move down one
    const std::uint64_t below = (std::uint64_t{1} << at) - 1;
    v = (v & below) | ((v >> 8) & ~below);
  }
  // The first byte that is no digit is exact now (see non_digits); the
  // byte moved in at the top is 0, so after a point there are at most 7.
  const auto bits = static_cast<unsigned>(std::countr_zero(non_digits(v))) - 7;
  end = q + bits / 8 + point;
  if (bits == 0 || (point && bits == 56)) [[unlikely]]
    return false;
  // Shifted to the top, the digits get zeros before them: the number itself.
  m = digits_value((v - 0x3030303030303030u) << (64 - bits));
  e10 = static_cast<int>(at / 8) - static_cast<int>(bits / 8);
  if constexpr (kExponent) {
    if ((*end | 0x20) == 'e') {
      int e = 0;
      end = short_exponent(end + 1, e);
      if (end == nullptr) return false;
      e10 += e;
    }
  }
  return true;
}

// The usual spellings, read in place without the general grammar:
// [+-] digits [. digits] [(e|E) [+-] digits] with 1 to 19 mantissa digits
// (leading zeros included) and an exponent of 1 to 4 digits, whose value an
// exact fast path gives. Returns the byte after the number, or nullptr where
// the general grammar must decide (the value is then unset). Reads up to 8
// bytes past the number: the buffer's padding allows it. Without kExponent
// no exponent is read: for text known to have none, it stops before an 'e'.
//   "-12.25 " -> -12.25, stops at " "     "5." -> 5     "2.50E+00" -> 2.5
//   "7.947504738483411e-01" -> 0.7947504738483411     "1e" "." -> nullptr
template <bool kExponent = true>
[[gnu::always_inline]] inline const char* parse_short_decimal(const char* p, double& out) {
  const char c = *p;
  const char* const first = p + ((c == '-') | (c == '+'));
  {
    // Most values: at most seven digits and a short exponent, read without
    // a loop.
    std::uint64_t m8 = 0;
    int e10 = 0;
    const char* end = nullptr;
    if (eight_byte_decimal<kExponent>(first, m8, e10, end)) [[likely]] {
      if constexpr (!kExponent) {
        // m8 < 10^7 and e10 in -7..0: one exact division. The sign is set
        // as a whole word: a flag byte kept in memory would cost a stalled
        // load when the word is read back.
        const std::uint64_t sign =
            (static_cast<std::uint64_t>(static_cast<unsigned char>(c ^ '-')) - 1) & (std::uint64_t{1} << 63);
        out = std::bit_cast<double>(
            std::bit_cast<std::uint64_t>(static_cast<double>(m8) / kExactPowersOfTen[-e10]) | sign);
        return end;
      }
      if (exact_to_double(c == '-', m8, e10, out)) return end;
    }
  }
  std::uint64_t m = 0; // wraps beyond 19 digits, which are declined
  const char* r = append_digits(first, m);
  std::int64_t e10 = 0;
  std::size_t point = 0;
  if (*r == '.') {
    const char* const f = ++r;
    r = append_digits(r, m);
    e10 = -(r - f);
    point = 1;
  }
  const auto digits = static_cast<std::size_t>(r - first) - point;
  if (digits - 1 >= 19) [[unlikely]]
    return nullptr;
  if (kExponent && (*r | 0x20) == 'e') {
    int e = 0;
    r = short_exponent(r + 1, e);
    if (r == nullptr) [[unlikely]]
      return nullptr;
    e10 += e;
  }
  return exact_to_double(c == '-', m, e10, out) ? r : nullptr;
}

} // namespace td
