#include "text/decimal.h"

#include <charconv>
#include <cstring>
#include <system_error>

namespace td {

bool decimal_to_double_slow(const DecimalDigits& d, double& out) {
  const double zero = d.negative ? -0.0 : 0.0;
  if (d.count == 0) {
    out = zero;
    return true;
  }
  // 0.D x 10^point lies in [10^(point-1), 10^point): beyond these bounds the
  // answer is known without converting (DBL_MAX < 10^309, and half the
  // smallest subnormal > 10^-325).
  if (d.point >= 310) return false;
  if (d.point < -330) {
    out = zero;
    return true;
  }
  // The digits as text, for the correctly rounded conversion: "0.DDDe<point>".
  char text[DecimalDigits::kKept + 40];
  char* t = text;
  *t++ = '0';
  *t++ = '.';
  if (d.count <= 19) {
    t = std::to_chars(t, text + sizeof text, d.mantissa).ptr;
  } else {
    std::memcpy(t, d.digits, d.count);
    t += d.count;
    if (d.sticky) *t++ = '1';
  }
  *t++ = 'e';
  t = std::to_chars(t, text + sizeof text, d.point).ptr;
  double v = 0;
  const auto r = std::from_chars(text, t, v);
  if (r.ec == std::errc::result_out_of_range) {
    if (d.point > 0) return false;
    out = zero;
    return true;
  }
  if (r.ec != std::errc() || r.ptr != t) return false; // cannot happen: the text is well formed
  out = d.negative ? -v : v;
  return true;
}

} // namespace td
