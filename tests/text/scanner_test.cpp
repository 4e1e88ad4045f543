#include "text/scanner.h"

#include "support/stream_model.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <vector>

namespace td {
namespace {

using namespace std::string_view_literals;

using stream_model::Kind;

struct Setting {
  std::size_t chunk;
  std::size_t lookahead;
};

// Whole-buffer reads (with the default lookahead short texts take the
// general path; with lookahead 1 every token followed by white space takes
// the inline one); then pieces small enough that every token is cut by
// refills, and lookaheads small enough that tokens take the streaming path.
constexpr Setting kSettings[] = {
    {kSourceBytes, kScanLookahead}, {kSourceBytes, 1}, {1, 1}, {2, 3}, {3, 8}, {7, 2}, {1000, 100},
};

std::string describe(const Setting& st) {
  return "read_chunk=" + std::to_string(st.chunk) + " lookahead=" + std::to_string(st.lookahead);
}

std::string escaped(std::string_view text, std::size_t limit = 4000) {
  std::string out;
  for (const char c : text.substr(0, limit)) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '\\') {
      out += "\\\\";
    } else if (u >= 0x20 && u < 0x7f) {
      out += c;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", u);
      out += hex;
    }
  }
  if (text.size() > limit) out += "...(" + std::to_string(text.size()) + " bytes)";
  return out;
}

// Bytes of a memory source consumed so far.
std::size_t consumed(const Scanner& s) { return s.src.mem_pos - (s.src.end - s.src.pos); }

std::uint64_t bits(double d) { return std::bit_cast<std::uint64_t>(d); }

// ---------------------------------------------------------------------------
// One extraction from the start of a text: status, value and what is left.

struct Case {
  std::string_view text;
  Kind kind;
  ScanStatus status;
  double number = 0;       // ok int or double (ints are exact here)
  std::string_view rest{}; // left after an ok extraction
  std::string_view word{}; // an ok word
};

constexpr ScanStatus ok = ScanStatus::ok;
constexpr ScanStatus bad = ScanStatus::not_number;
constexpr ScanStatus none = ScanStatus::end;

const Case kSingleCases[] = {
    // Common shapes and where they stop.
    {"12.3", Kind::double_, ok, 12.3, ""},
    {"-0.5\n", Kind::double_, ok, -0.5, "\n"},
    {"+7. ", Kind::double_, ok, 7.0, " "},
    {"123456789012.345 ", Kind::double_, ok, 123456789012.345, " "},
    {"1234567890123.456 ", Kind::double_, ok, 1234567890123.456, " "},
    {"9007199254740993 ", Kind::double_, ok, 9007199254740992.0, " "},
    {"-4.25 7", Kind::double_, ok, -4.25, " 7"},
    {"  -12.5e1x", Kind::double_, ok, -125.0, "x"},
    {"\r\n\t\v\f 0\r\n", Kind::double_, ok, 0.0, "\r\n"},
    {"-0", Kind::double_, ok, -0.0, ""},
    {"-0.000", Kind::double_, ok, -0.0, ""},
    {".5", Kind::double_, ok, 0.5, ""},
    {"-.5", Kind::double_, ok, -0.5, ""},
    {"+.5", Kind::double_, ok, 0.5, ""},
    {"5.", Kind::double_, ok, 5.0, ""},
    {"5.;", Kind::double_, ok, 5.0, ";"},
    {"1E-2", Kind::double_, ok, 0.01, ""},
    {"1.e5", Kind::double_, ok, 1e5, ""},
    {"00012.50", Kind::double_, ok, 12.5, ""},
    {"9e14e", Kind::double_, ok, 9e14, "e"},
    {"1e5.5", Kind::double_, ok, 1e5, ".5"},
    {"1.2.3", Kind::double_, ok, 1.2, ".3"},
    {"3-4", Kind::double_, ok, 3.0, "-4"},
    {"0x1p3", Kind::double_, ok, 0.0, "x1p3"},
    {"1234567.1234567", Kind::double_, ok, 1234567.1234567, ""},
    {"12345678.87654321", Kind::double_, ok, 12345678.87654321, ""},
    {"9007199254740993", Kind::double_, ok, 9007199254740992.0, ""}, // 2^53 + 1 rounds to even
    {"123456789012345678901234567890", Kind::double_, ok, 123456789012345678901234567890.0, ""},
    {"0.1000000000000000055511151231257827021181583404541015625", Kind::double_, ok, 0.1, ""},
    {"1.5e22", Kind::double_, ok, 1.5e22, ""},
    {"1e23", Kind::double_, ok, 1e23, ""},
    {"0e99999999999999", Kind::double_, ok, 0.0, ""},
    {"1\0"sv, Kind::double_, ok, 1.0, "\0"sv},
    // Range: overflow fails, underflow rounds (to a signed zero if need be).
    {"1.7976931348623158e308", Kind::double_, ok, DBL_MAX, ""},
    {"1.7976931348623159e308", Kind::double_, bad},
    {"1e400", Kind::double_, bad},
    {"-1e400", Kind::double_, bad},
    {"1e99999999999999999999", Kind::double_, bad},
    {"1e-400", Kind::double_, ok, 0.0, ""},
    {"-1e-400", Kind::double_, ok, -0.0, ""},
    {"1e-99999999999999999999", Kind::double_, ok, 0.0, ""},
    {"4.9e-324", Kind::double_, ok, 0x1p-1074, ""},
    {"2.4703282292062327e-324", Kind::double_, ok, 0.0, ""},
    {"-2.4703282292062328e-324", Kind::double_, ok, -0x1p-1074, ""},
    {"2.2250738585072011e-308", Kind::double_, ok, 0x0.fffffffffffffp-1022, ""},
    // Not numbers.
    {"inf", Kind::double_, bad},
    {"nan", Kind::double_, bad},
    {"infinity", Kind::double_, bad},
    {".", Kind::double_, bad},
    {"-", Kind::double_, bad},
    {"+", Kind::double_, bad},
    {"+-4", Kind::double_, bad},
    {"1e", Kind::double_, bad},
    {"1e+", Kind::double_, bad},
    {"1E-x", Kind::double_, bad},
    {"e5", Kind::double_, bad},
    {".e5", Kind::double_, bad},
    {"\0"sv, Kind::double_, bad},
    {"", Kind::double_, none},
    {" \t\n\v\f\r", Kind::double_, none},

    {"12.5", Kind::int_, ok, 12, ".5"},
    {"-7 ", Kind::int_, ok, -7, " "},
    {"999999999\t", Kind::int_, ok, 999999999, "\t"},
    {"-2147483648 ", Kind::int_, ok, -2147483648.0, " "},
    {"2147483648 ", Kind::int_, bad},
    {" -7\n", Kind::int_, ok, -7, "\n"},
    {"+7", Kind::int_, ok, 7, ""},
    {"-0", Kind::int_, ok, 0, ""},
    {"0x10", Kind::int_, ok, 0, "x10"},
    {"1e5", Kind::int_, ok, 1, "e5"},
    {"1234567", Kind::int_, ok, 1234567, ""},
    {"12345678", Kind::int_, ok, 12345678, ""},
    {"2147483647", Kind::int_, ok, 2147483647, ""},
    {"-2147483648", Kind::int_, ok, -2147483648.0, ""},
    {"00000000000000000002147483647x", Kind::int_, ok, 2147483647, "x"},
    {"2147483648", Kind::int_, bad},
    {"-2147483649", Kind::int_, bad},
    {"99999999999999999999999", Kind::int_, bad},
    {"+-4", Kind::int_, bad},
    {"-", Kind::int_, bad},
    {".5", Kind::int_, bad},
    {"abc", Kind::int_, bad},
    {"", Kind::int_, none},
    {"\r\n", Kind::int_, none},

    {"abc def", Kind::word, ok, 0, " def", "abc"},
    {"\n\t x\0\xff-y\r\nz"sv, Kind::word, ok, 0, "\r\nz", "x\0\xff-y"sv},
    {"12.5", Kind::word, ok, 0, "", "12.5"},
    {"   ", Kind::word, none},
};

void check_case(const Case& c, const Setting& st, bool peek_first) {
  SCOPED_TRACE(describe(st) + (peek_first ? " after a peek" : "") + " text \"" + escaped(c.text) + "\"");
  Scanner s;
  scanner_open_memory(s, c.text, st.chunk, st.lookahead);
  if (peek_first) {
    EXPECT_EQ(scanner_peek(s), c.text.empty() ? -1 : static_cast<unsigned char>(c.text[0]));
  }
  ScanStatus got = ScanStatus::io_error;
  if (c.kind == Kind::int_) {
    std::int32_t v = 0;
    got = scan_int(s, v);
    if (got == ok && c.status == ok) {
      EXPECT_EQ(v, static_cast<std::int32_t>(c.number));
    }
  } else if (c.kind == Kind::double_) {
    double v = 7;
    got = scan_double(s, v);
    if (got == ok && c.status == ok) {
      EXPECT_EQ(bits(v), bits(c.number)) << std::hexfloat << v;
    }
  } else {
    std::string word;
    got = scan_word(s, word);
    if (got == ok && c.status == ok) {
      EXPECT_EQ(word, c.word);
    }
  }
  EXPECT_EQ(got, c.status);
  if (got == ok && c.status == ok) {
    EXPECT_EQ(c.text.substr(consumed(s)), c.rest);
    EXPECT_EQ(scanner_peek(s), c.rest.empty() ? -1 : static_cast<unsigned char>(c.rest[0]));
  }
  scanner_close(s);
}

// A peek first fills the buffer, so that the inline path can take the token;
// without it the first extraction does the filling itself.
TEST(Scanner, SingleExtractionsStopWhereFormattedInputStops) {
  for (const Setting& st : kSettings) {
    for (const Case& c : kSingleCases) {
      check_case(c, st, false);
      check_case(c, st, true);
    }
  }
}

TEST(Scanner, SuccessAtTheEndLeavesNothingAndFailureNamesTheWord) {
  Scanner s;
  scanner_open_memory(s, "12\n");
  std::int32_t i = 0;
  double d = 0;
  ASSERT_EQ(scan_int(s, i), ok);
  EXPECT_EQ(scanner_peek(s), '\n');
  EXPECT_EQ(scan_double(s, d), none);
  EXPECT_EQ(scanner_peek(s), -1);
  EXPECT_EQ(scan_int(s, i), none);

  const std::string long_word = "1e+" + std::string(100, 'q') + " next";
  for (const auto& [text, want] : {std::pair<std::string, std::string>{"  +-4 5", "+-4"},
                                   {"1.5 1ex", "1ex"},
                                   {long_word, long_word.substr(0, Scanner::kBadTokenMax)}}) {
    for (const Setting& st : kSettings) {
      SCOPED_TRACE(describe(st) + " text \"" + escaped(text) + "\"");
      scanner_open_memory(s, text, st.chunk, st.lookahead);
      ScanStatus got;
      while ((got = scan_double(s, d)) == ok) {
      }
      ASSERT_EQ(got, bad);
      EXPECT_EQ(std::string(s.bad, s.bad_len), want);
      EXPECT_EQ(s.bad[s.bad_len], '\0');
    }
  }
  scanner_close(s);
}

// Tokens far longer than the lookahead, and longer than the whole buffer,
// are streamed: the values are still exact.
TEST(Scanner, TokensLongerThanTheBuffer) {
  const std::size_t n = 3 * kSourceBytes;
  const std::string zeros(n, '0');
  struct Long {
    std::string text;
    Kind kind;
    double number;
  };
  const Long longs[] = {
      {"1" + zeros + "e-" + std::to_string(n) + " 2", Kind::double_, 1.0},
      {"-0." + zeros + "15e" + std::to_string(n + 1) + " 2", Kind::double_, -1.5},
      {"0." + zeros + "1 2", Kind::double_, 0.0},    // underflows
      {"1" + zeros + " 2", Kind::double_, HUGE_VAL}, // overflows: fails
      {"1" + zeros + "e-99999999999 2", Kind::double_, 0.0},
      {"0.1" + zeros + "1 2", Kind::double_, 0.1}, // just above 0.1: still 0.1
      {"-" + zeros + "7 2", Kind::int_, -7},
      {"1" + zeros + " 2", Kind::int_, HUGE_VAL},
  };
  for (const Setting& st : {Setting{kSourceBytes, kScanLookahead}, Setting{4096, 512}}) {
    for (const Long& c : longs) {
      SCOPED_TRACE(describe(st) + " text \"" + escaped(c.text, 40) + "\"");
      Scanner s;
      scanner_open_memory(s, c.text, st.chunk, st.lookahead);
      const bool fails = c.number == HUGE_VAL;
      if (c.kind == Kind::int_) {
        std::int32_t v = 0;
        ASSERT_EQ(scan_int(s, v), fails ? bad : ok);
        if (!fails) {
          EXPECT_EQ(v, static_cast<std::int32_t>(c.number));
        }
      } else {
        double v = 0;
        ASSERT_EQ(scan_double(s, v), fails ? bad : ok);
        if (!fails) {
          EXPECT_EQ(bits(v), bits(c.number)) << std::hexfloat << v;
        }
      }
      if (!fails) {
        std::int32_t next = 0;
        EXPECT_EQ(scan_int(s, next), ok);
        EXPECT_EQ(next, 2);
      }
      scanner_close(s);
    }
  }
  // A word is kept whole, however long.
  const std::string word(2 * kSourceBytes + 3, 'w');
  Scanner s;
  const std::string text = " " + word + " x";
  scanner_open_memory(s, text, 100000, 64);
  std::string got;
  ASSERT_EQ(scan_word(s, got), ok);
  EXPECT_EQ(got, word);
  scanner_close(s);
}

// ---------------------------------------------------------------------------
// Differential test: random token streams read by formatted extraction from
// std::istringstream and by the scanner must agree on every extraction.

struct Gen {
  std::mt19937_64 rng;

  std::uint64_t below(std::uint64_t n) { return rng() % n; }
  bool chance(unsigned percent) { return below(100) < percent; }
  char digit() { return static_cast<char>('0' + below(10)); }
  std::string digits(std::size_t n) {
    std::string out;
    for (std::size_t i = 0; i < n; ++i) out += digit();
    return out;
  }
  std::string sign() {
    const auto r = below(10);
    return r < 3 ? "-" : r == 3 ? "+" : "";
  }

  // The exact decimal expansion of the midpoint between a random double and
  // its successor, exactly, truncated (just below) or with a far nonzero
  // digit (just above): the hardest cases for correct rounding.
  std::string midpoint() {
    const double d = std::bit_cast<double>(1 + below(0x7FEFFFFFFFFFFFFEu));
    const long double mid = (static_cast<long double>(d) + std::nextafter(d, HUGE_VAL)) / 2;
    char text[1200];
    std::snprintf(text, sizeof text, "%.780Le", mid);
    std::string t = text;
    const std::size_t e = t.find('e');
    std::string mant = t.substr(0, e);
    const std::string exp = t.substr(e);
    while (mant.back() == '0') mant.pop_back();
    switch (below(3)) {
    case 0: break;
    case 1: mant.resize(std::min(mant.size(), 3 + below(mant.size()))); break;
    default: mant += std::string(40 + below(100), '0') + "1"; break;
    }
    return mant + exp;
  }

  std::string exponent() {
    std::string e = chance(50) ? "e" : "E";
    e += sign();
    switch (below(6)) {
    case 0: return e; // incomplete
    case 1: return e + digits(1 + below(3));
    case 2: return e + std::to_string(290 + below(40));
    case 3: return e + std::to_string(300 + below(30));
    case 4: return e + "0000" + digits(2);
    default: return e + digits(1 + below(25));
    }
  }

  std::string token(Kind& kind) {
    static constexpr std::string_view kForms[] = {
        ".5",
        "5.",
        "-.5",
        "+.5",
        "1e",
        "1e+",
        "1E-",
        ".",
        "-",
        "+",
        "+-4",
        "-+4",
        "0x1p3",
        "inf",
        "-inf",
        "nan",
        "infinity",
        "NaN",
        "9e14e",
        "1.2.3",
        "e5",
        ".e5",
        "-e5",
        "1e400",
        "1e-400",
        "-1e-400",
        "4.9e-324",
        "2.4703282292062327e-324",
        "2.4703282292062328e-324",
        "1.7976931348623159e308",
        "1.7976931348623158e308",
        "2147483647",
        "2147483648",
        "-2147483648",
        "-2147483649",
        "00012.50",
        "-0",
        "0",
        "1e5.5",
        "12.5",
        "3-4",
        "007",
        "0.0000000000000000000000001",
        "1..2",
        "1.e",
        "1.e5",
    };
    static constexpr char kJunk[] = "xX#,;:abcEe.+-\0\x7f\xff/";
    const auto r = below(1000);
    kind = Kind::double_;
    if (r < 420) { // record-like decimals
      std::string t = sign() + std::to_string(below(chance(80) ? 40 : 2000));
      if (chance(75)) t += "." + digits(1 + below(chance(90) ? 2 : 7));
      return t;
    }
    if (r < 560) {
      kind = Kind::int_;
      if (chance(10)) return sign() + std::string(below(25), '0') + std::to_string(2147483640 + below(16));
      return sign() + (chance(10) ? "00" : "") + std::to_string(below(std::uint64_t{1} << below(34)));
    }
    if (r < 700) { // long mantissas, exponents
      std::string t = sign();
      const std::size_t n = 1 + below(chance(50) ? 19 : 40);
      const std::string ds = digits(n);
      const std::size_t dot = below(n + 2);
      t += dot <= n ? ds.substr(0, dot) + "." + ds.substr(dot) : ds;
      if (chance(60)) t += exponent();
      return t;
    }
    if (r < 760) {
      kind = static_cast<Kind>(below(3));
      return std::string(kForms[below(std::size(kForms))]);
    }
    if (r < 780) return sign() + midpoint();
    if (r < 783) { // more than 800 digits
      std::string t = sign() + digits(800 + below(700));
      t.insert(below(t.size() + 1), ".");
      if (chance(50)) t += exponent();
      return t;
    }
    if (r < 790)
      return sign() + std::string(1 + below(30), '0') + "." + std::string(below(30), '0') +
             digits(1 + below(3)) + exponent();
    kind = Kind::word;
    std::string t;
    for (std::size_t n = 1 + below(4); n > 0; --n) t += kJunk[below(sizeof kJunk - 1)];
    if (chance(50)) t.insert(0, digits(1 + below(3))); // a number with junk glued on
    return t;
  }

  std::string separator() {
    static constexpr std::string_view kSeps[] = {" ",  " ",  " ",  "\n", "\r\n",     "\t",
                                                 "  ", "\v", "\f", "\r", " \r\n\t ", ""};
    return std::string(kSeps[below(std::size(kSeps))]);
  }
};

using stream_model::Step;

bool all_space(std::string_view text) {
  for (const char c : text)
    if (!is_space_byte(c)) return false;
  return true;
}

// Empty if the scanner agrees with every step, else what differed.
std::string compare(Scanner& s, const std::string& text, const std::vector<Step>& steps,
                    const Setting& setting) {
  scanner_open_memory(s, text, setting.chunk, setting.lookahead);
  std::size_t offset = 0;
  std::string word;
  std::string diff;
  for (std::size_t n = 0; n < steps.size() && diff.empty(); ++n) {
    const Step& want = steps[n];
    std::int32_t i = 0;
    double d = 0;
    ScanStatus got;
    if (want.kind == Kind::int_)
      got = scan_int(s, i);
    else if (want.kind == Kind::double_)
      got = scan_double(s, d);
    else
      got = scan_word(s, word);
    const ScanStatus expected = want.ok ? ok : all_space(std::string_view(text).substr(offset)) ? none : bad;
    const std::string where = "step " + std::to_string(n) + " (kind " +
                              std::to_string(static_cast<int>(want.kind)) + ") at byte " +
                              std::to_string(offset) + ": ";
    if (got != expected) {
      diff = where + "status " + std::to_string(static_cast<int>(got)) + ", expected " +
             std::to_string(static_cast<int>(expected));
    } else if (want.ok) {
      char buf[128] = "";
      if (want.kind == Kind::int_ && i != want.i)
        std::snprintf(buf, sizeof buf, "int %d, expected %d", i, want.i);
      if (want.kind == Kind::double_ && bits(d) != bits(want.d))
        std::snprintf(buf, sizeof buf, "double %a, expected %a", d, want.d);
      if (want.kind == Kind::word && word != want.word) std::snprintf(buf, sizeof buf, "word differs");
      if (buf[0] != '\0')
        diff = where + buf;
      else if (consumed(s) != want.offset)
        diff =
            where + "stopped at " + std::to_string(consumed(s)) + ", expected " + std::to_string(want.offset);
      offset = want.offset;
    }
  }
  return diff;
}

TEST(Scanner, AgreesWithFormattedExtractionOnRandomStreams) {
  constexpr std::uint64_t kBaseSeed = 20240611;
  constexpr int kCases = 60000;
  constexpr int kTokensPerCase = 16;
  std::size_t extractions = 0;
  int failures = 0;
  Scanner s; // reopened for every text
  for (int c = 0; c < kCases && failures < 5; ++c) {
    const std::uint64_t seed = kBaseSeed + static_cast<std::uint64_t>(c);
    Gen g{std::mt19937_64(seed)};
    std::string text = g.chance(10) ? g.separator() : "";
    std::vector<Kind> plan;
    for (int t = 0; t < kTokensPerCase; ++t) {
      Kind kind;
      text += g.token(kind);
      text += g.separator();
      plan.push_back(g.chance(97) ? kind : static_cast<Kind>(g.below(3)));
    }
    for (int extra = 0; extra < 2; ++extra) plan.push_back(static_cast<Kind>(g.below(3)));
    const std::vector<Step> steps = stream_model::extract(text, plan);
    // Every case with the whole text buffered (both lookaheads) and read a
    // byte at a time, and with one more of the settings in turn.
    const std::size_t rotate = 3 + static_cast<std::size_t>(c) % (std::size(kSettings) - 3);
    for (const std::size_t k : {std::size_t{0}, std::size_t{1}, std::size_t{2}, rotate}) {
      extractions += steps.size();
      const std::string diff = compare(s, text, steps, kSettings[k]);
      if (!diff.empty()) {
        ++failures;
        ADD_FAILURE() << "seed " << seed << ", " << describe(kSettings[k]) << ": " << diff << "\ntext \""
                      << escaped(text) << "\"";
        break;
      }
    }
  }
  scanner_close(s);
  EXPECT_GT(extractions, 1000000u); // the run must reach deep into the streams
}

// ---------------------------------------------------------------------------
// Descriptor sources: a file larger than the buffer, a pipe with short
// reads, and the errors.

std::string record_text(std::size_t bytes) {
  std::mt19937_64 rng(7);
  std::string text;
  while (text.size() < bytes) {
    for (int k = 0; k < 5; ++k) text += std::to_string(rng() % 3000) + ' ';
    for (int k = 0; k < 10; ++k) {
      const auto v = static_cast<std::int64_t>(rng() % 8001) - 4000;
      text += std::to_string(v / 100);
      if (rng() % 3 != 0) text += "." + std::to_string(std::abs(v) % 100);
      text += k == 9 ? (rng() % 2 ? "\n" : "\r\n") : " ";
    }
  }
  return text;
}

// Reads 5 ints then 10 doubles per record from both and compares all values.
void expect_same_records(Scanner& s, const std::string& text) {
  std::istringstream is(text);
  std::size_t records = 0;
  for (;; ++records) {
    std::int32_t a = 0, b = 0;
    double x = 0, y = 0;
    for (int k = 0; k < 5; ++k) {
      const bool want = static_cast<bool>(is >> a);
      const ScanStatus got = scan_int(s, b);
      if (!want && k == 0) {
        ASSERT_EQ(got, none);
        EXPECT_GT(records, 0u);
        return;
      }
      ASSERT_EQ(got, ok) << "record " << records;
      ASSERT_EQ(a, b) << "record " << records;
    }
    for (int k = 0; k < 10; ++k) {
      ASSERT_TRUE(is >> x);
      ASSERT_EQ(scan_double(s, y), ok) << "record " << records;
      ASSERT_EQ(bits(x), bits(y)) << "record " << records;
    }
  }
}

TEST(Scanner, ReadsFilesAndPipesAcrossBufferRefills) {
  const std::string text = record_text(5 * kSourceBytes / 2);
  char path[] = "/tmp/td_scanner_test_XXXXXX";
  const int fd = ::mkstemp(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  ::close(fd);

  Scanner s;
  ASSERT_TRUE(scanner_open_file(s, path));
  expect_same_records(s, text);
  scanner_close(s);
  ::unlink(path);

  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  // A pipe hands the text out in small pieces, as its writer writes them.
  const pid_t writer = ::fork();
  ASSERT_GE(writer, 0);
  if (writer == 0) {
    ::close(fds[0]);
    for (std::size_t at = 0; at < text.size(); at += 1000) {
      const std::size_t n = std::min<std::size_t>(1000, text.size() - at);
      if (::write(fds[1], text.data() + at, n) != static_cast<ssize_t>(n)) ::_exit(1);
    }
    ::_exit(0);
  }
  ::close(fds[1]);
  scanner_open_fd(s, fds[0], true);
  expect_same_records(s, text);
  scanner_close(s); // closes the read end: a writer still writing then ends
  int status = 0;
  ::waitpid(writer, &status, 0);
}

TEST(Scanner, ReportsOpenAndReadErrors) {
  Scanner s;
  EXPECT_FALSE(scanner_open_file(s, "/nonexistent/td/input.txt"));
  EXPECT_EQ(s.src.error, ENOENT);

  ASSERT_TRUE(scanner_open_file(s, "/tmp")); // opens, but cannot be read
  double d = 0;
  EXPECT_EQ(scan_double(s, d), ScanStatus::io_error);
  EXPECT_EQ(s.src.error, EISDIR);
  EXPECT_EQ(scan_double(s, d), ScanStatus::io_error);
  EXPECT_EQ(scanner_peek(s), -1);
  scanner_close(s);
}

} // namespace
} // namespace td
