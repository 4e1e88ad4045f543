// The baseline data reader for the benchmark: the same interface as the
// program's reader, reading through std::ifstream >>. The benchmark builds
// the whole program a second time with this file in place of the scanner.
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sys/stat.h>

#include "input/records.h"

namespace td {

struct DataFile {
  std::ifstream in;
  unsigned long long dev = 0;
  unsigned long long ino = 0;
};

DataFile* data_file_open(const char* path, std::string& reason) {
  struct stat st {};
  if (::stat(path, &st) != 0) {
    reason = std::strerror(errno);
    return nullptr;
  }
  auto* f = new DataFile;
  f->in.open(path);
  if (!f->in) {
    reason = "cannot be opened";
    delete f;
    return nullptr;
  }
  f->dev = static_cast<unsigned long long>(st.st_dev);
  f->ino = static_cast<unsigned long long>(st.st_ino);
  return f;
}

void data_file_identity(const DataFile* f, unsigned long long& dev, unsigned long long& ino) {
  dev = f->dev;
  ino = f->ino;
}

void data_file_want(DataFile*, std::uint32_t) {}

void data_file_limit_build(DataFile*, ReaderBuild) {}

RecordStatus data_file_read(DataFile* f, DailyRecord& rec, RecordFault& fault) {
  std::int32_t scratch = 0;
  f->in >> scratch >> rec.month >> scratch >> scratch >> scratch;
  for (double& v : rec.values) f->in >> v;
  if (!f->in || rec.month < 1 || rec.month > 12) {
    fault.status = RecordStatus::not_number;
    fault.field = 0;
    return fault.status;
  }
  return RecordStatus::ok;
}

int data_file_read_records(DataFile* f, DailyRecord* recs, int n, RecordFault& fault) {
  for (int i = 0; i < n; ++i)
    if (data_file_read(f, recs[i], fault) != RecordStatus::ok) return i;
  return n;
}

void data_file_close(DataFile* f) { delete f; }

} // namespace td
