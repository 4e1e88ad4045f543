// The daily data file: a stream of whitespace-separated numbers, 15 per
// record (five integers, then the ten daily values in catalogue order), with
// no header and no separators. Line breaks carry no meaning.
#pragma once

#include <cstdint>
#include <string>

namespace td {

inline constexpr int kValuesPerRecord = 10;
inline constexpr int kIntsPerRecord = 5;  // three kept, two read and discarded
inline constexpr int kFieldsPerRecord = kIntsPerRecord + kValuesPerRecord;

// One day. ints[1] is the calendar month; ints[0] and ints[2] are read and
// not used; values[i] belongs to variable code i.
struct DailyRecord {
  std::int32_t ints[3];
  double values[kValuesPerRecord];
};

enum class RecordStatus : int {
  ok,
  ended,       // the file ends before (or inside) this record
  not_number,  // a field is not a number (nan, inf, out of range, junk)
  fraction,    // an integer field is written with a fraction or exponent
  bad_month,   // the month is outside 1..12
  io_error,    // reading failed
};

// Where a record went wrong: the field (1..15) and what stood there.
struct RecordFault {
  RecordStatus status = RecordStatus::ok;
  int field = 0;
  std::string found;
  int error = 0; // errno for io_error
};

struct DataFile; // an open data file; its reader keeps one buffer

// Opens the data file for reading. A directory, an empty file or a file that
// cannot be opened gives nullptr and a reason ("No such file or directory",
// "is a directory", "is empty").
DataFile* data_file_open(const char* path, std::string& reason);
// The identity of the open file, to make sure no result file overwrites it.
bool data_file_identity(const DataFile* f, unsigned long long& dev, unsigned long long& ino);
// Reads the next record; anything but ok leaves `rec` unusable.
RecordStatus data_file_read(DataFile* f, DailyRecord& rec, RecordFault& fault);
void data_file_close(DataFile* f);

// "field 2 (month)", "field 6 (RN)": the name of a field for messages.
std::string record_field_name(int field);
// The description of a fault, e.g. "the file ends early",
// "field 7 (Tmin) is not a number: found \"abc\"".
std::string record_fault_text(const RecordFault& fault);

} // namespace td
