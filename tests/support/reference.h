// An independent model of the detector for differential tests: the data is
// read through std::istream, the tallies and statistics are computed
// directly, and the legacy number text is made from snprintf("%.16e") digit
// strings rounded by hand. It shares no code with the program.
#pragma once

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace td::reference {

// The 17 significant digits of v and its decimal exponent: 0.25 -> "25000000000000000", -1.
inline void digits17(double v, std::string& digits, int& exp10) {
  char text[64];
  std::snprintf(text, sizeof text, "%.16e", std::fabs(v));
  digits.assign(1, text[0]);
  digits.append(text + 2, 16);
  exp10 = std::atoi(text + 19);
}

// Adds one unit at the last digit of a decimal digit string; true on carry out.
inline bool increment(std::string& digits) {
  for (std::size_t i = digits.size(); i-- > 0;) {
    if (digits[i] != '9') {
      ++digits[i];
      return false;
    }
    digits[i] = '0';
  }
  digits.insert(digits.begin(), '1');
  return true;
}

inline std::string fixed1(double v) {
  std::string d;
  int e = 0;
  digits17(v, d, e);
  std::string int_part;
  std::string frac;
  if (v == 0.0) {
    int_part = "0";
    frac = "00";
  } else if (e >= 0) {
    while (static_cast<int>(d.size()) < e + 3) d += '0';
    int_part = d.substr(0, static_cast<std::size_t>(e) + 1);
    frac = d.substr(static_cast<std::size_t>(e) + 1);
  } else {
    int_part = "0";
    frac = std::string(static_cast<std::size_t>(-e - 1), '0') + d;
  }
  std::string kept = int_part + frac.substr(0, 1);
  if (frac[1] >= '5') increment(kept);
  return std::string(std::signbit(v) ? "-" : "") + kept.substr(0, kept.size() - 1) + "." + kept.back();
}

inline std::string general15(double v) {
  if (v == 0.0) return "0";
  std::string d;
  int e = 0;
  digits17(v, d, e);
  std::string kept = d.substr(0, 15);
  if (d[15] >= '5' && increment(kept)) {
    kept.pop_back();
    ++e;
  }
  while (kept.size() > 1 && kept.back() == '0') kept.pop_back();
  std::string out = v < 0 ? "-" : "";
  if (e < -4 || e >= 15) {
    out += kept.substr(0, 1);
    if (kept.size() > 1) out += "." + kept.substr(1);
    char exp_text[16];
    std::snprintf(exp_text, sizeof exp_text, "e%c%03d", e < 0 ? '-' : '+', std::abs(e));
    return out + exp_text;
  }
  if (e < 0) return out + "0." + std::string(static_cast<std::size_t>(-e - 1), '0') + kept;
  while (static_cast<int>(kept.size()) < e + 1) kept += '0';
  out += kept.substr(0, static_cast<std::size_t>(e) + 1);
  if (static_cast<int>(kept.size()) > e + 1) out += "." + kept.substr(static_cast<std::size_t>(e) + 1);
  return out;
}

struct Set {
  int code, code2;
  std::string op, sw, op2;
  double t, t2;
};

inline const char* name_of(int code) {
  static const char* const names[] = {"RN", "Tmin", "Tmax",     "VP",      "RH",
                                      "WN", "SS",   "diffradt", "dirradt", "PET"};
  return names[code];
}

// The expected result files of a valid configuration: name -> content.
// Returns false when the data file cannot give `runs` x `days` records.
inline bool expected_files(const std::string& config_text, const std::string& data_path, int runs, int days,
                           std::map<std::string, std::string>& files) {
  std::istringstream cfg(config_text);
  std::string data_name, prefix;
  Set sets[3];
  cfg >> data_name >> prefix;
  for (Set& s : sets) cfg >> s.code >> s.op >> s.t >> s.sw >> s.code2 >> s.op2 >> s.t2;
  if (!cfg) return false;

  // tallies[file][run][month], files in the order counts 1..3, sums 1..3.
  std::vector<std::vector<std::vector<double>>> tallies(
      6, std::vector<std::vector<double>>(static_cast<std::size_t>(runs), std::vector<double>(13, 0.0)));
  std::ifstream in(data_path);
  for (int r = 0; r < runs; ++r) {
    for (int day = 0; day < days; ++day) {
      int a, month, b, c, d;
      double x[10];
      in >> a >> month >> b >> c >> d;
      for (double& xi : x) in >> xi;
      if (!in || month < 1 || month > 12) return false;
      for (int k = 0; k < 3; ++k) {
        const Set& s = sets[k];
        const double p = x[s.code];
        bool ok = s.op == "GT" ? p > s.t : p < s.t;
        if (s.sw == "TRUE") ok = ok && (s.op2 == "GT" ? x[s.code2] > s.t2 : x[s.code2] < s.t2);
        if (!ok) continue;
        tallies[static_cast<std::size_t>(k)][static_cast<std::size_t>(r)][static_cast<std::size_t>(month)] +=
            1.0;
        tallies[static_cast<std::size_t>(k) + 3][static_cast<std::size_t>(r)]
               [static_cast<std::size_t>(month)] += s.op == "GT" ? p - s.t : s.t - p;
      }
    }
  }
  files.clear();
  for (int f = 0; f < 6; ++f) {
    const Set& s = sets[f % 3];
    std::string name =
        prefix + "_" + name_of(s.code) + "_" + s.op + fixed1(s.t) + (f < 3 ? "_count" : "_sum");
    if (s.sw == "TRUE") name += std::string("_2nd_cond_") + name_of(s.code2) + "_" + s.op2 + fixed1(s.t2);
    name += "_results.csv";
    const auto& t = tallies[static_cast<std::size_t>(f)];
    std::string text = ",1,2,3,4,5,6,7,8,9,10,11,12\r\n";
    for (int r = 0; r < runs; ++r) {
      text += std::to_string(r + 1) + ",";
      for (int m = 1; m <= 12; ++m) {
        const double v = t[static_cast<std::size_t>(r)][static_cast<std::size_t>(m)];
        text += (f < 3 ? std::to_string(static_cast<long long>(v)) : general15(v)) + ",";
      }
      text += "\r\n";
    }
    std::string mean_line = "mean,";
    std::string sd_line = "SD,";
    for (int m = 1; m <= 12; ++m) {
      double total = 0.0;
      for (int r = 0; r < runs; ++r) total += t[static_cast<std::size_t>(r)][static_cast<std::size_t>(m)];
      const double mean = total / runs;
      double sq = 0.0;
      for (int r = 0; r < runs; ++r)
        sq += std::pow(t[static_cast<std::size_t>(r)][static_cast<std::size_t>(m)] - mean, 2.0);
      mean_line += general15(mean) + ",";
      sd_line += general15(std::sqrt(sq / (runs - 1))) + ",";
    }
    files[name] = text + mean_line + "\r\n" + sd_line + "\r\n";
  }
  return true;
}

} // namespace td::reference
