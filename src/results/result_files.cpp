#include "results/result_files.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "config/config.h"
#include "driver/console.h"
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

// Names in a line that names two files are shorter, to keep it short.
constexpr std::size_t kPairNameMax = 120;

std::string creating(const ResultFile& f, const std::string& reason, std::size_t name_max = kShownNameMax) {
  return "Error creating result file " + shown_name(f.name, name_max) + ": " + reason;
}

// Opens f.name for writing, creating it only where nothing stands at the name
// (or a symbolic link to a missing file), and records what it made. Opening
// does not wait: a FIFO that no program reads fails with ENXIO at once.
// -1: errno says why.
int open_result(ResultFile& f) {
  constexpr int kFlags = O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  int fd = ::open(f.name.c_str(), kFlags);
  if (fd >= 0 || errno != ENOENT) return fd;
  fd = ::open(f.name.c_str(), kFlags | O_CREAT | O_EXCL, 0666);
  if (fd >= 0) {
    f.made_entry = true;
    return fd;
  }
  if (errno != EEXIST) return -1;
  // The name is a symbolic link to a missing file: the file is made through
  // it, and where it lies is kept to remove it again.
  struct stat st {};
  const bool link = ::lstat(f.name.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
  fd = ::open(f.name.c_str(), kFlags | O_CREAT, 0666);
  if (fd >= 0 && link) {
    char target[PATH_MAX];
    if (::realpath(f.name.c_str(), target) != nullptr) f.made_target = target;
  }
  return fd;
}

std::string open_failure(const ResultFile& f, int error) {
  struct stat st {};
  if (error == ENXIO && ::stat(f.name.c_str(), &st) == 0 && S_ISFIFO(st.st_mode))
    return creating(f, "it is a FIFO with no reader");
  return creating(f, std::strerror(error));
}

bool same_file(const ResultFile& f, unsigned long long dev, unsigned long long ino) {
  return f.dev == dev && f.ino == ino;
}

// Empty, or why file i must not be written: it is a file this run reads, or
// a regular file that an earlier result name already leads to.
std::string alias_of(const ResultFiles& files, int i, const FileId& data, const FileId& config) {
  const ResultFile& f = files.file[i];
  if (data.known && same_file(f, data.dev, data.ino)) return creating(f, "it is the data file");
  if (config.known && same_file(f, config.dev, config.ino))
    return creating(f, std::string("it is the configuration file ") + kConfigFileName);
  if (!f.regular) return {}; // devices and FIFOs may take the lines of several files
  for (int j = 0; j < i; ++j) {
    const ResultFile& g = files.file[j];
    if (g.fd >= 0 && g.regular && same_file(f, g.dev, g.ino))
      return creating(f, "it is the same file as " + shown_name(g.name, kPairNameMax), kPairNameMax);
  }
  return {};
}

// Takes the lock that keeps a second run from writing the file at the same
// time. A file system without locks is no fault: the run goes on without.
std::string lock_result(ResultFile& f) {
  if (::flock(f.fd, LOCK_EX | LOCK_NB) == 0) return {};
  const int error = errno;
  if (error == EWOULDBLOCK) {
    // Even where this run made it a moment ago, the file is the other run's now.
    f.made_entry = false;
    f.made_target.clear();
    return creating(f, "another run is writing it");
  }
  if (error == ENOLCK || error == ENOSYS || error == EOPNOTSUPP) return {};
  return creating(f, std::strerror(error));
}

// Removes `path` if it still is the file f opened.
void remove_made(const std::string& path, const ResultFile& f) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 &&
      same_file(f, static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino)))
    ::unlink(path.c_str());
}

// A run that cannot start: every file closed, what it made removed, every
// entry that was there before left as it was.
void abandon(ResultFiles& files) {
  for (ResultFile& f : files.file) {
    if (f.fd < 0) continue;
    if (f.made_entry) remove_made(f.name, f);
    if (!f.made_target.empty()) remove_made(f.made_target, f);
    ::close(f.fd);
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

bool create_result_files(const ResultNames& names, const FileId& data, const FileId& config, ResultFiles& out,
                         std::string& message) {
  for (int i = 0; i < kFileCount; ++i) {
    ResultFile& f = out.file[i];
    f = ResultFile{};
    f.name = names.name[i];
    f.write = names.owner[i] == i;
    if (!f.write) continue;
    // No O_TRUNC yet: an earlier result must survive until all six can be made.
    const int fd = open_result(f);
    if (fd < 0) {
      message = open_failure(f, errno);
      abandon(out);
      return false;
    }
    f.fd = fd;
    // Opened without waiting; the lines are written the ordinary way.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags != -1) (void)::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
      message = creating(f, std::strerror(errno));
      if (f.made_entry) ::unlink(f.name.c_str());
      f.made_entry = false;
      f.made_target.clear();
      abandon(out);
      return false;
    }
    f.regular = S_ISREG(st.st_mode);
    f.dev = static_cast<unsigned long long>(st.st_dev);
    f.ino = static_cast<unsigned long long>(st.st_ino);
    message = alias_of(out, i, data, config);
    if (message.empty() && f.regular) message = lock_result(f);
    if (!message.empty()) {
      abandon(out);
      return false;
    }
  }
  for (ResultFile& f : out.file) {
    if (f.fd < 0 || !f.regular) continue;
    if (::ftruncate(f.fd, 0) != 0) {
      message = creating(f, std::strerror(errno));
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
    // Some of the line may have gone out: no file may end in a line that
    // looks complete and is not.
    if (f.regular) (void)::ftruncate(f.fd, static_cast<off_t>(f.complete));
    message = "Error writing result file " + shown_name(f.name) + ": " + std::strerror(error);
    return false;
  }
  f.complete += len;
  return true;
}

bool close_result_files(ResultFiles& files, std::string& message) {
  bool ok = true;
  for (ResultFile& f : files.file) {
    if (f.fd < 0) continue;
    if (::close(f.fd) != 0 && ok) {
      message = "Error closing result file " + shown_name(f.name) + ": " + std::strerror(errno);
      ok = false;
    }
    f.fd = -1;
  }
  return ok;
}

} // namespace td
