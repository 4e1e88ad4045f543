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

// Reads the records of `text` until the first non-ok status.
std::vector<Read> read_all(const std::string& text) {
  ScratchDir dir;
  write_file(dir / "data.txt", text);
  std::string reason;
  DataFile* f = data_file_open((dir / "data.txt").c_str(), reason);
  EXPECT_NE(f, nullptr) << reason;
  std::vector<Read> out;
  if (f == nullptr) return out;
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
    EXPECT_EQ(reads[0].rec.ints[0], 1981);
    EXPECT_EQ(reads[0].rec.ints[1], 1);
    EXPECT_EQ(reads[0].rec.values[0], 0.0); // an integer read as a real
    EXPECT_EQ(reads[0].rec.values[1], -2.5);
    EXPECT_EQ(reads[0].rec.values[9], 0.55);
    EXPECT_EQ(reads[1].rec.ints[1], 2);
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
      {"1981 1 1 1 1 0 nan 3.1 7 85 2.5 1.2 3.25 4.5 0.55",
       "field 7 (Tmin) is not a number: found \"nan\""},
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
      {"1981 1 1 1 1 0 -2.5 3.1 7 85 2.5 1.2 3.25 4.5 \x01\xff", "field 15 (PET) is not a number: found \"??\""},
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

// Whole records are read in one go when every field has a common shape and
// field by field otherwise: both must give what formatted extraction gives.
TEST(DataFile, RecordsInEverySpellingReadAsStreamExtractionReadsThem) {
  const char* const ints[] = {"1", "+7", "-0", "007", "123456789", "1234567890", "-2147483648"};
  const char* const reals[] = {"0",     "-0",        "5.",   ".5",   "-.5",  "+12.25",
                               "0.98",  "123456789012345", "1234567890123456", "1.234567890123456",
                               "1e2",   "2.5E-3",    "-0.0", "00012.50", "4.9e-324", "9007199254740993"};
  const char* const gaps[] = {" ", "  ", "\t", "\r\n", "\n"};
  std::mt19937_64 rng(20261210);
  for (int round = 0; round < 200; ++round) {
    std::string text;
    std::vector<std::array<double, kFieldsPerRecord>> want;
    for (int r = 0; r < 20; ++r) {
      std::array<double, kFieldsPerRecord> fields{};
      for (int k = 0; k < kFieldsPerRecord; ++k) {
        std::string token = k == 1 ? std::to_string(1 + rng() % 12)
                            : k < kIntsPerRecord ? ints[rng() % std::size(ints)]
                                                 : reals[rng() % std::size(reals)];
        std::istringstream in(token);
        if (k < kIntsPerRecord) {
          std::int32_t n = 0;
          in >> n;
          fields[static_cast<std::size_t>(k)] = n;
        } else {
          in >> fields[static_cast<std::size_t>(k)];
        }
        text += token + gaps[rng() % std::size(gaps)];
      }
      want.push_back(fields);
    }
    const std::vector<Read> reads = read_all(text);
    ASSERT_EQ(reads.size(), want.size() + 1) << text;
    for (std::size_t r = 0; r < want.size(); ++r) {
      const DailyRecord& got = reads[r].rec;
      for (int k = 0; k < 3; ++k) EXPECT_EQ(got.ints[k], want[r][static_cast<std::size_t>(k)]) << text;
      for (int k = 0; k < kValuesPerRecord; ++k)
        EXPECT_EQ(std::bit_cast<std::uint64_t>(got.values[k]),
                  std::bit_cast<std::uint64_t>(want[r][static_cast<std::size_t>(kIntsPerRecord + k)]))
            << "record " << r << " value " << k << " in\n" << text;
    }
    EXPECT_EQ(reads.back().status, RecordStatus::ended);
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
