#include "results/number_format.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace td {
namespace {

// Significant digits of the first rounding; the second rounding works on
// these digits alone, never on the binary value.
constexpr int kExpanded = 17;

std::size_t put_text(char* out, const char* text) {
  const std::size_t n = std::strlen(text);
  std::memcpy(out, text, n + 1);
  return n;
}

std::size_t finish(char* out, char* end) {
  *end = '\0';
  return static_cast<std::size_t>(end - out);
}

// Writes the kExpanded significant digits of a (finite, positive), rounded to
// nearest, as characters into digits[0..kExpanded) and returns the decimal
// exponent of the first one: a = d0.d1d2...d16 * 10^exponent.
int expand(double a, char* digits) {
  // "d.dddddddddddddddde+XX", with two or three exponent digits.
  char text[32];
  const std::to_chars_result res =
      std::to_chars(text, text + sizeof text, a, std::chars_format::scientific, kExpanded - 1);
  digits[0] = text[0];
  std::memcpy(digits + 1, text + 2, kExpanded - 1);
  const char* e = text + 1 + kExpanded; // the 'e'
  int exponent = 0;
  for (const char* c = e + 2; c < res.ptr; ++c) exponent = exponent * 10 + (*c - '0');
  return e[1] == '-' ? -exponent : exponent;
}

// Keeps digits[0..count), rounding half away from zero on digits[count].
// Returns true when the carry runs out of the leading digit: the kept digits
// are then all '0' and the value is one unit of the next place up.
bool round_half_up(char* digits, int count) {
  if (digits[count] < '5') return false;
  for (int i = count - 1; i >= 0; --i) {
    if (digits[i] != '9') {
      ++digits[i];
      return false;
    }
    digits[i] = '0';
  }
  return true;
}

char* copy_digits(char* p, const char* digits, int count) {
  std::memcpy(p, digits, static_cast<std::size_t>(count));
  return p + count;
}

char* put_zeros(char* p, int count) {
  std::memset(p, '0', static_cast<std::size_t>(count));
  return p + count;
}

} // namespace

std::size_t format_general15(double v, char* out) {
  constexpr int kPrecision = 15;
  if (std::isnan(v)) return put_text(out, "nan");
  if (std::isinf(v)) return put_text(out, v < 0 ? "-inf" : "inf");
  if (v == 0.0) return put_text(out, "0");

  char* p = out;
  if (v < 0) *p++ = '-';
  char d[kExpanded];
  int x = expand(std::fabs(v), d);
  if (round_half_up(d, kPrecision)) {
    d[0] = '1';
    ++x;
  }
  int last = kPrecision - 1; // the last nonzero digit kept
  while (last > 0 && d[last] == '0') --last;

  if (x < -4 || x >= kPrecision) {
    *p++ = d[0];
    if (last > 0) {
      *p++ = '.';
      p = copy_digits(p, d + 1, last);
    }
    *p++ = 'e';
    *p++ = x < 0 ? '-' : '+';
    const int ax = x < 0 ? -x : x; // at most 324
    char exp_text[4];
    std::to_chars_result res = std::to_chars(exp_text, exp_text + sizeof exp_text, ax);
    const int len = static_cast<int>(res.ptr - exp_text);
    if (len < 3) p = put_zeros(p, 3 - len);
    p = copy_digits(p, exp_text, len);
  } else if (x >= 0) {
    p = copy_digits(p, d, x + 1);
    if (last > x) {
      *p++ = '.';
      p = copy_digits(p, d + x + 1, last - x);
    }
  } else {
    *p++ = '0';
    *p++ = '.';
    p = put_zeros(p, -x - 1);
    p = copy_digits(p, d, last + 1);
  }
  return finish(out, p);
}

std::size_t format_fixed1(double v, char* out) {
  if (std::isnan(v)) return put_text(out, "nan");
  if (std::isinf(v)) return put_text(out, v < 0 ? "-inf" : "inf");

  char* p = out;
  if (std::signbit(v)) *p++ = '-';

  // The digits of |v| * 10 rounded to an integer (the count of tenths),
  // written in place; the point goes in before the last one afterwards.
  char* tenths = p;
  if (v == 0.0) {
    *p++ = '0';
  } else {
    char d[kExpanded];
    const int e = expand(std::fabs(v), d);
    const int k = e + 2; // digits of |v| * 10 before its point
    if (k <= 0) {
      // Below 0.1: only from 0.05 up (first digit 5 or more, one
      // place below the tenths) does it round to 0.1.
      *p++ = k == 0 && d[0] >= '5' ? '1' : '0';
    } else if (k >= kExpanded) {
      p = copy_digits(p, d, kExpanded);
      p = put_zeros(p, k - kExpanded);
    } else if (round_half_up(d, k)) {
      *p++ = '1';
      p = put_zeros(p, k);
    } else {
      p = copy_digits(p, d, k);
    }
  }

  if (p - tenths == 1) {
    // Under one: "0.t".
    tenths[2] = tenths[0];
    tenths[0] = '0';
    tenths[1] = '.';
    p = tenths + 3;
  } else {
    p[0] = p[-1];
    p[-1] = '.';
    ++p;
  }
  return finish(out, p);
}

std::size_t format_int(long long v, char* out) {
  char* p = out;
  // Through unsigned so that the most negative value has a magnitude.
  unsigned long long magnitude = static_cast<unsigned long long>(v);
  if (v < 0) {
    *p++ = '-';
    magnitude = 0ULL - magnitude;
  }
  const std::to_chars_result res = std::to_chars(p, out + kNumberTextMax - 1, magnitude);
  return finish(out, res.ptr);
}

} // namespace td
