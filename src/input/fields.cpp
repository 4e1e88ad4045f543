#include "input/fields.h"

#include <cstring>
#include <string>

#include "config/catalogue.h"

namespace td {
namespace {

RecordStatus fail(const Scanner& s, ScanStatus st, int field, RecordFault& fault) {
  fault.field = field;
  fault.found.clear();
  fault.error = 0;
  switch (st) {
  case ScanStatus::end: fault.status = RecordStatus::ended; break;
  case ScanStatus::io_error:
    fault.status = RecordStatus::io_error;
    fault.error = s.src.error;
    break;
  default:
    fault.status = RecordStatus::not_number;
    fault.found = printable_text(s.bad, s.bad_len);
    break;
  }
  return fault.status;
}

// An integer field must end where its digits end: "3.5" or "3e2" would
// otherwise be read as 3 and leave ".5" or "e2" to shift every later field.
bool int_field_ends(Scanner& s) {
  const int c = scanner_peek(s);
  return c != '.' && c != 'e' && c != 'E';
}

RecordStatus fraction_fault(Scanner& s, std::int32_t value, int field, RecordFault& fault) {
  fault.status = RecordStatus::fraction;
  fault.field = field;
  std::string rest;
  (void)scan_word(s, rest);
  if (rest.size() > Scanner::kBadTokenMax) rest.resize(Scanner::kBadTokenMax);
  fault.found = std::to_string(value) + printable_text(rest.data(), rest.size());
  return fault.status;
}

} // namespace

RecordStatus read_record_fields(Scanner& s, DailyRecord& rec, RecordFault& fault) {
  std::int32_t ints[kIntsPerRecord];
  for (int i = 0; i < kIntsPerRecord; ++i) {
    const ScanStatus st = scan_int(s, ints[i]);
    if (st != ScanStatus::ok) return fail(s, st, i + 1, fault);
    if (!int_field_ends(s)) return fraction_fault(s, ints[i], i + 1, fault);
  }
  rec.month = ints[1];
  if (rec.month < 1 || rec.month > 12) {
    fault.status = RecordStatus::bad_month;
    fault.field = 2;
    fault.found = std::to_string(rec.month);
    return fault.status;
  }
  for (int i = 0; i < kValuesPerRecord; ++i) {
    const ScanStatus st = scan_double(s, rec.values[i]);
    if (st != ScanStatus::ok) return fail(s, st, kIntsPerRecord + i + 1, fault);
  }
  return RecordStatus::ok;
}

std::string record_field_name(int field) {
  static constexpr const char* kIntNames[kIntsPerRecord] = {"first integer", "month", "third integer",
                                                            "fourth integer", "fifth integer"};
  std::string name = "field " + std::to_string(field);
  if (field >= 1 && field <= kIntsPerRecord) return name + " (" + kIntNames[field - 1] + ")";
  if (field > kIntsPerRecord && field <= kFieldsPerRecord)
    return name + " (" + variable_name(field - kIntsPerRecord - 1) + ")";
  return name;
}

std::string record_fault_text(const RecordFault& fault) {
  switch (fault.status) {
  case RecordStatus::ok: return "no fault";
  case RecordStatus::ended: return "the file ends early, at " + record_field_name(fault.field);
  case RecordStatus::not_number:
    return record_field_name(fault.field) + " is not a number: found \"" + fault.found + "\"";
  case RecordStatus::fraction:
    return record_field_name(fault.field) + " is not a whole number: found \"" + fault.found + "\"";
  case RecordStatus::bad_month: return "the month " + fault.found + " is outside 1 to 12";
  case RecordStatus::io_error: return std::string("reading failed: ") + std::strerror(fault.error);
  }
  return "unknown fault";
}

} // namespace td
