#include "input/records.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "config/catalogue.h"
#include "input/scanner.h"
#include "storage/tables.h"

namespace td {

struct DataFile {
  Scanner scanner;
  unsigned long long dev = 0;
  unsigned long long ino = 0;
};

namespace {

std::string printable(const char* p, std::size_t n) {
  std::string out;
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(p[i]);
    out += (c >= 0x20 && c < 0x7f) ? static_cast<char>(c) : '?';
  }
  return out;
}

RecordStatus fail(Scanner& s, ScanStatus st, int field, RecordFault& fault) {
  fault.field = field;
  fault.found.clear();
  fault.error = 0;
  switch (st) {
  case ScanStatus::end: fault.status = RecordStatus::ended; break;
  case ScanStatus::io_error:
    fault.status = RecordStatus::io_error;
    fault.error = s.error;
    break;
  default:
    fault.status = RecordStatus::not_number;
    fault.found = printable(s.bad, s.bad_len);
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
  fault.found = std::to_string(value) + printable(rest.data(), rest.size());
  return fault.status;
}

RecordStatus check_month(const DailyRecord& rec, RecordFault& fault) {
  if (rec.ints[1] >= 1 && rec.ints[1] <= 12) [[likely]] return RecordStatus::ok;
  fault.status = RecordStatus::bad_month;
  fault.field = 2;
  fault.found = std::to_string(rec.ints[1]);
  return fault.status;
}

} // namespace

DataFile* data_file_open(const char* path, std::string& reason) {
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    reason = std::strerror(errno);
    return nullptr;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    reason = std::strerror(errno);
    ::close(fd);
    return nullptr;
  }
  if (S_ISDIR(st.st_mode)) {
    reason = "is a directory";
    ::close(fd);
    return nullptr;
  }
  if (S_ISREG(st.st_mode) && st.st_size == 0) {
    reason = "is empty";
    ::close(fd);
    return nullptr;
  }
  auto* f = new (alloc_checked(sizeof(DataFile))) DataFile{};
  f->dev = static_cast<unsigned long long>(st.st_dev);
  f->ino = static_cast<unsigned long long>(st.st_ino);
  scanner_open_fd(f->scanner, fd);
  f->scanner.owns_fd = true;
  return f;
}

bool data_file_identity(const DataFile* f, unsigned long long& dev, unsigned long long& ino) {
  dev = f->dev;
  ino = f->ino;
  return true;
}

RecordStatus data_file_read(DataFile* f, DailyRecord& rec, RecordFault& fault) {
  Scanner& s = f->scanner;
  std::int32_t ints[kIntsPerRecord];
  if (scan_fields(s, ints, rec.values)) [[likely]] {
    // White space ended every field, so no integer field has a fraction.
    rec.ints[0] = ints[0];
    rec.ints[1] = ints[1];
    rec.ints[2] = ints[2];
    return check_month(rec, fault);
  }
  // The field by field reading: every shape, and where exactly it fails.
  std::int32_t scratch = 0;
  for (int i = 0; i < kIntsPerRecord; ++i) {
    std::int32_t& target = i < 3 ? rec.ints[i] : scratch;
    const ScanStatus st = scan_int(s, target);
    if (st != ScanStatus::ok) return fail(s, st, i + 1, fault);
    if (!int_field_ends(s)) return fraction_fault(s, target, i + 1, fault);
  }
  if (check_month(rec, fault) != RecordStatus::ok) return fault.status;
  for (int i = 0; i < kValuesPerRecord; ++i) {
    const ScanStatus st = scan_double(s, rec.values[i]);
    if (st != ScanStatus::ok) return fail(s, st, kIntsPerRecord + i + 1, fault);
  }
  return RecordStatus::ok;
}

void data_file_close(DataFile* f) {
  if (f == nullptr) return;
  scanner_close(f->scanner);
  f->~DataFile();
  free_checked(f);
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
  case RecordStatus::ended:
    return "the file ends early, at " + record_field_name(fault.field);
  case RecordStatus::not_number:
    return record_field_name(fault.field) + " is not a number: found \"" + fault.found + "\"";
  case RecordStatus::fraction:
    return record_field_name(fault.field) + " is not a whole number: found \"" + fault.found + "\"";
  case RecordStatus::bad_month:
    return "the month " + fault.found + " is outside 1 to 12";
  case RecordStatus::io_error:
    return std::string("reading failed: ") + std::strerror(fault.error);
  }
  return "unknown fault";
}

} // namespace td
