#include "input/records.h"

#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

#include "config/catalogue.h"
#include "input/scanner.h"
#include "storage/tables.h"

namespace td {

// Records read by the read-ahead thread, for each of its chunks.
struct AheadRecords {
  // Its share starts 62% into a chunk: with the reading itself, the two
  // threads then take about the same time. Even records of 15 one-digit
  // fields (30 bytes) cannot fill kMax entries in the 38% of 256 KiB.
  static constexpr int kFromPercent = 62;
  static constexpr int kMax = 4096;
  struct Entry {
    std::int64_t start;   // from the chunk's first byte
    std::uint64_t length; // up to the white space after it
    DailyRecord rec;      // the month and the wanted values
  };
  // Written by the read-ahead thread, each for its chunk, before it hands it
  // over.
  Entry* entry[kAheadSlots] = {};
  int count[kAheadSlots] = {};
  std::uint32_t wanted = 0; // the values they hold
  // The chunk the scanner's thread reads, and its next entry there.
  int slot = -1;
  int next = 0;
};

struct DataFile {
  Scanner scanner;
  std::uint32_t wanted = kAllCodes;
  bool regular = false;
  // The reader built for this processor's instructions; `read` is first the
  // one that starts the read-ahead.
  RecordStatus (*reader)(DataFile*, DailyRecord&, RecordFault&) = nullptr;
  RecordStatus (*read)(DataFile*, DailyRecord&, RecordFault&) = nullptr;
  AheadRecords ahead;
  unsigned long long dev = 0;
  unsigned long long ino = 0;
};

namespace {

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

[[gnu::noinline, gnu::cold]] RecordStatus month_fault(const DailyRecord& rec, RecordFault& fault) {
  fault.status = RecordStatus::bad_month;
  fault.field = 2;
  fault.found = std::to_string(rec.month);
  return fault.status;
}

inline RecordStatus check_month(const DailyRecord& rec, RecordFault& fault) {
  if (rec.month >= 1 && rec.month <= 12) [[likely]]
    return RecordStatus::ok;
  return month_fault(rec, fault);
}

#if defined(__GNUC__)
#define TD_ALWAYS_INLINE [[gnu::always_inline]] inline
#else
#define TD_ALWAYS_INLINE inline
#endif

// The byte classes of a window of 64 or 128 bytes, one bit per byte.
__extension__ typedef unsigned __int128 Mask128;

template <class Mask>
struct Classes {
  Mask space, digit, point, sign;
};

TD_ALWAYS_INLINE Classes<std::uint64_t> classes64(const ByteClasses& c) {
  return {c.space, c.digit, c.point, c.sign};
}

TD_ALWAYS_INLINE Classes<Mask128> classes128(const ByteClasses& lo, const ByteClasses& hi) {
  const auto join = [](std::uint64_t l, std::uint64_t h) { return Mask128{h} << 64 | l; };
  return {join(lo.space, hi.space), join(lo.digit, hi.digit), join(lo.point, hi.point),
          join(lo.sign, hi.sign)};
}

// The lowest set bit; the width of the mask if there is none.
TD_ALWAYS_INLINE unsigned lowest(std::uint64_t m) { return static_cast<unsigned>(std::countr_zero(m)); }
TD_ALWAYS_INLINE unsigned lowest(Mask128 m) {
  const auto lo = static_cast<std::uint64_t>(m);
  return lo != 0 ? lowest(lo) : 64 + lowest(static_cast<std::uint64_t>(m >> 64));
}

// Bit i set where a run of 10 (16) bytes of `m` starts: bits i..i+9 (i+15)
// all set.
template <class Mask>
struct Runs {
  Mask of_10, of_16;
};
template <class Mask>
TD_ALWAYS_INLINE Runs<Mask> runs_of(Mask m) {
  const Mask r2 = m & (m >> 1);
  const Mask r4 = r2 & (r2 >> 2);
  const Mask r8 = r4 & (r4 >> 4);
  return {r8 & (r2 >> 8), r8 & (r8 >> 8)};
}

// The conversions of tokens the masks have checked: "[+-]d+" of at most 9
// characters, and "[+-]d*[.d*]" of at most 15 bytes with a digit, each ended
// by white space. So there is nothing to check, and a double's digits fit in
// 2^53: it is m / 10^frac with both exact, which the one division rounds
// correctly.
TD_ALWAYS_INLINE std::int32_t checked_int(const char* p) {
  const char c = *p;
  const char* r = p + ((c == '-') | (c == '+'));
  std::uint32_t m = 0;
  while (scan_detail::is_digit(*r)) m = m * 10 + scan_detail::digit(*r++);
  const auto v = static_cast<std::int32_t>(m);
  return c == '-' ? -v : v;
}

TD_ALWAYS_INLINE double checked_double(const char* p) {
  const char c = *p;
  const char* r = p + ((c == '-') | (c == '+'));
  std::uint64_t m = 0;
  while (scan_detail::is_digit(*r)) m = m * 10 + scan_detail::digit(*r++);
  std::size_t frac = 0;
  if (*r == '.') {
    const char* const f = ++r;
    while (scan_detail::is_digit(*r)) m = m * 10 + scan_detail::digit(*r++);
    frac = static_cast<std::size_t>(r - f);
  }
  const double v = static_cast<double>(m) / scan_detail::kPow10[frac];
  return std::bit_cast<double>(std::bit_cast<std::uint64_t>(v) |
                               (static_cast<std::uint64_t>(c == '-') << 63));
}

enum class Plain { yes, no, longer }; // longer: does not end within the window

// The plain record, as nearly every data file writes them: the fifteen
// fields within a window of 64 or 128 bytes at p (a token), each of the
// shape "[+-]d*[.d*]" with at least one digit and ended by white space, the
// five integers without a point and at most 9 characters long. Field by
// field reading would read such a record to its last byte and find no
// fault, so it is checked on bit masks `c` of the whole window at once, and
// only the month and the wanted values are converted. yes: `length` is the
// record's (up to the white space after it). Otherwise `rec` is unspecified.
//   "1981 1 1 1 1 0.1 -0.4 0.1 6.1 100 7.7 1.1 0.98 0.25 0.12\n"   plain
//   "1981 1 1 1 1 1e2 ..."  "... 5.5.5 ..."  "... -. ..."  "1981.0 ..."  not plain
template <class Mask>
TD_ALWAYS_INLINE Plain plain_at(const char* p, const Classes<Mask>& c, std::uint32_t wanted, DailyRecord& rec,
                                std::size_t& length) {
  constexpr unsigned kBits = 8 * sizeof(Mask);
  // A token starts at p and after every white space; bytes beyond the data
  // are NUL, which belongs to no class, so a record reaching them fails.
  const Mask starts = ~c.space & ((c.space << 1) | 1);
  // Where fields 2, 6 and 15 start, dropping the lowest start field after
  // field. The top bit stands in for starts beyond the window, so that no
  // count is taken of 0; a record whose last field starts there is longer.
  constexpr Mask kBeyond = Mask{1} << (kBits - 1);
  const auto first = [](Mask m) { return lowest(m | kBeyond); };
  Mask t = starts & (starts - 1);
  const unsigned month_at = first(t);
#pragma GCC unroll 4
  for (int k = 1; k < kIntsPerRecord; ++k) t &= t - 1;
  const Mask value_starts = t; // fields 6.. : the values of codes 0..
  const unsigned values_at = first(t);
#pragma GCC unroll 9
  for (int k = 0; k < kValuesPerRecord - 1; ++k) t &= t - 1;
  const unsigned last_at = first(t);
  if (last_at == kBits - 1) return Plain::longer;
  const Mask after = c.space >> last_at;
  if (after == 0) return Plain::longer;
  // The white space after the last field, and the bytes of the record.
  const unsigned end = last_at + lowest(after);
  const Mask in = (Mask{1} << end) - 1;
  const Mask upto_end = (in << 1) | 1;
  const Mask last = ~c.space & (c.space >> 1) & in; // the last byte of every token
  const Mask ints = (Mask{1} << values_at) - 1;
  // Adding a bit just after every point carries through the digits after it
  // and lands on the first byte that is not a digit: it must be white space.
  const Mask after_fraction = (c.digit + ((c.point & in) << 1)) & ~c.digit & upto_end;
  const Runs<Mask> runs = runs_of(~c.space);
  const bool plain = (~(c.space | c.digit | c.point | c.sign) & in) == 0 // nothing else
                     && (c.sign & ~starts & in) == 0                     // a sign only leads
                     && (starts & last & (c.point | c.sign)) == 0        // no "+", "-", "."
                     && (starts & c.sign & ((c.point & last) >> 1)) == 0 // no "+.", "-."
                     && (after_fraction & ~c.space) == 0                 // one point, digits after it
                     && (c.point & ints) == 0                            // no fraction in an integer
                     && (runs.of_10 & ints) == 0                         // no integer can overflow
                     && (runs.of_16 & in) == 0;                          // at most 15 digits
  if (!plain) return Plain::no;
  rec.month = checked_int(p + month_at);
  Mask v = value_starts; // its lowest start is that of code `code`
  int code = 0;
  for (std::uint32_t w = wanted; w != 0; w &= w - 1) {
    const int k = std::countr_zero(w);
    for (; code < k; ++code) v &= v - 1;
    rec.values[k] = checked_double(p + first(v));
  }
  length = end;
  return Plain::yes;
}

// The first byte of the next record, past white space.
TD_ALWAYS_INLINE const char* record_start(Scanner& s) {
  const char* p = scanner_data(s);
  while (scan_detail::is_space(*p)) ++p; // the NUL after the data stops this
  return p;
}

// The plain record at p, in a window of 64 bytes or, if it is longer, of
// 128. Two builds of the same code: one with the baseline instructions, one
// with 32-byte compares and the BMI bit instructions, taken where the
// processor has them.
TD_ALWAYS_INLINE Plain plain_portable(const char* p, std::uint32_t wanted, DailyRecord& rec,
                                      std::size_t& length) {
  const Plain plain = plain_at(p, classes64(classify_window(p)), wanted, rec, length);
  if (plain != Plain::longer) return plain;
  return plain_at(p, classes128(classify_window(p), classify_window(p + 64)), wanted, rec, length);
}

#if defined(__x86_64__) && defined(__GNUC__)
#define TD_WIDE_TARGET [[gnu::target("avx2,bmi,bmi2")]]

[[gnu::target("avx2"), gnu::always_inline]] inline ByteClasses classify_window_avx2(const char* p) {
  ByteClasses c{};
  for (int k = 0; k < 2; ++k) {
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32 * k));
    // As in classify_window: adding 0x80 - lo moves lo..lo+n-1 to the n
    // lowest signed bytes, so one signed compare tests a range.
    const __m256i tab_to_cr =
        _mm256_cmpgt_epi8(_mm256_set1_epi8(-128 + 5), _mm256_add_epi8(x, _mm256_set1_epi8(0x80 - '\t')));
    const __m256i space = _mm256_or_si256(_mm256_cmpeq_epi8(x, _mm256_set1_epi8(' ')), tab_to_cr);
    const __m256i digit =
        _mm256_cmpgt_epi8(_mm256_set1_epi8(-128 + 10), _mm256_add_epi8(x, _mm256_set1_epi8(0x80 - '0')));
    const __m256i point = _mm256_cmpeq_epi8(x, _mm256_set1_epi8('.'));
    const __m256i sign = _mm256_or_si256(_mm256_cmpeq_epi8(x, _mm256_set1_epi8('+')),
                                         _mm256_cmpeq_epi8(x, _mm256_set1_epi8('-')));
    const unsigned shift = 32 * static_cast<unsigned>(k);
    c.space |= std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(space))} << shift;
    c.digit |= std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(digit))} << shift;
    c.point |= std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(point))} << shift;
    c.sign |= std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(sign))} << shift;
  }
  return c;
}

TD_WIDE_TARGET TD_ALWAYS_INLINE Plain plain_wide(const char* p, std::uint32_t wanted, DailyRecord& rec,
                                                 std::size_t& length) {
  const Plain plain = plain_at(p, classes64(classify_window_avx2(p)), wanted, rec, length);
  if (plain != Plain::longer) return plain;
  return plain_at(p, classes128(classify_window_avx2(p), classify_window_avx2(p + 64)), wanted, rec, length);
}

bool cpu_has_wide_path() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2");
}
#else
#define TD_WIDE_TARGET
TD_ALWAYS_INLINE Plain plain_wide(const char* p, std::uint32_t wanted, DailyRecord& rec,
                                  std::size_t& length) {
  return plain_portable(p, wanted, rec, length);
}
bool cpu_has_wide_path() { return false; }
#endif

RecordStatus read_portable(DataFile* f, DailyRecord& rec, RecordFault& fault);
TD_WIDE_TARGET RecordStatus read_wide(DataFile* f, DailyRecord& rec, RecordFault& fault);
RecordStatus read_first(DataFile* f, DailyRecord& rec, RecordFault& fault);

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
  f->reader = cpu_has_wide_path() ? read_wide : read_portable;
  f->read = read_first;
  f->regular = S_ISREG(st.st_mode);
  scanner_open_fd(f->scanner, fd);
  f->scanner.owns_fd = true;
  return f;
}

void data_file_want(DataFile* f, std::uint32_t codes) { f->wanted = codes & kAllCodes; }

void data_file_portable(DataFile* f) { f->reader = read_portable; }

bool data_file_identity(const DataFile* f, unsigned long long& dev, unsigned long long& ino) {
  dev = f->dev;
  ino = f->ino;
  return true;
}

namespace {

// Every record that is not plain: in common shapes a field at a time, and
// otherwise by the whole of the rules, which also say where it fails.
[[gnu::noinline]] RecordStatus read_fields(Scanner& s, DailyRecord& rec, RecordFault& fault) {
  std::int32_t ints[kIntsPerRecord];
  if (scan_fields(s, ints, rec.values)) {
    // White space ended every field, so no integer field has a fraction.
    rec.month = ints[1];
    return check_month(rec, fault);
  }
  // The field by field reading: every shape, and where exactly it fails.
  for (int i = 0; i < kIntsPerRecord; ++i) {
    const ScanStatus st = scan_int(s, ints[i]);
    if (st != ScanStatus::ok) return fail(s, st, i + 1, fault);
    if (!int_field_ends(s)) return fraction_fault(s, ints[i], i + 1, fault);
  }
  rec.month = ints[1];
  if (check_month(rec, fault) != RecordStatus::ok) return fault.status;
  for (int i = 0; i < kValuesPerRecord; ++i) {
    const ScanStatus st = scan_double(s, rec.values[i]);
    if (st != ScanStatus::ok) return fail(s, st, kIntsPerRecord + i + 1, fault);
  }
  return RecordStatus::ok;
}

// The record at p as the read-ahead thread read it, if it read one there.
TD_ALWAYS_INLINE bool take_ahead(DataFile* f, const char* p, DailyRecord& rec, std::size_t& length) {
  const char* data = nullptr;
  const int slot = scanner_ahead_slot(f->scanner, data);
  AheadRecords& a = f->ahead;
  if (slot < 0 || a.wanted != f->wanted) return false;
  if (slot != a.slot) {
    a.slot = slot;
    a.next = 0;
  }
  const std::ptrdiff_t at = p - data;
  const AheadRecords::Entry* const e = a.entry[slot];
  const int count = a.count[slot];
  int i = a.next;
  while (i < count && e[i].start < at) ++i;
  a.next = i;
  if (i == count || e[i].start != at) return false;
  rec = e[i].rec;
  length = e[i].length;
  a.next = i + 1;
  return true;
}

// The two readers are the same code built for two instruction sets: a
// function of the wider set can inline only code of its own set or less, so
// each calls its own build of the plain record.
RecordStatus read_portable(DataFile* f, DailyRecord& rec, RecordFault& fault) {
  Scanner& s = f->scanner;
  const char* const p = record_start(s);
  std::size_t length = 0;
  if (take_ahead(f, p, rec, length) || plain_portable(p, f->wanted, rec, length) == Plain::yes) [[likely]] {
    scanner_skip(s, static_cast<std::size_t>(p - scanner_data(s)) + length);
    return check_month(rec, fault);
  }
  return read_fields(s, rec, fault);
}

TD_WIDE_TARGET RecordStatus read_wide(DataFile* f, DailyRecord& rec, RecordFault& fault) {
  Scanner& s = f->scanner;
  const char* const p = record_start(s);
  std::size_t length = 0;
  if (take_ahead(f, p, rec, length) || plain_wide(p, f->wanted, rec, length) == Plain::yes) [[likely]] {
    scanner_skip(s, static_cast<std::size_t>(p - scanner_data(s)) + length);
    return check_month(rec, fault);
  }
  return read_fields(s, rec, fault);
}

bool record_portable(const char* p, std::uint32_t wanted, DailyRecord& rec, std::size_t& length) {
  return plain_portable(p, wanted, rec, length) == Plain::yes;
}

TD_WIDE_TARGET bool record_wide(const char* p, std::uint32_t wanted, DailyRecord& rec, std::size_t& length) {
  return plain_wide(p, wanted, rec, length) == Plain::yes;
}

// The read-ahead thread's share of the parsing: the plain records of the
// last part of each chunk it reads, from the first line start there on, with
// the same code as the scanner's thread. That thread takes such a record
// only where its own reading has put it at the record's first byte, so the
// guess that a line starts a record costs nothing when it is wrong (records
// over several lines): the records are then all read by that thread.
void read_ahead_records(void* ctx, int slot, const char* data, std::size_t len) {
  DataFile& f = *static_cast<DataFile*>(ctx);
  AheadRecords& a = f.ahead;
  a.count[slot] = 0;
  const std::size_t from = len / 100 * AheadRecords::kFromPercent;
  const auto* nl = static_cast<const char*>(std::memchr(data + from, '\n', len - from));
  if (nl == nullptr) return;
  const char* p = nl + 1;
  const char* const stop = data + len;
  // Copied once: the other thread writes next to them for every record.
  const bool wide = f.reader == read_wide;
  const std::uint32_t wanted = a.wanted;
  AheadRecords::Entry* const entry = a.entry[slot];
  int n = 0;
  while (n < AheadRecords::kMax) {
    while (scan_detail::is_space(*p)) ++p; // the NULs after the chunk stop this
    if (p >= stop) break;
    AheadRecords::Entry& e = entry[n];
    std::size_t length = 0;
    if (!(wide ? record_wide(p, wanted, e.rec, length) : record_portable(p, wanted, e.rec, length))) break;
    e.start = p - data;
    e.length = length;
    ++n;
    p += length;
  }
  a.count[slot] = n;
}

// The first read starts the read-ahead thread (once the wanted values are
// known) where the file is regular: its reads never wait for a writer.
// Without the thread the reading is the same, only slower.
RecordStatus read_first(DataFile* f, DailyRecord& rec, RecordFault& fault) {
  f->read = f->reader;
  if (f->regular) {
    bool have = true;
    for (AheadRecords::Entry*& e : f->ahead.entry) {
      e = static_cast<AheadRecords::Entry*>(std::malloc(sizeof(AheadRecords::Entry) * AheadRecords::kMax));
      have = have && e != nullptr;
    }
    f->ahead.wanted = f->wanted;
    if (have) (void)scanner_read_ahead(f->scanner, AheadWork{read_ahead_records, f});
  }
  return f->read(f, rec, fault);
}

} // namespace

RecordStatus data_file_read(DataFile* f, DailyRecord& rec, RecordFault& fault) {
  return f->read(f, rec, fault);
}

void data_file_close(DataFile* f) {
  if (f == nullptr) return;
  scanner_close(f->scanner); // stops the thread before its entries go
  for (AheadRecords::Entry* e : f->ahead.entry) std::free(e);
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
