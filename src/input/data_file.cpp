// The data file reader: the stages put together. Records are read from a
// token index of the next segment of the buffer (input/token_index.h) by the
// record kernel (input/record_kernel.h), with the values side by side where
// the processor allows (input/wide_values.h); whatever they decline is read
// again by the field-by-field reader (input/fields.h), which gives the same
// values and says exactly what is wrong. Results and messages do not depend on the
// path a record takes.
#include <bit>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

#include "input/fields.h"
#include "input/record_kernel.h"
#include "input/records.h"
#include "input/token_index.h"
#include "input/wide_values.h"
#include "storage/tables.h"
#include "text/byte_source.h"
#include "text/scanner.h"

namespace td {

struct DataFile {
  Scanner scanner;
  TokenIndex index;
  IndexTokens index_tokens = nullptr;
  WantedValues wanted;
  ReadWide read_wide = nullptr; // the side-by-side reading, if any
  unsigned long long dev = 0;
  unsigned long long ino = 0;
};

namespace {

// The buffer offset where reading stands after the records the kernel read:
// the next indexed token, or the end of the last token read.
std::size_t resume_offset(const DataFile* f) {
  const TokenIndex& ix = f->index;
  const ByteSource& src = f->scanner.src;
  if (ix.count == 0) return src.pos;
  const auto base = static_cast<std::size_t>(ix.base - src.buf);
  if (ix.next < ix.count) return base + ix.start[ix.next];
  const char* p = ix.base + ix.start[ix.count - 1];
  while (*p != '\0' && !is_space_byte(*p)) ++p; // indexed tokens hold no NUL
  return static_cast<std::size_t>(p - src.buf);
}

// Indexes the next segment, refilling the buffer first when less than a
// segment is left in it. A failed read leaves the index empty: the
// field-by-field reader then reports it.
void index_next_segment(DataFile* f) {
  ByteSource& src = f->scanner.src;
  TokenIndex& ix = f->index;
  ix.count = ix.next = 0;
  if (!src.eof && source_available(src) < kSegmentBytes && !source_fill(src, kSegmentBytes)) return;
  const std::size_t left = source_available(src);
  const std::size_t len = left < kSegmentBytes ? left : kSegmentBytes;
  f->index_tokens(source_data(src), len, src.eof && len == left, ix);
}

[[gnu::noinline]] RecordStatus read_slow(DataFile* f, DailyRecord& rec, RecordFault& fault) {
  TokenIndex& ix = f->index;
  f->scanner.src.pos = resume_offset(f);
  if (ix.next + kFieldsPerRecord > ix.count) {
    index_next_segment(f);
    if (ix.next + kFieldsPerRecord <= ix.count && kernel_read(ix, f->wanted.codes, rec))
      return RecordStatus::ok;
  }
  // The record is read again from its first byte; the index is then stale.
  ix.count = ix.next = 0;
  return read_record_fields(f->scanner, rec, fault);
}

} // namespace

DataFile* data_file_open(const char* path, std::string& reason) {
  const int fd = open_for_reading(path);
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
  data_file_limit_build(f, ReaderBuild::avx512);
  scanner_open_fd(f->scanner, fd, true);
  return f;
}

void data_file_want(DataFile* f, std::uint32_t codes) {
  WantedValues& w = f->wanted;
  w.codes = codes & kAllCodes;
  w.wide = f->read_wide != nullptr && w.codes != 0 && std::popcount(w.codes) <= 4;
  if (!w.wide) return;
  int n = 0;
  for (std::uint32_t c = w.codes; c != 0; c &= c - 1) w.lanes[n++] = std::countr_zero(c);
  for (; n < 4; ++n) w.lanes[n] = w.lanes[n - 1];
}

void data_file_limit_build(DataFile* f, ReaderBuild widest) {
  f->index_tokens = choose_index_tokens(widest);
  f->read_wide = choose_wide_reader(reader_build(widest));
  data_file_want(f, f->wanted.codes);
}

void data_file_identity(const DataFile* f, unsigned long long& dev, unsigned long long& ino) {
  dev = f->dev;
  ino = f->ino;
}

RecordStatus data_file_read(DataFile* f, DailyRecord& rec, RecordFault& fault) {
  return data_file_read_records(f, &rec, 1, fault) == 1 ? RecordStatus::ok : fault.status;
}

int data_file_read_records(DataFile* f, DailyRecord* recs, int n, RecordFault& fault) {
  TokenIndex& ix = f->index;
  for (int i = 0; i < n; ++i) {
    if (f->wanted.wide && !ix.exponents) {
      i += f->read_wide(ix, f->wanted, recs + i, n - i);
      if (i == n) break;
    }
    if (ix.next + kFieldsPerRecord <= ix.count && kernel_read(ix, f->wanted.codes, recs[i])) [[likely]]
      continue;
    if (read_slow(f, recs[i], fault) != RecordStatus::ok) return i;
  }
  return n;
}

void data_file_close(DataFile* f) {
  if (f == nullptr) return;
  scanner_close(f->scanner);
  f->~DataFile();
  free_checked(f);
}

} // namespace td
