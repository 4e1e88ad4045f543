#include "results/result_files.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "results/number_format.h"

namespace td {
namespace {

std::size_t put(char* out, const char* text, std::size_t n) {
  std::memcpy(out, text, n);
  return n;
}

std::size_t put_crlf(char* out) {
  out[0] = '\r';
  out[1] = '\n';
  return 2;
}

bool write_all(int fd, const char* p, std::size_t n, int& error) {
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      error = errno;
      return false;
    }
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

void abandon(ResultFiles& files) {
  for (ResultFile& f : files.file) {
    if (f.fd >= 0) {
      ::close(f.fd);
      if (!f.existed) ::unlink(f.name.c_str());
    }
    f.fd = -1;
  }
}

} // namespace

std::size_t format_header_line(char* out) {
  static constexpr char kHeader[] = ",1,2,3,4,5,6,7,8,9,10,11,12\r\n";
  return put(out, kHeader, sizeof kHeader - 1);
}

std::size_t format_run_line(char* out, int run_number, const double* row, bool is_count) {
  std::size_t n = format_int(run_number, out);
  out[n++] = ',';
  for (int m = 1; m <= kMonths; ++m) {
    // Counts are whole numbers up to the days of a run; the cast truncates.
    n += is_count ? format_int(static_cast<long long>(row[m]), out + n) : format_general15(row[m], out + n);
    out[n++] = ',';
  }
  return n + put_crlf(out + n);
}

std::size_t format_summary_line(char* out, const char* label, const double* row) {
  std::size_t n = put(out, label, std::strlen(label));
  out[n++] = ',';
  for (int m = 1; m <= kMonths; ++m) {
    n += format_general15(row[m], out + n);
    out[n++] = ',';
  }
  return n + put_crlf(out + n);
}

bool create_result_files(const ResultNames& names, unsigned long long data_dev, unsigned long long data_ino,
                         ResultFiles& out, std::string& message) {
  for (int i = 0; i < kFileCount; ++i) {
    ResultFile& f = out.file[i];
    f.name = names.name[i];
    f.write = names.owner[i] == i;
    f.fd = -1;
    if (!f.write) continue;
    struct stat before {};
    f.existed = ::stat(f.name.c_str(), &before) == 0;
    // No O_TRUNC yet: an earlier result must survive until all six can be made.
    f.fd = ::open(f.name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (f.fd < 0) {
      message = "Error creating result file " + f.name + ": " + std::strerror(errno);
      abandon(out);
      return false;
    }
    struct stat st {};
    const bool known = ::fstat(f.fd, &st) == 0;
    f.regular = known && S_ISREG(st.st_mode);
    if (known && static_cast<unsigned long long>(st.st_dev) == data_dev &&
        static_cast<unsigned long long>(st.st_ino) == data_ino) {
      message = "Error creating result file " + f.name + ": it is the data file";
      abandon(out);
      return false;
    }
  }
  for (ResultFile& f : out.file) {
    if (f.fd < 0 || !f.regular) continue;
    if (::ftruncate(f.fd, 0) != 0) {
      message = "Error creating result file " + f.name + ": " + std::strerror(errno);
      abandon(out);
      return false;
    }
  }
  return true;
}

bool write_result_line(ResultFiles& files, int i, const char* line, std::size_t len, std::string& message) {
  ResultFile& f = files.file[i];
  if (!f.write) return true;
  int error = 0;
  if (!write_all(f.fd, line, len, error)) {
    message = "Error writing result file " + f.name + ": " + std::strerror(error);
    return false;
  }
  return true;
}

bool close_result_files(ResultFiles& files, std::string& message) {
  bool ok = true;
  for (ResultFile& f : files.file) {
    if (f.fd < 0) continue;
    if (::close(f.fd) != 0 && ok) {
      message = "Error closing result file " + f.name + ": " + std::strerror(errno);
      ok = false;
    }
    f.fd = -1;
  }
  return ok;
}

} // namespace td
