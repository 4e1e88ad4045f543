// The model of every reader test and fuzz target: formatted extraction
// (`>>`) from a std::istringstream in the classic locale, which the
// program's readers must match bit for bit, including where they stop and
// why. It shares no code with the program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <sstream>
#include <string>
#include <vector>

namespace td::stream_model {

enum class Kind { int_, double_, word };

// One extraction: what it gave and how many bytes of the text were consumed.
struct Step {
  Kind kind = Kind::int_;
  bool ok = false;
  std::int32_t i = 0;
  double d = 0;
  std::string word;
  std::size_t offset = 0;
};

// Extracts the planned kinds in turn until the first failure (included).
inline std::vector<Step> extract(const std::string& text, const std::vector<Kind>& plan) {
  std::istringstream is(text);
  std::vector<Step> steps;
  for (const Kind k : plan) {
    Step st;
    st.kind = k;
    if (k == Kind::int_)
      st.ok = static_cast<bool>(is >> st.i);
    else if (k == Kind::double_)
      st.ok = static_cast<bool>(is >> st.d);
    else
      st.ok = static_cast<bool>(is >> st.word);
    if (st.ok) st.offset = is.eof() ? text.size() : static_cast<std::size_t>(is.tellg());
    steps.push_back(std::move(st));
    if (!steps.back().ok) break;
  }
  return steps;
}

// A record of the data file: five integers (an integer field may not go on
// with '.', 'e' or 'E'), the month among them checked to be 1..12 once the
// five are read, then ten doubles.
inline constexpr int kInts = 5;
inline constexpr int kValues = 10;

struct Record {
  std::int32_t month = 0;
  double values[kValues] = {};
};

// Why reading stopped, and at which field (1..15).
enum class Stop { ended, not_number, fraction, bad_month };

struct Records {
  std::vector<Record> good;
  Stop stop = Stop::ended;
  int field = 1;
};

inline Records read_records(const std::string& text) {
  std::istringstream in(text);
  Records out;
  for (;;) {
    Record rec;
    // A token follows: otherwise the text ends at this field.
    const auto token_at = [&](int field) {
      in >> std::ws;
      if (!in.eof()) return true;
      out.stop = Stop::ended;
      out.field = field;
      return false;
    };
    for (int k = 0; k < kInts; ++k) {
      std::int32_t n = 0;
      if (!token_at(k + 1)) return out;
      if (!(in >> n)) {
        out.stop = Stop::not_number;
        out.field = k + 1;
        return out;
      }
      const int next = in.peek();
      if (next == '.' || next == 'e' || next == 'E') {
        out.stop = Stop::fraction;
        out.field = k + 1;
        return out;
      }
      if (k == 1) rec.month = n;
    }
    if (rec.month < 1 || rec.month > 12) {
      out.stop = Stop::bad_month;
      out.field = 2;
      return out;
    }
    for (int k = 0; k < kValues; ++k) {
      if (!token_at(kInts + k + 1)) return out;
      if (!(in >> rec.values[k])) {
        out.stop = Stop::not_number;
        out.field = kInts + k + 1;
        return out;
      }
    }
    out.good.push_back(rec);
  }
}

} // namespace td::stream_model
