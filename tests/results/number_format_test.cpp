#include "results/number_format.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace {

using Formatter = std::size_t (*)(double, char*);

// The text, or a marker when the returned length disagrees with the NUL.
std::string run(Formatter f, double v) {
  char buf[td::kNumberTextMax];
  std::memset(buf, '#', sizeof buf);
  const std::size_t n = f(v, buf);
  std::string text(buf);
  if (text.size() != n) return "<length " + std::to_string(n) + " for " + text + ">";
  return text;
}

std::string hex(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%a", v);
  return buf;
}

struct Case {
  double in;
  const char* out;
};

TEST(NumberFormat, General15Table) {
  const Case cases[] = {
      {12.5, "12.5"},
      {-12.5, "-12.5"},
      {3.0, "3"},
      {100.0, "100"},
      {3.37, "3.37"},
      {0.30000000000000004, "0.3"}, // 0.1 + 0.2
      {0.10000000000000142, "0.100000000000001"},
      {0.099999999999999811, "0.0999999999999998"}, // mean of 100 sums of 0.1
      {123456789012345.6, "123456789012346"},
      {999999999999999.0, "999999999999999"},
      {1e14, "100000000000000"},
      // Zero, either sign.
      {0.0, "0"},
      {-0.0, "0"},
      // Where the exponent form starts, both ends.
      {1e15, "1e+015"},
      {0.0001, "0.0001"},
      {0.00012345678901234567, "0.000123456789012346"},
      {1e-5, "1e-005"},
      {-1e-5, "-1e-005"},
      {9.8759999999999996e-05, "9.876e-005"},
      {1.9526782154595481e-16, "1.95267821545955e-016"},
      {1.2345678901234567e+19, "1.23456789012346e+019"},
      {1e100, "1e+100"},
      {1e-100, "1e-100"},
      {1e300, "1e+300"},
      // The carry ripples through every digit, and can move the value
      // across the exponent-form boundary in either direction.
      {1.9999999999999998, "2"},
      {99999.999999999985, "100000"},
      {999999999999999.5, "1e+015"},
      {9.9999999999999991e-05, "0.0001"},
      {-9.9999999999999991e-05, "-0.0001"},
      // Rounded up from the 17 digits although the stored value is below
      // the half: 6.0146189522389649...e-03 expands to ...38965|0.
      {0.006014618952238965, "0.00601461895223897"},
      // Exact halves go away from zero, never to even.
      {24552126218519.25, "24552126218519.3"},
      {-706269000375208.5, "-706269000375209"},
      // Extremes.
      {0x0.0000000000001p-1022, "4.94065645841247e-324"},
      {DBL_MIN, "2.2250738585072e-308"},
      {DBL_MAX, "1.79769313486232e+308"},
      {-DBL_MAX, "-1.79769313486232e+308"},
      {std::numeric_limits<double>::infinity(), "inf"},
      {-std::numeric_limits<double>::infinity(), "-inf"},
      {std::numeric_limits<double>::quiet_NaN(), "nan"},
      {-std::numeric_limits<double>::quiet_NaN(), "nan"},
  };
  for (const Case& c : cases) EXPECT_EQ(run(td::format_general15, c.in), c.out) << hex(c.in);
  EXPECT_EQ(run(td::format_general15, std::sqrt(25.0 / 99.0)), "0.502518907629606");
}

TEST(NumberFormat, Fixed1Table) {
  const Case cases[] = {
      {2.0, "2.0"},
      {100.0, "100.0"},
      {30.04, "30.0"},
      {0.5, "0.5"},
      // Halves of the stored value and of its 17 digits.
      {0.25, "0.3"},
      {-0.25, "-0.3"},
      {0.05, "0.1"}, // 5.0000000000000003e-02
      {-0.05, "-0.1"},
      {-1.26, "-1.3"},
      // Decided by the 17 digits, not the stored value: all four are stored
      // just below the half, but 1.45 expands to 1.4500000000000000 and
      // rounds up, while 0.95 (9.4999999999999996e-01), 0.15 and 0.35 keep
      // a 4 and round down.
      {1.45, "1.5"},
      {0.95, "0.9"},
      {0.15, "0.1"},
      {0.35, "0.3"},
      {0.049999999999999996, "0.0"},
      // Carry into a new leading digit.
      {1.95, "2.0"},
      {9.96, "10.0"},
      {0.96, "1.0"},
      {99.95, "100.0"},
      {99999999999999.953125, "100000000000000.0"},
      // Zero and values that round to it keep the sign.
      {0.0, "0.0"},
      {-0.0, "-0.0"},
      {-0.04, "-0.0"},
      {0.005, "0.0"},
      {1e-300, "0.0"},
      {-1e-300, "-0.0"},
      {0x0.0000000000001p-1022, "0.0"},
      // The 17 digits reach the tenths or beyond: no rounding, and digits
      // past the 17th are zeros (12345678901234567168 in binary).
      {123456789012345.67, "123456789012345.7"},
      {1000000000000000.2, "1000000000000000.2"},
      {4503599627370495.5, "4503599627370495.5"},
      {1e20, "100000000000000000000.0"},
      {1.2345678901234567e+19, "12345678901234567000.0"},
      {std::numeric_limits<double>::infinity(), "inf"},
      {-std::numeric_limits<double>::infinity(), "-inf"},
      {std::numeric_limits<double>::quiet_NaN(), "nan"},
  };
  for (const Case& c : cases) EXPECT_EQ(run(td::format_fixed1, c.in), c.out) << hex(c.in);

  // The longest text of all.
  const std::string max = "17976931348623157" + std::string(292, '0') + ".0";
  EXPECT_EQ(run(td::format_fixed1, DBL_MAX), max);
  EXPECT_EQ(run(td::format_fixed1, -DBL_MAX), "-" + max);
  EXPECT_LT(max.size() + 2, td::kNumberTextMax);
}

TEST(NumberFormat, IntTable) {
  const struct {
    long long in;
    const char* out;
  } cases[] = {
      {0, "0"},
      {7, "7"},
      {-12, "-12"},
      {LLONG_MAX, "9223372036854775807"},
      {LLONG_MIN, "-9223372036854775808"},
  };
  for (const auto& c : cases) {
    char buf[td::kNumberTextMax];
    const std::size_t n = td::format_int(c.in, buf);
    EXPECT_EQ(std::string(buf), c.out);
    EXPECT_EQ(n, std::strlen(c.out));
  }
}

// ---------------------------------------------------------------------------
// Reference for the differential test. It goes a different way from the
// formatter: the 17 digits from snprintf are laid out as a positional decimal
// string ("0.000123..." / "1234500.0"), rounding is done at a place after the
// point on that string, and the general form follows the C definition of %g
// literally (round as %e to find the exponent, then redo as %f or %e).

void ref_digits(double a, std::string& digits, int& exponent) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.16e", a);
  digits.assign(1, buf[0]);
  digits.append(buf + 2, 16);
  exponent = std::atoi(buf + 19);
}

// |a| written out in full from its 17 digits, always with a point.
std::string ref_positional(double a) {
  std::string digits;
  int e = 0;
  ref_digits(std::fabs(a), digits, e);
  if (e < 0) return "0." + std::string(static_cast<std::size_t>(-e - 1), '0') + digits;
  const std::size_t int_len = static_cast<std::size_t>(e) + 1;
  if (int_len >= digits.size()) return digits + std::string(int_len - digits.size(), '0') + ".";
  return digits.substr(0, int_len) + "." + digits.substr(int_len);
}

// Keeps `places` digits after the point, half away from zero.
std::string ref_round(const std::string& s, std::size_t places) {
  const std::size_t point = s.find('.');
  std::string kept = s.substr(0, point + 1 + places);
  kept.resize(point + 1 + places, '0');
  const std::size_t next = point + 1 + places;
  if (next < s.size() && s[next] >= '5') {
    std::size_t i = kept.size();
    bool carry = true;
    while (carry && i > 0) {
      --i;
      if (kept[i] == '.') continue;
      if (kept[i] == '9') {
        kept[i] = '0';
      } else {
        kept[i] = static_cast<char>(kept[i] + 1);
        carry = false;
      }
    }
    if (carry) kept.insert(kept.begin(), '1');
  }
  if (places == 0) kept.pop_back();
  return kept;
}

std::string ref_strip(std::string s) {
  if (s.find('.') == std::string::npos) return s;
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  return s;
}

std::string ref_fixed1(double v) {
  if (std::isnan(v)) return "nan";
  if (std::isinf(v)) return v < 0 ? "-inf" : "inf";
  const std::string sign = std::signbit(v) ? "-" : "";
  if (v == 0) return sign + "0.0";
  return sign + ref_round(ref_positional(v), 1);
}

std::string ref_general15(double v) {
  if (std::isnan(v)) return "nan";
  if (std::isinf(v)) return v < 0 ? "-inf" : "inf";
  if (v == 0) return "0";
  const std::string sign = v < 0 ? "-" : "";
  std::string digits;
  int e = 0;
  ref_digits(std::fabs(v), digits, e);
  std::string mantissa = ref_round(digits.substr(0, 1) + "." + digits.substr(1), 14);
  if (mantissa[1] != '.') { // "10.000..."
    ++e;
    mantissa = "1." + std::string(14, '0');
  }
  if (e >= -4 && e < 15)
    return sign + ref_strip(ref_round(ref_positional(v), static_cast<std::size_t>(14 - e)));
  char exp_text[16];
  std::snprintf(exp_text, sizeof exp_text, "e%c%03d", e < 0 ? '-' : '+', std::abs(e));
  return sign + ref_strip(mantissa) + exp_text;
}

double from_bits(std::uint64_t bits) {
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

double parse(const std::string& s) { return std::strtod(s.c_str(), nullptr); }

// A few ulps either way.
double nudge(double v, int ulps) {
  const double toward = ulps < 0 ? -HUGE_VAL : HUGE_VAL;
  for (int i = 0; i < std::abs(ulps); ++i) v = std::nextafter(v, toward);
  return v;
}

TEST(NumberFormat, MatchesReferenceOnVariedValues) {
  std::mt19937_64 rng(20240611);
  auto uniform = [&rng](long long lo, long long hi) {
    return std::uniform_int_distribution<long long>(lo, hi)(rng);
  };
  auto digit_string = [&uniform](int count) {
    std::string s;
    s += static_cast<char>('1' + uniform(0, 8));
    for (int i = 1; i < count; ++i) s += static_cast<char>('0' + uniform(0, 9));
    return s;
  };

  int failures = 0;
  auto check = [&failures](double v) {
    const std::string g = run(td::format_general15, v), g_ref = ref_general15(v);
    const std::string f = run(td::format_fixed1, v), f_ref = ref_fixed1(v);
    if ((g != g_ref || f != f_ref) && ++failures <= 20)
      ADD_FAILURE() << hex(v) << ": general15 " << g << " (want " << g_ref << "), fixed1 " << f << " (want "
                    << f_ref << ")";
  };

  constexpr int kPerKind = 40000;
  for (int i = 0; i < kPerKind; ++i) {
    // Any bit pattern, non-finite ones included.
    check(from_bits(rng()));

    // Decimals with few digits, as typed in inputs.
    const std::string few = digit_string(static_cast<int>(uniform(1, 7)));
    const double dec = parse(few + "e" + std::to_string(uniform(-12, 20)));
    check(uniform(0, 1) ? dec : -dec);

    // Halfway at the 15th or 16th significant digit (as a decimal
    // string, then a few ulps around the nearest double), and at the
    // tenths for the fixed form.
    const int kept = static_cast<int>(uniform(15, 16));
    const char* tails[] = {"5", "50", "49999", "50001"};
    const std::string half = digit_string(kept) + tails[uniform(0, 3)];
    const double h = parse(half + "e" + std::to_string(uniform(-30, 30) - kept));
    check(nudge(h, static_cast<int>(uniform(-2, 2))));
    const double tenth =
        parse(std::to_string(uniform(0, 999999999)) + "." + std::to_string(uniform(0, 9)) + "5");
    check(nudge(uniform(0, 1) ? tenth : -tenth, static_cast<int>(uniform(-2, 2))));

    // Near powers of ten, and tiny or huge values of any mantissa.
    const double ten = parse("1e" + std::to_string(uniform(-323, 308)));
    check(nudge(ten, static_cast<int>(uniform(-3, 3))));
    const std::uint64_t mantissa = rng() & ((1ULL << 52) - 1);
    const std::uint64_t exponent =
        static_cast<std::uint64_t>(uniform(0, 1) ? uniform(0, 60) : uniform(1990, 2046));
    check(from_bits((exponent << 52) | mantissa));
  }
  EXPECT_EQ(failures, 0);
}

} // namespace
