#include "driver/detector.h"

#include <algorithm>
#include <cerrno>
#include <new>
#include <string>
#include <sys/stat.h>

#include "config/config.h"
#include "detect/tally.h"
#include "driver/console.h"
#include "input/records.h"
#include "results/names.h"
#include "results/result_files.h"
#include "results/stats.h"
#include "storage/tables.h"

namespace td {
namespace {

// Records read at once: enough that a call costs little per record, few
// enough that they stay in the first-level cache.
constexpr int kRecordBatch = 32;

// Everything the driver owns for one run of the program.
struct Run {
  ScanDims dims;
  DailyRecord* records = nullptr; // kRecordBatch records as the data file gives them
  Tallies tallies;
  RunConfig cfg;
  ResultNames names;
  ResultFiles files;
  DataFile* data = nullptr;
  bool first_read = false; // records[0] holds the data file's first record, not yet scanned
  double** mean = nullptr;
  double** sd = nullptr;
  double* acc = nullptr;
};

// Every table of the run is made here, before any file is opened: once the
// result files are emptied, a run needs no more memory of its own.
void start_up(Run& run) {
  run.records = static_cast<DailyRecord*>(alloc_checked(kRecordBatch * sizeof(DailyRecord)));
  for (double**& table : run.tallies.table) table = alloc_double_2d(kTableRowBound, kTableColBound);
  say(kStartupLine);
  run.acc = static_cast<double*>(alloc_checked(kFileCount * sizeof(double)));
  run.mean = alloc_double_2d(kStatsRowBound, kTableColBound);
  run.sd = alloc_double_2d(kStatsRowBound, kTableColBound);
}

// Reads and checks the configuration; false when the program must stop.
bool configure(Run& run) {
  const ConfigReport report = read_config_file(kConfigFileName, run.cfg);
  if (report.read_error == ENOMEM) allocation_failed();
  // Made before any line is printed: memory running out while it is made
  // leaves only the allocation message.
  const std::string stop = config_stop_message(report);
  for (const std::string& line : report.messages) say(line);
  if (!report.messages.empty()) {
    // The keyword lines do not tell that the file could not be read.
    if (report.read_error != 0) say(stop);
    return false;
  }
  if (!stop.empty()) {
    say(stop);
    return false;
  }
  const std::vector<std::string> bad_codes = check_codes(run.cfg);
  for (const std::string& line : bad_codes) say(line);
  if (!bad_codes.empty()) return false;
  if (const std::string bad_name = bad_name_message(run.cfg); !bad_name.empty()) {
    say(bad_name);
    return false;
  }
  std::string clash;
  if (!build_result_names(run.cfg, run.names, clash)) {
    say(clash);
    return false;
  }
  return true;
}

// The data file's name in the line of a faulty record, whose fault follows it
// (up to about 90 characters): shorter than elsewhere, so that the line stays
// within 300 characters.
constexpr std::size_t kRecordLineNameMax = 160;

// A record that cannot be read: its line, and the status. A read that failed
// for want of memory is an allocation failure like any other.
int data_fault(const Run& run, int r, int d, const RecordFault& fault) {
  if (fault.status == RecordStatus::io_error && fault.error == ENOMEM) allocation_failed();
  say("Error reading data file " + shown_name(run.cfg.data_file, kRecordLineNameMax) + ": run " +
      std::to_string(r + 1) + ", day " + std::to_string(d + 1) + ": " + record_fault_text(fault));
  return kExitData;
}

// Opens the data file and reads its first record. Both happen before any
// result file is touched: a data file that cannot be read at all (missing,
// empty, without one whole record) costs no earlier results. Returns the
// exit status.
int open_data(Run& run) {
  std::string reason;
  run.data = data_file_open(run.cfg.data_file.c_str(), reason);
  if (run.data == nullptr) {
    say("Error opening data file " + shown_name(run.cfg.data_file) + ": " + reason);
    return kExitData;
  }
  data_file_want(run.data, tested_codes(run.cfg));
  RecordFault fault;
  if (data_file_read(run.data, run.records[0], fault) != RecordStatus::ok)
    return data_fault(run, 0, 0, fault);
  run.first_read = true;
  return kExitOk;
}

// The files the results must not overwrite: the data file and the configuration.
int make_result_files(Run& run) {
  FileId data;
  data_file_identity(run.data, data.dev, data.ino);
  data.known = true;
  FileId config;
  struct stat st {};
  if (::stat(kConfigFileName, &st) == 0) {
    config.known = true;
    config.dev = static_cast<unsigned long long>(st.st_dev);
    config.ino = static_cast<unsigned long long>(st.st_ino);
  }
  std::string message;
  if (!create_result_files(run.names, data, config, run.files, message)) {
    say(message);
    return kExitResults;
  }
  return kExitOk;
}

bool write_to_all(Run& run, const char* const* lines, const std::size_t* lengths) {
  std::string message;
  for (int i = 0; i < kFileCount; ++i) {
    if (!write_result_line(run.files, i, lines[i], lengths[i], message)) {
      say(message);
      return false;
    }
  }
  return true;
}

bool write_headers(Run& run) {
  char header[kLineMax];
  const std::size_t n = format_header_line(header);
  const char* lines[kFileCount];
  std::size_t lengths[kFileCount];
  for (int i = 0; i < kFileCount; ++i) {
    lines[i] = header;
    lengths[i] = n;
  }
  return write_to_all(run, lines, lengths);
}

bool write_run_lines(Run& run, int r) {
  char text[kFileCount][kLineMax];
  const char* lines[kFileCount];
  std::size_t lengths[kFileCount];
  for (int i = 0; i < kFileCount; ++i) {
    lengths[i] = format_run_line(text[i], r + 1, run.tallies.table[i][r], i < kSetCount);
    lines[i] = text[i];
  }
  return write_to_all(run, lines, lengths);
}

// The scan: every run's records through the condition test, then its line in
// each result file. The first record was read before. Returns the exit status.
int scan(Run& run) {
  RecordFault fault; // filled only when a record goes wrong
  for (int r = 0; r < run.dims.runs; ++r) {
    reset_run(run.tallies, r);
    for (int d = 0; d < run.dims.days;) {
      int want = std::min(kRecordBatch, run.dims.days - d);
      int got = 1;
      if (run.first_read) {
        run.first_read = false;
        want = 1;
      } else {
        got = data_file_read_records(run.data, run.records, want, fault);
      }
      for (int i = 0; i < got; ++i) test_day(run.cfg, run.records[i], run.tallies, r);
      d += got;
      if (got < want) return data_fault(run, r, d, fault);
    }
    if (!write_run_lines(run, r)) return kExitResults;
  }
  return kExitOk;
}

bool write_summary(Run& run) {
  compute_statistics(run.tallies, run.dims.runs, run.mean, run.sd, run.acc);
  std::string message;
  for (int i = 0; i < kFileCount; ++i) {
    char line[kLineMax];
    std::size_t n = format_summary_line(line, "mean", run.mean[i]);
    if (!write_result_line(run.files, i, line, n, message)) break;
    n = format_summary_line(line, "SD", run.sd[i]);
    if (!write_result_line(run.files, i, line, n, message)) break;
  }
  if (!message.empty()) say(message);
  return message.empty();
}

void shut_down(Run& run, int& status) {
  data_file_close(run.data);
  run.data = nullptr;
  std::string message;
  if (!close_result_files(run.files, message) && status == kExitOk) {
    say(message);
    status = kExitResults;
  }
  free_checked(run.records);
  for (double** table : run.tallies.table) free_double_2d(table, kTableRowBound, kTableColBound);
  free_double_2d(run.mean, kStatsRowBound, kTableColBound);
  free_double_2d(run.sd, kStatsRowBound, kTableColBound);
  free_checked(run.acc);
}

// From the configuration to the summary lines; stops at the first fault.
// Returns the exit status.
int configure_and_scan(Run& run) {
  if (!configure(run)) return kExitConfig;
  if (const int status = open_data(run); status != kExitOk) return status;
  if (const int status = make_result_files(run); status != kExitOk) return status;
  if (!write_headers(run)) return kExitResults;
  const int status = scan(run);
  if (status == kExitOk && !write_summary(run)) return kExitResults;
  return status;
}

} // namespace

int run_detector(const ScanDims& dims) {
  guard_process();
  // From here on, memory that cannot be had anywhere ends the run with the
  // allocation message, whoever asked for it.
  const std::new_handler earlier_handler = std::set_new_handler(allocation_failed);
  Run run;
  run.dims = dims;
  int status = kExitOk;
  try {
    start_up(run);
    status = configure_and_scan(run);
  } catch (const std::bad_alloc&) {
    // An allocation that failed without asking the new handler (an
    // operator new put in place of the library's).
    allocation_failed();
  }
  shut_down(run, status);
  std::set_new_handler(earlier_handler);
  return status;
}

} // namespace td
