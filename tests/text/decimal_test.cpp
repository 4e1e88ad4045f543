#include "text/decimal.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <string_view>

namespace td {
namespace {

std::uint64_t bits(double d) { return std::bit_cast<std::uint64_t>(d); }

__extension__ typedef unsigned __int128 U128;

// The text with NUL padding after it, as the reader's buffer has.
struct Padded {
  std::string text;
  explicit Padded(std::string t) : text(std::move(t)) { text.append(16, '\0'); }
  const char* data() const { return text.data(); }
};

// The general grammar and conversion, as the scanner and the record kernel
// run them on a token in place. false: not a number or out of range.
bool general(const char* p, double& out, std::size_t& consumed) {
  DecimalDigits d;
  InPlace at{p};
  const bool ok = parse_decimal(at, d) && decimal_to_double(d, out);
  consumed = static_cast<std::size_t>(at.p - p);
  return ok;
}

TEST(Decimal, ShortSpellingsAndWhatTheyLeaveToTheGrammar) {
  struct Case {
    const char* text;
    bool taken;   // parse_short_decimal reads it
    double value; // when taken
    std::size_t consumed;
  };
  const Case cases[] = {
      {"-12.25 ", true, -12.25, 6},
      {"5. ", true, 5.0, 2},
      {".5", true, 0.5, 2},
      {"+0.125", true, 0.125, 6},
      {"-0", true, -0.0, 2},
      {"2.50E+00 ", true, 2.5, 8},
      {"7.947504738483411e-01", true, 0.7947504738483411, 21},
      {"-5.7000000000000002", true, -5.7000000000000002, 19},
      {"1234567890123456789", true, 1234567890123456789.0, 19},
      {"00000000000000000001", false, 0, 0}, // 20 digits with the zeros
      {"1e99", true, 1e99, 4},               // Clinger does not take it, nor the x87 path
      {"1e", false, 0, 0},
      {"1e+", false, 0, 0},
      {"1e12345", false, 0, 0}, // an exponent of more than four digits
      {"5e99300993030099300778", false, 0, 0},
      {".", false, 0, 0},
      {"-", false, 0, 0},
      {"1.2.3", true, 1.2, 3},           // stops where the grammar stops
      {"9007199254740993", false, 0, 0}, // 2^53 + 1: a midpoint, left to the general conversion
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const Padded in(c.text);
    double v = 7;
    const char* end = parse_short_decimal(in.data(), v);
    // Text without an exponent reads alike where exponents are ruled out.
    if (std::string_view(c.text).find_first_of("eE") == std::string_view::npos) {
      double w = 7;
      const char* end_w = parse_short_decimal<false>(in.data(), w);
      EXPECT_EQ(end_w, end);
      if (end != nullptr) {
        EXPECT_EQ(bits(w), bits(v));
      }
    }
    if (end == nullptr) {
      // 1e99 is outside both exact paths: the general conversion takes it.
      EXPECT_FALSE(c.taken && std::string(c.text) != "1e99");
      continue;
    }
    EXPECT_TRUE(c.taken);
    EXPECT_EQ(bits(v), bits(c.value)) << std::hexfloat << v;
    EXPECT_EQ(static_cast<std::size_t>(end - in.data()), c.consumed);
  }
}

// The hard cases of the x87 path: decimals of up to 19 digits that lie
// within half a unit of the 64-bit mantissa of a midpoint between two
// doubles, so that the first rounding lands on the midpoint. Both readings
// must give what strtod gives (correctly rounded).
TEST(Decimal, NearMidpointsAgreeWithStrtod) {
  std::mt19937_64 rng(20261213);
  int near = 0;
  int failures = 0;
  for (int i = 0; i < 200000 && failures < 5; ++i) {
    // A midpoint M = j / 2^s between doubles of [2^e, 2^(e+1)): j has 54 bits.
    // With 19 digits a decimal comes closer to a midpoint than half a unit
    // of the 64-bit mantissa without being it only for mid-sized values.
    const int e = 14 + static_cast<int>(rng() % 16);
    const int k = 18 - (e * 3 + 9) / 10; // as many decimals as 19 digits allow
    const U128 j = (std::uint64_t{1} << 52 | (rng() & ((std::uint64_t{1} << 52) - 1))) * 2 + 1;
    const int s = 53 - e; // M = j / 2^s, s >= 14
    // m = round(M * 10^k) must fit 19 digits.
    U128 p10 = 1;
    for (int t = 0; t < k; ++t) p10 *= 10;
    const U128 scaled = j * p10;
    const U128 m = (scaled + (static_cast<U128>(1) << (s - 1))) >> s;
    if (m == 0 || m >= static_cast<U128>(10000000000000000000ull)) continue;
    std::string digits = std::to_string(static_cast<std::uint64_t>(m));
    if (static_cast<int>(digits.size()) <= k)
      digits.insert(0, static_cast<std::size_t>(k) - digits.size() + 1, '0');
    std::string text = digits.substr(0, digits.size() - static_cast<std::size_t>(k)) + "." +
                       digits.substr(digits.size() - static_cast<std::size_t>(k));
    if (rng() % 2 == 0) text.insert(0, "-");
    const double want = std::strtod(text.c_str(), nullptr);
    // The first rounding, to 64 bits, lands on the midpoint itself.
    const long double first = static_cast<long double>(static_cast<std::uint64_t>(m)) / std::pow(10.0L, k);
    near += first == std::ldexp(static_cast<long double>(static_cast<std::uint64_t>(j)), -s) && k < s;
    const Padded in(text + " ");
    double got = 0;
    if (parse_short_decimal(in.data(), got) != nullptr && bits(got) != bits(want)) {
      ADD_FAILURE() << "parse_short_decimal(\"" << text << "\") = " << std::hexfloat << got << ", strtod "
                    << want;
      ++failures;
    }
    std::size_t consumed = 0;
    if (!general(in.data(), got, consumed) || bits(got) != bits(want)) {
      ADD_FAILURE() << "general(\"" << text << "\") = " << std::hexfloat << got << ", strtod " << want;
      ++failures;
    }
  }
  EXPECT_GT(near, 200); // the test reaches the cases it is meant for
}

} // namespace
} // namespace td
