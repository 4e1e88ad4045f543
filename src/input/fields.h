// The field-by-field reader of the data file: formatted extraction of the
// fifteen fields of one record, exactly as `>>` reads them, which also says
// where and why a record cannot be read. It reads every record that the
// token index and the record kernel leave to it: numbers that abut ("3-4"),
// tokens cut by the end of the buffer or longer than a segment, and faults.
#pragma once

#include "input/records.h"
#include "text/scanner.h"

namespace td {

// Reads the next record from `s`; anything but ok fills `fault`.
//   "1981 1 1 1 1 0 -2.5 3-4 ..."   -> ok, values[2] = 3, values[3] = -4
//   "1981 1.5 1 1 1 ..."            -> fraction, field 2, found "1.5"
RecordStatus read_record_fields(Scanner& s, DailyRecord& rec, RecordFault& fault);

} // namespace td
