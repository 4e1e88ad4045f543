// td-generate-ensemble: writes a synthetic ensemble of daily weather series
// in the data-file layout the detector reads, for demonstrations and
// benchmarks.
//
//   td-generate-ensemble [--seed N] [--runs R] [--days D] [--crlf]
//                        [--spelling demo|mixed|full] OUTPUT_FILE
//
// Defaults: seed 1, 100 runs, 10957 days (1981-01-01 .. 2010-12-31), LF line
// ends. One record per line:
//
//   year month day run day-of-year RN Tmin Tmax VP RH WN SS diffradt dirradt PET
//
// Every run restarts at 1981-01-01 and walks the Gregorian calendar with its
// own random stream. The climate is that of a mid-latitude lowland site:
// Tmax about 3 C in January and 24 C in July, frost on most winter nights,
// a wet-day Markov chain with exponential rain amounts, sunshine limited by
// day length, and radiation, humidity and evapotranspiration derived from
// those.
//
// The output depends on the seed alone, on every platform: the generator
// (xoshiro256** seeded by splitmix64), the normal deviates (Irwin-Hall sums
// of twelve 16-bit uniforms), the seasonal cosine and the saturation vapour
// pressure are all computed in integer arithmetic, and values are written as
// integers in tenths or hundredths by our own formatter.
//
// The spelling changes how the numbers are written, never their values, so
// every spelling of a seed gives the same result files:
//   demo   1981 1 1 1 1 0.4 -2.5 3.1 ...          (the shortest fixed form)
//   mixed  1981 +1 01 1 1 .4 -2.50 +3.1e0 31E-1 -0.0 5. ...  (every form that
//          stream extraction accepts, chosen at random per field)
//   full   1981 1 1 1 1 0.40000000000000002 -2.500000E+00
//          3.1000000000000001e+00 ...  (model output at full precision:
//          "%.17g", "%.6E" and "%.16e", by column)
//
// Errors go to stderr as one line; the exit status is 2 for bad arguments
// and 1 when the file cannot be written (a partly written plain file is
// removed). Nothing is printed on success.

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

namespace {

using i64 = std::int64_t;
using u64 = std::uint64_t;

constexpr int kExitUsage = 2;
constexpr int kExitWrite = 1;

constexpr u64 kMaxRuns = 1000000;
constexpr u64 kMaxDays = 2000000; // keeps the year within four digits

constexpr std::size_t kOutBufferBytes = std::size_t{1} << 22;
constexpr std::size_t kMaxLineBytes = 256;

// ---------------------------------------------------------------------------
// Random numbers.

u64 rotl(u64 x, int k) { return (x << k) | (x >> (64 - k)); }

u64 splitmix64_next(u64& state) {
  state += 0x9E3779B97F4A7C15ULL;
  u64 z = state;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

using Xoshiro = std::array<u64, 4>;

u64 xoshiro_next(Xoshiro& s) {
  const u64 result = rotl(s[1] * 5, 7) * 9;
  const u64 t = s[1] << 17;
  s[2] ^= s[0];
  s[3] ^= s[1];
  s[1] ^= s[2];
  s[0] ^= s[3];
  s[2] ^= t;
  s[3] = rotl(s[3], 45);
  return result;
}

// The stream of run `run` (1-based) for `seed`: distinct runs start from
// distinct points of a splitmix64 sequence keyed by the seed.
Xoshiro stream_for_run(u64 seed, u64 run) {
  u64 key = seed;
  u64 sm = splitmix64_next(key) + run * 0xD1B54A32D192ED03ULL;
  Xoshiro s{};
  for (u64& w : s) w = splitmix64_next(sm);
  return s;
}

// A standard normal deviate in units of 1/65536 (Irwin-Hall: twelve uniform
// 16-bit integers, exact mean removed; variance 65536^2 - 1, tails cut at
// six standard deviations).
constexpr i64 kUnit = 65536;

i64 normal_q16(Xoshiro& s) {
  i64 sum = 0;
  for (int i = 0; i < 3; ++i) {
    const u64 x = xoshiro_next(s);
    sum += static_cast<i64>(x & 0xFFFF) + static_cast<i64>((x >> 16) & 0xFFFF) +
           static_cast<i64>((x >> 32) & 0xFFFF) + static_cast<i64>(x >> 48);
  }
  return sum - 393210; // 12 * 32767.5
}

// Uniform integer in [0, 1000).
i64 uniform_permille(Xoshiro& s) { return static_cast<i64>(((xoshiro_next(s) >> 32) * 1000) >> 32); }

// ---------------------------------------------------------------------------
// Integer arithmetic helpers.

// n / d rounded half away from zero, d > 0.
i64 div_round(i64 n, i64 d) { return n >= 0 ? (n + d / 2) / d : -((-n + d / 2) / d); }

i64 clamp_i(i64 v, i64 lo, i64 hi) { return v < lo ? lo : (v > hi ? hi : v); }

i64 max_i(i64 a, i64 b) { return a > b ? a : b; }

// floor(sqrt(v)) for v >= 0.
i64 isqrt(i64 v) {
  if (v <= 0) return 0;
  i64 r = 0;
  i64 bit = i64{1} << 62;
  while (bit > v) bit >>= 2;
  while (bit != 0) {
    if (v >= r + bit) {
      v -= r + bit;
      r = (r >> 1) + bit;
    } else {
      r >>= 1;
    }
    bit >>= 2;
  }
  return r;
}

// cos(2*pi*num/den) in thousandths, 0 <= num < den.
i64 cos_permille(i64 num, i64 den) {
  constexpr i64 kQ = i64{1} << 28;
  constexpr i64 kHalfPiQ28 = 421657428;
  constexpr i64 kQuarter = i64{1} << 18;       // a quarter turn
  const i64 turn = num * (4 * kQuarter) / den; // 0 .. 2^20 - 1
  const i64 quadrant = turn / kQuarter;
  const i64 x = (turn % kQuarter) * kHalfPiQ28 / kQuarter; // [0, pi/2) in Q28
  const i64 x2 = x * x / kQ;
  // Taylor series of cos and sin on [0, pi/2), terms kept positive.
  i64 cos_sum = kQ;
  i64 sin_sum = x;
  i64 term = kQ;
  i64 sterm = x;
  for (i64 k = 1; k <= 12; ++k) {
    term = term * x2 / kQ / ((2 * k - 1) * (2 * k));
    sterm = sterm * x2 / kQ / ((2 * k) * (2 * k + 1));
    if (k % 2 == 1) {
      cos_sum -= term;
      sin_sum -= sterm;
    } else {
      cos_sum += term;
      sin_sum += sterm;
    }
  }
  i64 c = 0;
  switch (quadrant) {
  case 0: c = cos_sum; break;
  case 1: c = -sin_sum; break;
  case 2: c = -cos_sum; break;
  default: c = sin_sum; break;
  }
  return div_round(c * 1000, kQ);
}

// Saturation vapour pressure over water in thousandths of hPa at a
// temperature in tenths of a degree C (sixth-order polynomial, -50..50 C).
i64 saturation_vp_milli(i64 t10) {
  static constexpr std::array<i64, 7> kCoeffQ40 = {6715597077249, 487800370068, 15711425281, 291441882,
                                                   3332884,       22365,        67};
  const i64 t = clamp_i(t10, -500, 500);
  i64 acc = kCoeffQ40[6];
  for (int i = 5; i >= 0; --i) acc = acc * t / 10 + kCoeffQ40[static_cast<std::size_t>(i)];
  return max_i(1, acc * 1000 / (i64{1} << 40));
}

// ---------------------------------------------------------------------------
// Calendar.

bool is_leap(i64 year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int days_in_month(i64 year, int month) {
  static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && is_leap(year)) return 29;
  return kDays[static_cast<std::size_t>(month - 1)];
}

// ---------------------------------------------------------------------------
// Climate: seasonal means by day of year, for years of 365 and 366 days.

struct Season {
  i64 temp_cos; // thousandths; +1000 in mid July, -1000 in mid January
  i64 day_cos;  // thousandths; +1000 at the June solstice
};

constexpr i64 kTempPeakDoy = 197; // 16 July
constexpr i64 kSolsticeDoy = 172; // 21 June

std::vector<Season> season_table(i64 year_len) {
  std::vector<Season> t(static_cast<std::size_t>(year_len));
  for (i64 d = 0; d < year_len; ++d) {
    const i64 tp = ((d + 1 - kTempPeakDoy) % year_len + year_len) % year_len;
    const i64 sp = ((d + 1 - kSolsticeDoy) % year_len + year_len) % year_len;
    t[static_cast<std::size_t>(d)] = {cos_permille(tp, year_len), cos_permille(sp, year_len)};
  }
  return t;
}

struct RunState {
  i64 anomaly_q16 = 0; // shared temperature anomaly, tenths of a degree * 65536
  bool wet = false;
};

struct Day {
  i64 rn10, tmin10, tmax10, vp10, rh, wn10, ss10, diff100, dir100, pet100;
};

constexpr i64 kAnomalySd10 = 25;   // tenths of a degree
constexpr i64 kAnomalyKeep = 700;  // AR(1) coefficient, thousandths
constexpr i64 kAnomalyInnov = 714; // sqrt(1 - 0.7^2), thousandths

// Scales a Q16 normal deviate to a standard deviation of `sd` units.
i64 scaled(i64 z_q16, i64 sd) { return div_round(z_q16 * sd, kUnit); }

Day simulate_day(Xoshiro& rng, RunState& st, const Season& se) {
  const i64 c = se.temp_cos;
  const i64 cd = se.day_cos;
  Day out{};

  // Rain occurrence (first-order Markov chain) and amount (exponential,
  // drawn as a chi-square with two degrees of freedom).
  const i64 p_wet = st.wet ? 600 - 50 * c / 1000 : 250 - 30 * c / 1000;
  st.wet = uniform_permille(rng) < p_wet;
  if (st.wet) {
    const i64 mean10 = 45 + 15 * c / 1000; // 3 mm in winter, 6 in summer
    const i64 z1 = normal_q16(rng);
    const i64 z2 = normal_q16(rng);
    // mean/2 * (z1^2 + z2^2), in tenths of a mm.
    out.rn10 = max_i(1, div_round(mean10 * ((z1 * z1 + z2 * z2) / kUnit), 2 * kUnit));
  }

  // Sunshine: a fraction of the day length, low on wet days.
  const i64 daylen10 = 122 + 42 * cd / 1000; // 8.0 h .. 16.4 h
  const i64 zs = normal_q16(rng);
  const i64 frac = st.wet ? clamp_i(120 + scaled(zs, 120), 0, 1000)
                          : clamp_i(550 + 50 * c / 1000 + scaled(zs, 250), 0, 1000);
  out.ss10 = div_round(daylen10 * frac, 1000);

  // Temperatures: seasonal mean + shared persistent anomaly + own noise +
  // the effect of sunshine (warm sunny days, cold clear winter nights).
  st.anomaly_q16 =
      st.anomaly_q16 * kAnomalyKeep / 1000 + normal_q16(rng) * kAnomalySd10 * kAnomalyInnov / 1000;
  const i64 anomaly10 = div_round(st.anomaly_q16, kUnit);
  const i64 tmax_mean = 135 + 105 * c / 1000;
  const i64 tmin_mean = 55 + 75 * c / 1000;
  const i64 sun = frac - 450;
  out.tmax10 = tmax_mean + anomaly10 + scaled(normal_q16(rng), 22 + 4 * c / 1000) + sun * 60 / 1000;
  out.tmin10 =
      tmin_mean + anomaly10 * 4 / 5 + scaled(normal_q16(rng), 18) - sun * (15 - 10 * c / 1000) / 1000;
  out.tmax10 = max_i(out.tmax10, out.tmin10 + 5);
  const i64 tmean20 = out.tmax10 + out.tmin10; // twice the mean, tenths

  // Humidity: the dew point sits near Tmin (above it when it rains).
  const i64 dep = st.wet ? -10 + scaled(normal_q16(rng), 10) : 15 + scaled(normal_q16(rng), 15);
  const i64 tdew10 = clamp_i(out.tmin10 - dep, -400, tmean20 / 2);
  const i64 vp_milli = saturation_vp_milli(tdew10);
  const i64 es_mean_milli = saturation_vp_milli(tmean20 / 2);
  out.vp10 = max_i(1, div_round(vp_milli, 100));
  out.rh = clamp_i(div_round(100 * vp_milli, es_mean_milli), 5, 100);

  // Wind: Rayleigh distributed, windier in winter and on wet days.
  const i64 mean_wind10 = 35 - 5 * c / 1000 + (st.wet ? 5 : 0);
  const i64 w1 = normal_q16(rng);
  const i64 w2 = normal_q16(rng);
  const i64 r_q16 = isqrt(w1 * w1 + w2 * w2);
  out.wn10 = div_round(798 * mean_wind10 * r_q16, 1000 * kUnit);

  // Radiation (hundredths of MJ/m2): extraterrestrial, then global by the
  // Angstrom relation, split into diffuse and direct.
  const i64 ra100 = 2250 + 1900 * cd / 1000;
  const i64 rs100 = ra100 * (250 + frac / 2) / 1000;
  out.diff100 = ra100 * (220 + 300 * frac * (1000 - frac) / 1000000) / 1000;
  out.dir100 = max_i(0, rs100 - out.diff100);

  // Potential evapotranspiration (hundredths of mm), Hargreaves radiation
  // form: 0.0135 * (Tmean + 17.8) * Rs / 2.45.
  out.pet100 = max_i(0, div_round(135 * (tmean20 + 356) * rs100, 2 * 245000));
  return out;
}

// ---------------------------------------------------------------------------
// Output.

struct Out {
  std::FILE* f = nullptr;
  std::vector<char> buf;
  std::size_t used = 0;
  bool failed = false;
  int error = 0;
};

void out_flush(Out& o) {
  if (o.used == 0 || o.failed) return;
  if (std::fwrite(o.buf.data(), 1, o.used, o.f) != o.used) {
    o.failed = true;
    o.error = errno;
  }
  o.used = 0;
}

// Writes a non-negative integer; returns the new end.
char* put_uint(char* p, u64 v) {
  char tmp[24];
  int n = 0;
  do {
    tmp[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  while (n > 0) *p++ = tmp[--n];
  return p;
}

// Writes v / 10^decimals with exactly `decimals` digits after the point
// (no point when decimals is 0), never "-0.0".
char* put_fixed(char* p, i64 v, int decimals) {
  if (v < 0) {
    *p++ = '-';
    v = -v;
  }
  if (decimals == 0) return put_uint(p, static_cast<u64>(v));
  const i64 scale = decimals == 1 ? 10 : 100;
  p = put_uint(p, static_cast<u64>(v / scale));
  *p++ = '.';
  i64 frac = v % scale;
  if (decimals == 2) {
    *p++ = static_cast<char>('0' + frac / 10);
    frac %= 10;
  }
  *p++ = static_cast<char>('0' + frac);
  return p;
}

enum class Spelling { demo, mixed, full };

// A hash of the field's place, for the choice of a spelling: the values'
// own random stream is left as it is.
u64 mix(u64 x) {
  x += 0x9e3779b97f4a7c15u;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9u;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebu;
  return x ^ (x >> 31);
}

// An integer field in the mixed spelling: "7", "+7" or "007".
char* put_int_mixed(char* p, u64 v, u64 choice) {
  switch (choice % 4) {
  case 1: *p++ = '+'; break;
  case 2: *p++ = '0'; break;
  default: break;
  }
  return put_uint(p, v);
}

// v / 10^decimals in one of the forms stream extraction accepts, all of the
// same value: "+5.3", ".5", "-.5", "5.", "5.30", "53e-1", "5.3E+00", "-0.0".
char* put_fixed_mixed(char* p, i64 v, int decimals, u64 choice) {
  const bool neg = v < 0;
  const u64 a = static_cast<u64>(neg ? -v : v);
  const u64 scale = decimals == 0 ? 1 : decimals == 1 ? 10 : 100;
  if (neg) *p++ = '-';
  switch (choice % 8) {
  case 0: // "+5.3", "-0.0" for a zero
    if (!neg) *p++ = a == 0 ? '-' : '+';
    return put_fixed(p, static_cast<i64>(a), decimals);
  case 1: // ".5": no leading zero
    if (a < scale) {
      *p++ = '.';
      char frac[8];
      char* e = put_fixed(frac, static_cast<i64>(a + scale), decimals); // "1.05" -> ".05"
      const char* dot = std::strchr(frac, '.');
      if (dot == nullptr) return put_uint(p - 1, a); // no decimals: "0"
      for (const char* q = dot + 1; q < e; ++q) *p++ = *q;
      return p;
    }
    return put_fixed(p, static_cast<i64>(a), decimals);
  case 2: // "5." and "5.30": a trailing point or zero
    if (a % scale == 0) {
      p = put_uint(p, a / scale);
      *p++ = '.';
      return p;
    }
    p = put_fixed(p, static_cast<i64>(a), decimals);
    *p++ = '0';
    return p;
  case 3: // "53e-1": the digits and an exponent
    p = put_uint(p, a);
    *p++ = 'e';
    *p++ = '-';
    return put_uint(p, static_cast<u64>(decimals));
  case 4: // "5.3E+00"
    p = put_fixed(p, static_cast<i64>(a), decimals);
    std::memcpy(p, "E+00", 4);
    return p + 4;
  case 5: // "5.3e0"
    p = put_fixed(p, static_cast<i64>(a), decimals);
    *p++ = 'e';
    *p++ = '0';
    return p;
  default: return put_fixed(p, static_cast<i64>(a), decimals);
  }
}

// v / 10^decimals as model output writes a double at full precision.
char* put_fixed_full(char* p, i64 v, int decimals, std::size_t column) {
  const double x = static_cast<double>(v) / (decimals == 0 ? 1.0 : decimals == 1 ? 10.0 : 100.0);
  static constexpr const char* kFormats[3] = {"%.17g", "%.6E", "%.16e"};
  const int n = std::snprintf(p, 40, kFormats[column % 3], x);
  return p + n;
}

char* put_line(char* p, i64 year, int month, int day, u64 run, int doy, const Day& d, bool crlf,
               Spelling spelling, u64 place) {
  const u64 ints[5] = {static_cast<u64>(year), static_cast<u64>(month), static_cast<u64>(day), run,
                       static_cast<u64>(doy)};
  for (std::size_t i = 0; i < 5; ++i) {
    if (i > 0) *p++ = ' ';
    p = spelling == Spelling::mixed ? put_int_mixed(p, ints[i], mix(place * 16 + i)) : put_uint(p, ints[i]);
  }
  const std::array<i64, 10> values = {d.rn10, d.tmin10, d.tmax10,  d.vp10,   d.rh,
                                      d.wn10, d.ss10,   d.diff100, d.dir100, d.pet100};
  static constexpr std::array<int, 10> kDecimals = {1, 1, 1, 1, 0, 1, 1, 2, 2, 2};
  for (std::size_t i = 0; i < values.size(); ++i) {
    *p++ = ' ';
    switch (spelling) {
    case Spelling::demo: p = put_fixed(p, values[i], kDecimals[i]); break;
    case Spelling::mixed: p = put_fixed_mixed(p, values[i], kDecimals[i], mix(place * 16 + 5 + i)); break;
    case Spelling::full: p = put_fixed_full(p, values[i], kDecimals[i], i); break;
    }
  }
  if (crlf) *p++ = '\r';
  *p++ = '\n';
  return p;
}

// ---------------------------------------------------------------------------
// Arguments.

struct Options {
  u64 seed = 1;
  u64 runs = 100;
  u64 days = 10957;
  bool crlf = false;
  Spelling spelling = Spelling::demo;
  const char* output = nullptr;
};

// Parses a decimal number in [lo, hi]; no sign, no spaces, no suffix.
bool parse_u64(const char* s, u64 lo, u64 hi, u64& out) {
  if (s == nullptr || *s == '\0') return false;
  u64 v = 0;
  for (const char* p = s; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return false;
    const u64 digit = static_cast<u64>(*p - '0');
    if (v > (UINT64_MAX - digit) / 10) return false;
    v = v * 10 + digit;
  }
  if (v < lo || v > hi) return false;
  out = v;
  return true;
}

constexpr const char* kUsage =
    "usage: td-generate-ensemble [--seed N] [--runs R] [--days D] [--crlf] [--spelling demo|mixed|full] "
    "OUTPUT_FILE";

int usage_error(const char* what, const char* arg) {
  if (arg != nullptr)
    std::fprintf(stderr, "td-generate-ensemble: %s '%s' (%s)\n", what, arg, kUsage);
  else
    std::fprintf(stderr, "td-generate-ensemble: %s (%s)\n", what, kUsage);
  return kExitUsage;
}

// 0 on success, else the exit status (the message is already printed).
int parse_args(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    const bool takes_value =
        std::strcmp(a, "--seed") == 0 || std::strcmp(a, "--runs") == 0 || std::strcmp(a, "--days") == 0;
    if (takes_value) {
      if (i + 1 >= argc) return usage_error("missing value after", a);
      const char* v = argv[++i];
      bool ok = false;
      if (std::strcmp(a, "--seed") == 0)
        ok = parse_u64(v, 0, UINT64_MAX, o.seed);
      else if (std::strcmp(a, "--runs") == 0)
        ok = parse_u64(v, 1, kMaxRuns, o.runs);
      else
        ok = parse_u64(v, 1, kMaxDays, o.days);
      if (!ok) return usage_error("bad number", v);
    } else if (std::strcmp(a, "--crlf") == 0) {
      o.crlf = true;
    } else if (std::strcmp(a, "--spelling") == 0) {
      if (i + 1 >= argc) return usage_error("missing value after", a);
      const char* v = argv[++i];
      if (std::strcmp(v, "demo") == 0)
        o.spelling = Spelling::demo;
      else if (std::strcmp(v, "mixed") == 0)
        o.spelling = Spelling::mixed;
      else if (std::strcmp(v, "full") == 0)
        o.spelling = Spelling::full;
      else
        return usage_error("unknown spelling", v);
    } else if (a[0] == '-' && a[1] != '\0') {
      return usage_error("unknown option", a);
    } else if (o.output != nullptr) {
      return usage_error("more than one output file", a);
    } else {
      o.output = a;
    }
  }
  if (o.output == nullptr) return usage_error("no output file", nullptr);
  return 0;
}

// ---------------------------------------------------------------------------

int write_error(const char* path, int err) {
  std::fprintf(stderr, "td-generate-ensemble: cannot write '%s': %s\n", path,
               std::strerror(err != 0 ? err : EIO));
  return kExitWrite;
}

int generate(const Options& o) {
  Out out;
  out.f = std::fopen(o.output, "wb");
  if (out.f == nullptr) return write_error(o.output, errno);
  out.buf.resize(kOutBufferBytes);

  const std::vector<Season> common = season_table(365);
  const std::vector<Season> leap = season_table(366);

  for (u64 run = 1; run <= o.runs && !out.failed; ++run) {
    Xoshiro rng = stream_for_run(o.seed, run);
    RunState st;
    st.anomaly_q16 = normal_q16(rng) * kAnomalySd10;
    st.wet = uniform_permille(rng) < 385;

    i64 year = 1981;
    int month = 1;
    int day = 1;
    int doy = 1;
    for (u64 n = 0; n < o.days; ++n) {
      const std::vector<Season>& table = is_leap(year) ? leap : common;
      const Day d = simulate_day(rng, st, table[static_cast<std::size_t>(doy - 1)]);
      if (out.buf.size() - out.used < kMaxLineBytes) {
        out_flush(out);
        if (out.failed) break;
      }
      char* start = out.buf.data() + out.used;
      char* end = put_line(start, year, month, day, run, doy, d, o.crlf, o.spelling, run * kMaxDays + n);
      out.used += static_cast<std::size_t>(end - start);

      ++doy;
      if (++day > days_in_month(year, month)) {
        day = 1;
        if (++month > 12) {
          month = 1;
          doy = 1;
          ++year;
        }
      }
    }
  }
  out_flush(out);
  int err = out.error;
  bool failed = out.failed;
  if (std::fflush(out.f) != 0 && !failed) {
    failed = true;
    err = errno;
  }
  if (std::fclose(out.f) != 0 && !failed) {
    failed = true;
    err = errno;
  }
  if (failed) {
    // Leave no truncated data file behind, but never remove anything that
    // is not a plain file (a device such as /dev/full, a pipe).
    std::error_code ec;
    if (std::filesystem::is_regular_file(o.output, ec)) std::filesystem::remove(o.output, ec);
    return write_error(o.output, err);
  }
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::printf("%s\n%s", kUsage,
                "Writes a synthetic ensemble in the layout threshold-detector reads: one record\n"
                "per line (year month day run day-of-year and the ten daily values), every run\n"
                "from 1981-01-01 on. The output depends on the seed alone.\n"
                "  --seed N  random seed (default 1)\n"
                "  --runs R  runs (default 100)\n"
                "  --days D  days per run (default 10957, 1981 to 2010)\n"
                "  --crlf    CR LF line ends instead of LF\n"
                "Exit status: 0 written, 1 the file cannot be written, 2 usage.\n");
    return 0;
  }
  Options o;
  const int rc = parse_args(argc, argv, o);
  if (rc != 0) return rc;
  return generate(o);
}
