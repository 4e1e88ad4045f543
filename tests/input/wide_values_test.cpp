#include "input/wide_values.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "input/token_index.h"
#include "text/decimal.h"

namespace td {
namespace {

std::uint64_t bits(double v) { return std::bit_cast<std::uint64_t>(v); }

// The builds of the side-by-side reading this processor runs, with names.
std::vector<std::pair<ReaderBuild, const char*>> wide_builds() {
  std::vector<std::pair<ReaderBuild, const char*>> out;
  if (reader_build(ReaderBuild::avx512) == ReaderBuild::avx512)
    out.emplace_back(ReaderBuild::avx512, "AVX-512");
  if (reader_build(ReaderBuild::avx2) == ReaderBuild::avx2) out.emplace_back(ReaderBuild::avx2, "AVX2");
  return out;
}

TEST(WideValues, FourShortTokensSideBySide) {
  if (wide_builds().empty()) GTEST_SKIP() << "skipped: this processor has neither AVX2 nor AVX-512";
  struct Case {
    const char* tokens[4]; // each followed by padding, as in the reader's buffer
    bool read;
    double values[4];
  };
  const Case cases[] = {
      {{"-12.5 ", "0.98\n", "100\t", "+.5 "}, true, {-12.5, 0.98, 100.0, 0.5}},
      {{"5. ", "-0 ", "-.5 ", "1234567 "}, true, {5.0, -0.0, -0.5, 1234567.0}},
      {{"0.00001 ", "-1.2345 ", "+123456 ", "99.9999 "}, // 7 bytes each
       true,
       {0x1.4f8b588e368f1p-17, -0x1.3c083126e978dp+0, 123456.0, 0x1.8fffe5c91d14ep+6}},
      {{"7 8", "0.1 0.2", "-3.5 -4", "2. 3."}, true, {7.0, 0.1, -3.5, 2.0}}, // only the first token
      {{"-123.456 ", "1 ", "1 ", "1 "}, false, {}},                          // 8 bytes
      {{"1 ", "12345678 ", "1 ", "1 "}, false, {}},
      {{"1 ", "1 ", "1 ", "+1234567 "}, false, {}},
  };
  for (const Case& c : cases) {
    std::string padded[4];
    const char* tokens[4];
    for (int i = 0; i < 4; ++i) {
      padded[i] = std::string(c.tokens[i]) + std::string(16, '\0');
      tokens[i] = padded[i].c_str();
    }
    for (const auto& [build, name] : wide_builds()) {
      SCOPED_TRACE(std::string(name) + ": " + c.tokens[0] + "|" + c.tokens[1] + "|" + c.tokens[2] + "|" +
                   c.tokens[3]);
      double got[4] = {7, 7, 7, 7};
      ASSERT_EQ(four_short_values(build, tokens, got), c.read);
      if (!c.read) continue;
      for (int i = 0; i < 4; ++i)
        EXPECT_EQ(bits(got[i]), bits(c.values[i])) << i << ": " << std::hexfloat << got[i];
    }
  }
}

// Random tokens of every short shape against the one-at-a-time reading.
TEST(WideValues, AgreeWithTheShortSpellingReader) {
  if (wide_builds().empty()) GTEST_SKIP() << "skipped: this processor has neither AVX2 nor AVX-512";
  std::mt19937_64 rng(20261210);
  const auto token = [&rng] {
    std::string t;
    if (rng() % 3 == 0) t += "+-"[rng() % 2];
    const std::size_t len = 1 + rng() % (7 - t.size());
    const std::size_t point = rng() % (len + 2); // len or more: none
    for (std::size_t i = 0; i < len; ++i)
      t += i == point && len > 1 ? '.' : static_cast<char>('0' + rng() % 10);
    return t + " \t\n"[rng() % 3];
  };
  for (int round = 0; round < 200000; ++round) {
    std::string padded[4];
    const char* tokens[4];
    for (int i = 0; i < 4; ++i) {
      padded[i] = token() + std::string(16, '\0');
      tokens[i] = padded[i].c_str();
    }
    for (const auto& [build, name] : wide_builds()) {
      double got[4];
      ASSERT_TRUE(four_short_values(build, tokens, got))
          << name << ": " << tokens[0] << "|" << tokens[1] << "|" << tokens[2] << "|" << tokens[3];
      for (int i = 0; i < 4; ++i) {
        double want = 0;
        ASSERT_NE(parse_short_decimal(tokens[i], want), nullptr) << tokens[i];
        ASSERT_EQ(bits(got[i]), bits(want))
            << name << ": \"" << tokens[i] << "\": " << std::hexfloat << got[i] << " against " << want;
      }
    }
  }
}

} // namespace
} // namespace td
