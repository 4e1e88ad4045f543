// The daily data file: a stream of whitespace-separated numbers, 15 per
// record (five integers, then the ten daily values in catalogue order), with
// no header and no separators. Line breaks carry no meaning.
#pragma once

#include <cstdint>
#include <string>

namespace td {

inline constexpr int kValuesPerRecord = 10;
inline constexpr int kIntsPerRecord = 5; // three kept, two read and discarded
inline constexpr int kFieldsPerRecord = kIntsPerRecord + kValuesPerRecord;

// One day: the calendar month and the value of every variable code. The
// other four integers are checked and not kept.
struct DailyRecord {
  std::int32_t month;
  double values[kValuesPerRecord];
};

// Bit c set: the value of code c is wanted.
inline constexpr std::uint32_t kAllCodes = (std::uint32_t{1} << kValuesPerRecord) - 1;

enum class RecordStatus : int {
  ok,
  ended,      // the file ends before (or inside) this record
  not_number, // a field is not a number (nan, inf, out of range, junk)
  fraction,   // an integer field is written with a fraction or exponent
  bad_month,  // the month is outside 1..12
  io_error,   // reading failed
};

// Where a record went wrong: the field (1..15) and what stood there.
struct RecordFault {
  RecordStatus status = RecordStatus::ok;
  int field = 0;
  std::string found;
  int error = 0; // errno for io_error
};

struct DataFile; // an open data file; its reader keeps one buffer and one token index

// Opens the data file for reading. A directory, an empty file or a file that
// cannot be opened gives nullptr and a reason ("No such file or directory",
// "is a directory", "is empty").
DataFile* data_file_open(const char* path, std::string& reason);
// The identity of the open file, to make sure no result file overwrites it.
void data_file_identity(const DataFile* f, unsigned long long& dev, unsigned long long& ino);
// Which values data_file_read must deliver (kAllCodes when opened); the
// values of the other codes may be left unset. Every field is checked all
// the same, so the faults found do not depend on it.
void data_file_want(DataFile* f, std::uint32_t codes);
// The builds of the reader, narrowest first: baseline instructions, AVX2
// and BMI, AVX-512 (BW, VL, DQ, CD, VBMI2).
enum class ReaderBuild : int { portable, avx2, avx512 };
// Reads with the widest build the processor runs up to `widest` (opened:
// the widest it runs), so that every build can be tested on one machine.
void data_file_limit_build(DataFile* f, ReaderBuild widest);
// Reads the next record; anything but ok leaves `rec` unusable.
RecordStatus data_file_read(DataFile* f, DailyRecord& rec, RecordFault& fault);
// Reads up to n records into recs[0..n); returns how many. Fewer than n:
// `fault` says why the next one could not be read.
int data_file_read_records(DataFile* f, DailyRecord* recs, int n, RecordFault& fault);
void data_file_close(DataFile* f);

// "field 2 (month)", "field 6 (RN)": the name of a field for messages.
std::string record_field_name(int field);
// The description of a fault, e.g. "the file ends early",
// "field 7 (Tmin) is not a number: found \"abc\"".
std::string record_fault_text(const RecordFault& fault);

} // namespace td
