#include "input/records.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "support/files.h"

namespace td {
namespace {

using testing_support::ScratchDir;
using testing_support::write_file;

struct Read {
  RecordStatus status;
  DailyRecord rec;
  RecordFault fault;
};

// Reads the records of `text` until the first non-ok status; `portable`:
// with the baseline instructions only.
std::vector<Read> read_all(const std::string& text, std::uint32_t wanted = kAllCodes, bool portable = false) {
  ScratchDir dir;
  write_file(dir / "data.txt", text);
  std::string reason;
  DataFile* f = data_file_open((dir / "data.txt").c_str(), reason);
  EXPECT_NE(f, nullptr) << reason;
  std::vector<Read> out;
  if (f == nullptr) return out;
  data_file_want(f, wanted);
  if (portable) data_file_portable(f);
  for (;;) {
    Read r{};
    r.status = data_file_read(f, r.rec, r.fault);
    out.push_back(r);
    if (r.status != RecordStatus::ok) break;
  }
  data_file_close(f);
  return out;
}

TEST(DataFile, RecordLayoutIsFreeForm) {
  const std::string one_per_line = "1981 1 1 1 1 0 -2.5 3.1 7 85 2.5 1.2 3.25 4.5 0.55\n"
                                   "1981 2 1 1 32 .5 -1 4 7.5 80 3 0 2 3 0.6\n";
  std::string crlf_spread;
  for (char c : one_per_line) crlf_spread += c == ' ' ? std::string("\r\n\t") : std::string(1, c);
  const std::string two_on_one_line = one_per_line.substr(0, one_per_line.find('\n')) + "  " +
                                      one_per_line.substr(one_per_line.find('\n') + 1);
  for (const std::string& text : {one_per_line, crlf_spread, two_on_one_line}) {
    const std::vector<Read> reads = read_all(text);
    ASSERT_EQ(reads.size(), 3u);
    EXPECT_EQ(reads[0].rec.month, 1);
    EXPECT_EQ(reads[0].rec.values[0], 0.0); // an integer read as a real
    EXPECT_EQ(reads[0].rec.values[1], -2.5);
    EXPECT_EQ(reads[0].rec.values[9], 0.55);
    EXPECT_EQ(reads[1].rec.month, 2);
    EXPECT_EQ(reads[1].rec.values[0], 0.5);
    EXPECT_EQ(reads[2].status, RecordStatus::ended);
    EXPECT_EQ(reads[2].fault.field, 1);
  }
}

TEST(DataFile, FaultsNameTheFieldAndWhatStoodThere) {
  const std::string good = "1981 1 1 1 1 0 -2.5 3.1 7 85 2.5 1.2 3.25 4.5 0.55\n";
  struct Case {
    std::string record;
    std::string text;
  };
  const Case cases[] = {
      {"1981 1 1 1 1 0 -2.5 3.1", "the file ends early, at field 9 (VP)"},
      {"1981 1 1 1 1 0 nan 3.1 7 85 2.5 1.2 3.25 4.5 0.55", "field 7 (Tmin) is not a number: found \"nan\""},
      {"1981 1 1 1 1 0 -2.5 3.1 7 85 2.5 1.2 3.25 4.5 inf", "field 15 (PET) is not a number: found \"inf\""},
      {"1981 1 1 1 1 1e400 -2.5 3.1 7 85 2.5 1.2 3.25 4.5 0.55",
       "field 6 (RN) is not a number: found \"1e400\""},
      {"1981 1 1 1 99999999999 0 -2.5 3.1 7 85 2.5 1.2 3.25 4.5 0.55",
       "field 5 (fifth integer) is not a number: found \"99999999999\""},
      {"1981 3.5 1 1 1 0 -2.5 3.1 7 85 2.5 1.2 3.25 4.5 0.55",
       "field 2 (month) is not a whole number: found \"3.5\""},
      {"1981 1 1 1 1e2 0 -2.5 3.1 7 85 2.5 1.2 3.25 4.5 0.55",
       "field 5 (fifth integer) is not a whole number: found \"1e2\""},
      {"1981 13 1 1 1 0 -2.5 3.1 7 85 2.5 1.2 3.25 4.5 0.55", "the month 13 is outside 1 to 12"},
      {"1981 0 1 1 1 0 -2.5 3.1 7 85 2.5 1.2 3.25 4.5 0.55", "the month 0 is outside 1 to 12"},
      {"1981 -7 1 1 1 0 -2.5 3.1 7 85 2.5 1.2 3.25 4.5 0.55", "the month -7 is outside 1 to 12"},
      {"1981 1 1 1 1 0 -2.5 3.1 7 85 2.5 1.2 3.25 4.5 \x01\xff",
       "field 15 (PET) is not a number: found \"??\""},
  };
  // At the end of the file the record is read field by field; followed by
  // more records, it is first offered to the whole-record reading.
  for (const Case& c : cases) {
    for (const std::string& after : {std::string(), "\n" + good}) {
      if (!after.empty() && c.text.starts_with("the file ends early")) continue;
      const std::vector<Read> reads = read_all(good + c.record + after);
      ASSERT_EQ(reads.size(), 2u) << c.record;
      EXPECT_EQ(reads[0].status, RecordStatus::ok);
      EXPECT_NE(reads[1].status, RecordStatus::ok);
      EXPECT_EQ(record_fault_text(reads[1].fault), c.text) << c.record << " followed by " << after.size();
    }
  }
}

// What the reader must find: stream extraction of the whole text, five ints
// and ten doubles a record, with the reader's own rules on top (an int field
// must not continue with '.', 'e' or 'E'; the month is 1..12). The last
// entry is the record where reading stops: `ended` when the text ran out of
// tokens there, else at a fault.
std::vector<DailyRecord> stream_records(const std::string& text, bool& ended) {
  std::istringstream in(text);
  std::vector<DailyRecord> out;
  for (;;) {
    DailyRecord rec{};
    bool good = true;
    ended = false;
    const auto token_follows = [&] {
      in >> std::ws;
      ended = in.eof();
      return !ended;
    };
    for (int k = 0; k < kIntsPerRecord && good; ++k) {
      std::int32_t n = 0;
      good = token_follows() && static_cast<bool>(in >> n);
      const int next = good ? in.peek() : 0;
      good = good && next != '.' && next != 'e' && next != 'E';
      if (k == 1) rec.month = n;
    }
    good = good && rec.month >= 1 && rec.month <= 12; // checked once the five are read
    for (int k = 0; k < kValuesPerRecord && good; ++k)
      good = token_follows() && static_cast<bool>(in >> rec.values[k]);
    out.push_back(rec);
    if (!good) return out;
  }
}

// Records are read whole when every field has a plain shape and field by
// field otherwise; both must agree with stream extraction on every spelling,
// also on tokens that run two numbers together, and whichever values are
// wanted.
TEST(DataFile, RecordsInEverySpellingReadAsStreamExtractionReadsThem) {
  // Mostly short, as data files write them, so that most records fit the
  // whole-record reading; sometimes long, which it leaves to the other one.
  const char* const ints[] = {"1", "+7", "-0", "007", "42"};
  const char* const long_ints[] = {"123456789", "-123456789", "1234567890", "-2147483648"};
  const char* const reals[] = {"0", "-0", "5.", ".5", "-.5", "+2.25", "0.98", "-0.0", "7", "12.5", "-3.25"};
  const char* const long_reals[] = {
      "123456789012345", "1234567890123456", "1.234567890123456", "1e2",
      "2.5E-3",          "00012.50",         "4.9e-324",          "9007199254740993"};
  // Rare: tokens that shift the fields or stop the reading.
  const char* const odd[] = {"5.5.5", "1.-2", "1..2", "-.",          ".",      "+",   "--5",
                             "5-",    "-+5",  "1e",   "12345678901", "1981.0", "3e1", "x",
                             "0x10",  "-.e1", ".5.",  "2147483648",  "+.",     "-"};
  const char* const gaps[] = {" ", " ", " ", "  ", "\t", "\r\n", "\n"};
  const std::uint32_t wanted_sets[] = {kAllCodes, 0x007, 0x201, 0};
  std::mt19937_64 rng(20261210);
  for (int round = 0; round < 400; ++round) {
    std::string text;
    for (int r = 0; r < 20; ++r) {
      for (int k = 0; k < kFieldsPerRecord; ++k) {
        const bool rare = rng() % 40 == 0;
        if (rng() % 300 == 0)
          text += odd[rng() % std::size(odd)];
        else if (k == 1)
          text += std::to_string(1 + rng() % 12);
        else if (k < kIntsPerRecord)
          text += rare ? long_ints[rng() % std::size(long_ints)] : ints[rng() % std::size(ints)];
        else
          text += rare ? long_reals[rng() % std::size(long_reals)] : reals[rng() % std::size(reals)];
        text += gaps[rng() % std::size(gaps)];
      }
    }
    bool ended = false;
    const std::vector<DailyRecord> want = stream_records(text, ended);
    const std::uint32_t wanted = wanted_sets[static_cast<std::size_t>(round) % std::size(wanted_sets)];
    // Both builds of the whole-record reading, where the processor has the
    // wider one.
    for (const bool portable : {false, true}) {
      const std::vector<Read> reads = read_all(text, wanted, portable);
      ASSERT_EQ(reads.size(), want.size()) << text;
      for (std::size_t r = 0; r + 1 < want.size(); ++r) {
        const DailyRecord& got = reads[r].rec;
        ASSERT_EQ(reads[r].status, RecordStatus::ok) << "record " << r << " in\n" << text;
        EXPECT_EQ(got.month, want[r].month) << text;
        for (int k = 0; k < kValuesPerRecord; ++k) {
          if ((wanted >> k & 1u) == 0) continue;
          EXPECT_EQ(std::bit_cast<std::uint64_t>(got.values[k]),
                    std::bit_cast<std::uint64_t>(want[r].values[k]))
              << "record " << r << " value " << k << " in\n"
              << text;
        }
      }
      EXPECT_EQ(reads.back().status == RecordStatus::ended, ended)
          << "record " << reads.size() - 1 << ": " << record_fault_text(reads.back().fault) << ", wanted "
          << wanted << (portable ? ", portable" : "") << " in\n"
          << text;
    }
  }
}

// Files of many segments and several buffer refills, one record a line and
// each record over two lines, so that segments and refills cut records and
// tokens everywhere. Now and then a value is in exponent form.
TEST(DataFile, LargeFilesReadAlikeAcrossSegmentsAndRefills) {
  const char* const reals[] = {"0.1", "-0.4", "12.5", "100", "7", "-.5", "0.98", "25.25", "1e2"};
  std::mt19937_64 rng(20261211);
  std::string one_a_line, two_lines;
  for (int r = 0; one_a_line.size() < 700000; ++r) {
    std::string head = "1981 " + std::to_string(1 + r / 31 % 12) + " " + std::to_string(1 + r % 31) + " 1 " +
                       std::to_string(r % 366);
    std::string tail;
    for (int k = 0; k < kValuesPerRecord; ++k)
      tail += std::string(" ") + reals[rng() % 20000 == 0 ? 8 : rng() % 8];
    one_a_line += head + tail + "\n";
    two_lines += head + "\n" + tail.substr(1) + "\r\n";
  }
  for (const std::string* text : {&one_a_line, &two_lines}) {
    bool ended = false;
    const std::vector<DailyRecord> want = stream_records(*text, ended);
    ASSERT_TRUE(ended);
    for (const std::uint32_t wanted : {std::uint32_t{0x007}, kAllCodes}) {
      const std::vector<Read> reads = read_all(*text, wanted);
      ASSERT_EQ(reads.size(), want.size());
      for (std::size_t r = 0; r + 1 < want.size(); ++r) {
        ASSERT_EQ(reads[r].status, RecordStatus::ok) << "record " << r;
        ASSERT_EQ(reads[r].rec.month, want[r].month) << "record " << r;
        for (int k = 0; k < kValuesPerRecord; ++k) {
          if ((wanted >> k & 1u) == 0) continue;
          ASSERT_EQ(std::bit_cast<std::uint64_t>(reads[r].rec.values[k]),
                    std::bit_cast<std::uint64_t>(want[r].values[k]))
              << "record " << r << " value " << k;
        }
      }
      EXPECT_EQ(reads.back().status, RecordStatus::ended);
    }
  }
}

TEST(DataFile, UnusableFilesAreRefusedAtOpening) {
  ScratchDir dir;
  write_file(dir / "empty.txt", "");
  struct Case {
    std::string path;
    std::string reason;
  };
  const Case cases[] = {
      {dir / "missing.txt", "No such file or directory"},
      {dir.path.string(), "is a directory"},
      {dir / "empty.txt", "is empty"},
  };
  for (const Case& c : cases) {
    std::string reason;
    EXPECT_EQ(data_file_open(c.path.c_str(), reason), nullptr) << c.path;
    EXPECT_EQ(reason, c.reason) << c.path;
  }
}

} // namespace
} // namespace td
