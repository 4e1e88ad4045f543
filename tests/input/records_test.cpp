#include "input/records.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/stream_model.h"

namespace td {
namespace {

using testing_support::ScratchDir;
using testing_support::write_file;

struct Read {
  RecordStatus status;
  DailyRecord rec;
  RecordFault fault;
};

// Every build of the reader; where the processor lacks one, the widest it
// runs below it reads instead.
constexpr ReaderBuild kBuilds[] = {ReaderBuild::avx512, ReaderBuild::avx2, ReaderBuild::portable};
constexpr const char* kBuildNames[] = {"portable", "AVX2", "AVX-512"};

// Reads the records of `text` until the first non-ok status, with the widest
// build of the reader up to `build` that this processor runs.
std::vector<Read> read_all(const std::string& text, std::uint32_t wanted = kAllCodes,
                           ReaderBuild build = ReaderBuild::avx512) {
  ScratchDir dir;
  write_file(dir / "data.txt", text);
  std::string reason;
  DataFile* f = data_file_open((dir / "data.txt").c_str(), reason);
  EXPECT_NE(f, nullptr) << reason;
  std::vector<Read> out;
  if (f == nullptr) return out;
  data_file_want(f, wanted);
  data_file_limit_build(f, build);
  // Records one at a time and in batches of several sizes, in turn.
  constexpr int kBatches[] = {1, 2, 5, 32};
  DailyRecord recs[32];
  for (int b = 0;; ++b) {
    const int n = kBatches[b % 4];
    RecordFault fault;
    const int got = n == 1 ? static_cast<int>(data_file_read(f, recs[0], fault) == RecordStatus::ok)
                           : data_file_read_records(f, recs, n, fault);
    for (int i = 0; i < got; ++i) out.push_back(Read{RecordStatus::ok, recs[i], {}});
    if (got < n) {
      out.push_back(Read{fault.status, {}, fault});
      break;
    }
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
      {"1981 123 1 1 1 0 -2.5 3.1 7 85 2.5 1.2 3.25 4.5 0.55", "the month 123 is outside 1 to 12"},
      {"1981 0013 1 1 1 0 -2.5 3.1 7 85 2.5 1.2 3.25 4.5 0.55", "the month 13 is outside 1 to 12"},
      {"1981 0 1 1 1 0 -2.5 3.1 7 85 2.5 1.2 3.25 4.5 0.55", "the month 0 is outside 1 to 12"},
      {"1981 -7 1 1 1 0 -2.5 3.1 7 85 2.5 1.2 3.25 4.5 0.55", "the month -7 is outside 1 to 12"},
      {"1981 1 1 1 1 0 -2.5 3.1 7 85 2.5 1.2 3.25 4.5 \x01\xff",
       "field 15 (PET) is not a number: found \"??\""},
  };
  // At the end of the file the record is read field by field; followed by
  // more records, it is first offered to the token index and the kernel.
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

// Reads `text` with the program's reader and compares every record and the
// stop (status and field) with the model. Empty when they agree.
std::string differs_from_model(const std::string& text, std::uint32_t wanted, ReaderBuild build) {
  const stream_model::Records want = stream_model::read_records(text);
  const std::vector<Read> reads = read_all(text, wanted, build);
  const std::string how =
      std::string(kBuildNames[static_cast<int>(build)]) + " build, wanted " + std::to_string(wanted);
  if (reads.size() != want.good.size() + 1)
    return how + ": " + std::to_string(reads.size() - 1) + " records read, the model reads " +
           std::to_string(want.good.size()) + "; stop: " + record_fault_text(reads.back().fault);
  for (std::size_t r = 0; r < want.good.size(); ++r) {
    if (reads[r].status != RecordStatus::ok) return how + ": record " + std::to_string(r) + " not read";
    if (reads[r].rec.month != want.good[r].month) return how + ": record " + std::to_string(r) + " month";
    for (int k = 0; k < kValuesPerRecord; ++k) {
      if ((wanted >> k & 1u) == 0) continue;
      if (std::bit_cast<std::uint64_t>(reads[r].rec.values[k]) !=
          std::bit_cast<std::uint64_t>(want.good[r].values[k])) {
        char buf[160];
        std::snprintf(buf, sizeof buf, ": record %zu value %d is %a, the model has %a", r, k,
                      reads[r].rec.values[k], want.good[r].values[k]);
        return how + buf;
      }
    }
  }
  static constexpr RecordStatus kStatus[] = {RecordStatus::ended, RecordStatus::not_number,
                                             RecordStatus::fraction, RecordStatus::bad_month};
  const RecordFault& fault = reads.back().fault;
  if (reads.back().status != kStatus[static_cast<int>(want.stop)] || fault.field != want.field)
    return how + ": stops with \"" + record_fault_text(fault) + "\", the model at field " +
           std::to_string(want.field) + " for reason " + std::to_string(static_cast<int>(want.stop));
  return {};
}

// Records are read from the token index when every token is a number that
// `>>` reads whole, and field by field otherwise; both must agree with
// stream extraction on every spelling, also on tokens that run two numbers
// together, and whichever values are wanted.
TEST(DataFile, RecordsInEverySpellingReadAsStreamExtractionReadsThem) {
  // Mostly short, as data files write them, so that most records take the
  // token index and the kernel; sometimes long or odd, which they leave to
  // the field-by-field reader.
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
    const std::uint32_t wanted = wanted_sets[static_cast<std::size_t>(round) % std::size(wanted_sets)];
    for (const ReaderBuild build : kBuilds) {
      const std::string diff = differs_from_model(text, wanted, build);
      ASSERT_EQ(diff, "") << "in\n" << text;
    }
  }
}

// Records of 63 to 65 and 127 to 129 bytes, and longer (over a 64-byte
// block, over a 16 KiB segment), after 0 to 64 bytes of white space, so that
// every record and token boundary falls at every place of a block. The
// length comes from leading zeros in one field: an integer, a value, or the
// last value.
TEST(DataFile, RecordsOfEveryLengthAtEveryBlockOffset) {
  const std::string fields[kFieldsPerRecord] = {"1981", "7",  "1",   "1",    "1",    "12.5", "-2.5", "3.1",
                                                "7",    "85", "2.5", "1.25", "3.25", "4.5",  "0.55"};
  std::string base;
  for (const std::string& f : fields) base += f + " ";
  const std::size_t plain = base.size(); // with the newline that ends it instead of the last space
  struct Case {
    std::size_t length; // bytes of the record and its newline
    int padded_field;   // 0-based field that takes the leading zeros
  };
  std::vector<Case> cases;
  for (const std::size_t length : {63, 64, 65, 127, 128, 129, 300, 20000})
    for (const int field : {0, 5, 14}) cases.push_back({length, field});
  for (const Case& c : cases) {
    std::string record;
    for (int k = 0; k < kFieldsPerRecord; ++k) {
      std::string f = fields[k];
      if (k == c.padded_field) {
        const std::size_t zeros = c.length - plain;
        f = f[0] == '-' ? "-" + std::string(zeros, '0') + f.substr(1) : std::string(zeros, '0') + f;
      }
      record += f + (k + 1 < kFieldsPerRecord ? " " : "\n");
    }
    ASSERT_EQ(record.size(), c.length);
    std::string records;
    for (int r = 0; r < 40; ++r) records += record;
    for (std::size_t shift = 0; shift <= 64; shift += c.length > 1000 ? 16 : 1) {
      const std::string text = std::string(shift, ' ') + records;
      for (const ReaderBuild build : kBuilds) {
        ASSERT_EQ(differs_from_model(text, kAllCodes, build), "")
            << "records of " << c.length << " bytes padded in field " << c.padded_field + 1 << " after "
            << shift << " spaces";
      }
    }
  }
}

// Random doubles of every magnitude in every spelling that stream extraction
// reads, at full precision and beyond: bit for bit like `>>`, and the same
// stop, also where a value overflows or a token is no number at all.
TEST(DataFile, EverySpellingAtFullPrecisionReadsAsStreamExtraction) {
  std::mt19937_64 rng(20261212);
  const auto value = [&rng]() -> std::string {
    double d = 0;
    switch (rng() % 4) {
    case 0: d = std::bit_cast<double>(rng() & 0x7fefffffffffffffu); break; // any finite magnitude
    case 1: d = std::ldexp(static_cast<double>(rng() >> 11), -static_cast<int>(rng() % 80)); break;
    case 2: d = static_cast<double>(static_cast<std::int64_t>(rng() % 200001) - 100000) / 100.0; break;
    default: d = static_cast<double>(rng() % 1000000) * 1e-3; break;
    }
    if (rng() % 2 == 0) d = -d;
    static constexpr const char* kFormats[] = {"%.17g", "%.16e", "%.6E", "%.20f",
                                               "%.3f",  "%.25e", "%.1g", "%g"};
    char text[512];
    std::snprintf(text, sizeof text, kFormats[rng() % std::size(kFormats)], d);
    std::string t = text;
    switch (rng() % 12) {
    case 0: // "+5.3"
      if (t[0] != '-') t.insert(0, "+");
      break;
    case 1: // ".5"
      if (t.starts_with("0.")) t.erase(0, 1);
      break;
    case 2: // "-.5"
      if (t.starts_with("-0.")) t.erase(1, 1);
      break;
    case 3:
      if (t.find_first_of("eE") == std::string::npos) t += "e0";
      break;
    case 4: t.insert(0, std::string(rng() % 30, '0')); break; // leading zeros
    default: break;
    }
    if (t.find('e') != std::string::npos || t.find('E') != std::string::npos) return t;
    if (rng() % 50 == 0)
      t += "e" + std::to_string(static_cast<int>(rng() % 700) - 350); // near the range's ends
    return t;
  };
  const char* const odd[] = {"1e400", "-1e999", "1e-400", "4.9e-324", "2.2250738585072011e-308",
                             "inf",   "1e",     "5.5.5",  "1-2",      "0x10",
                             ".",     "-"};
  const char* const gaps[] = {" ", " ", "\t", "\n", "\r\n", "   "};
  for (int round = 0; round < 300; ++round) {
    std::string text;
    for (int r = 0; r < 30; ++r) {
      text +=
          std::to_string(1981 + r) + " " + std::to_string(1 + rng() % 12) + " 1 1 " + std::to_string(r + 1);
      for (int k = 0; k < kValuesPerRecord; ++k)
        text += gaps[rng() % std::size(gaps)] +
                (rng() % 400 == 0 ? std::string(odd[rng() % std::size(odd)]) : value());
      text += "\n";
    }
    for (const std::uint32_t wanted : {kAllCodes, std::uint32_t{0x007}}) {
      for (const ReaderBuild build : kBuilds) {
        const std::string diff = differs_from_model(text, wanted, build);
        ASSERT_EQ(diff, "") << "in\n" << text;
      }
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
    for (const std::uint32_t wanted : {std::uint32_t{0x007}, kAllCodes}) {
      for (const ReaderBuild build : kBuilds) EXPECT_EQ(differs_from_model(*text, wanted, build), "");
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
