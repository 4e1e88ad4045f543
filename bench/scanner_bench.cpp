// Throughput of the scanner against formatted extraction from a
// std::istringstream over the same in-memory text, in bytes per second.
//
//   g++ -std=c++20 -O2 -DNDEBUG -I src bench/scanner_bench.cpp src/input/scanner.cpp
//       -lbenchmark -lpthread -o scanner_bench
#include "input/records.h"
#include "text/scanner.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t kTextBytes = 16u << 20;

// A daily value as the data files write them: mostly one decimal, some
// whole numbers and two decimals, a few negative.
std::string value(std::mt19937_64& rng) {
  const auto r = rng() % 100;
  std::string t = r < 15 ? "-" : "";
  const auto whole = rng() % (r < 60 ? 40 : 400);
  t += std::to_string(whole);
  if (r % 5 == 0) return t == "-0" ? "0" : t;
  t += '.';
  t += static_cast<char>('0' + rng() % 10);
  if (r % 7 == 0) t += static_cast<char>('0' + rng() % 10);
  return t;
}

// Records as the data files hold them: year, month, day, run and day of the
// year, then 10 values.
const std::string& records_text() {
  static const std::string text = [] {
    std::mt19937_64 rng(1);
    std::string t;
    for (int rec = 0; t.size() < kTextBytes; ++rec) {
      t += std::to_string(1981 + rec % 10957 / 366) + ' ' + std::to_string(1 + rec / 28 % 12) + ' ' +
           std::to_string(1 + rec % 28) + ' ' + std::to_string(rec / 10957 + 1) + ' ' +
           std::to_string(1 + rec % 366);
      for (int k = 0; k < 10; ++k) t += ' ' + value(rng);
      t += '\n';
    }
    return t;
  }();
  return text;
}

// Values only, one space apart.
const std::string& values_text() {
  static const std::string text = [] {
    std::mt19937_64 rng(2);
    std::string t;
    while (t.size() < kTextBytes) t += value(rng) + (t.size() % 97 == 0 ? '\n' : ' ');
    return t;
  }();
  return text;
}

void BM_ScanDouble(benchmark::State& state) {
  const std::string& text = values_text();
  for (auto _ : state) {
    td::Scanner s;
    td::scanner_open_memory(s, text);
    double v = 0, sum = 0;
    while (td::scan_double(s, v) == td::ScanStatus::ok) sum += v;
    benchmark::DoNotOptimize(sum);
    td::scanner_close(s);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_ScanDouble)->Unit(benchmark::kMillisecond);

void BM_IstreamDouble(benchmark::State& state) {
  const std::string& text = values_text();
  for (auto _ : state) {
    std::istringstream is(text);
    double v = 0, sum = 0;
    while (is >> v) sum += v;
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_IstreamDouble)->Unit(benchmark::kMillisecond);

template <class Scan>
bool scan_record(Scan& scan, double& sum) {
  std::int32_t n = 0;
  double v = 0;
  for (int k = 0; k < 5; ++k) {
    if (!scan(n)) return false;
    sum += n;
  }
  for (int k = 0; k < 10; ++k) {
    if (!scan(v)) return false;
    sum += v;
  }
  return true;
}

void BM_ScanRecords(benchmark::State& state) {
  const std::string& text = records_text();
  for (auto _ : state) {
    td::Scanner s;
    td::scanner_open_memory(s, text);
    auto scan = [&](auto& x) {
      if constexpr (sizeof x == 4)
        return td::scan_int(s, x) == td::ScanStatus::ok;
      else
        return td::scan_double(s, x) == td::ScanStatus::ok;
    };
    double sum = 0;
    while (scan_record(scan, sum)) {
    }
    benchmark::DoNotOptimize(sum);
    td::scanner_close(s);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_ScanRecords)->Unit(benchmark::kMillisecond);

// Whole records at once, as the data file reader takes them, falling back
// to the field by field reading at the end of every buffer.
void BM_ScanFields(benchmark::State& state) {
  const std::string& text = records_text();
  for (auto _ : state) {
    td::Scanner s;
    td::scanner_open_memory(s, text);
    std::int32_t ints[5];
    double reals[10];
    double sum = 0;
    for (;;) {
      if (!td::scan_fields(s, ints, reals)) {
        bool ok = true;
        for (auto& n : ints) ok = ok && td::scan_int(s, n) == td::ScanStatus::ok;
        for (auto& v : reals) ok = ok && td::scan_double(s, v) == td::ScanStatus::ok;
        if (!ok) break;
      }
      sum += ints[1] + reals[0];
    }
    benchmark::DoNotOptimize(sum);
    td::scanner_close(s);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_ScanFields)->Unit(benchmark::kMillisecond);

void BM_IstreamRecords(benchmark::State& state) {
  const std::string& text = records_text();
  for (auto _ : state) {
    std::istringstream is(text);
    auto scan = [&](auto& x) { return static_cast<bool>(is >> x); };
    double sum = 0;
    while (scan_record(scan, sum)) {
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_IstreamRecords)->Unit(benchmark::kMillisecond);

// Writes `text` to a new file named from the mkstemp template `path`.
bool write_temporary(const std::string& text, char* path) {
  const int fd = ::mkstemp(path);
  if (fd < 0) return false;
  const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  return written;
}

// The same records read from a file with read(2), as the program reads them.
void BM_ScanRecordsFile(benchmark::State& state) {
  const std::string& text = records_text();
  char path[] = "/tmp/td_scanner_bench_XXXXXX";
  if (!write_temporary(text, path)) {
    state.SkipWithError("cannot write the temporary file");
    return;
  }
  for (auto _ : state) {
    td::Scanner s;
    if (!td::scanner_open_file(s, path)) {
      state.SkipWithError("cannot open the temporary file");
      break;
    }
    auto scan = [&](auto& x) {
      if constexpr (sizeof x == 4)
        return td::scan_int(s, x) == td::ScanStatus::ok;
      else
        return td::scan_double(s, x) == td::ScanStatus::ok;
    };
    double sum = 0;
    while (scan_record(scan, sum)) {
    }
    benchmark::DoNotOptimize(sum);
    td::scanner_close(s);
  }
  ::unlink(path);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_ScanRecordsFile)->Unit(benchmark::kMillisecond);

// The data file reader on the same records, as the program uses it: with
// the three value codes of the example configuration wanted, and with all ten.
void BM_DataFileRead(benchmark::State& state) {
  const std::string& text = records_text();
  char path[] = "/tmp/td_scanner_bench_XXXXXX";
  if (!write_temporary(text, path)) {
    state.SkipWithError("cannot write the temporary file");
    return;
  }
  for (auto _ : state) {
    std::string reason;
    td::DataFile* f = td::data_file_open(path, reason);
    if (f == nullptr) {
      state.SkipWithError("cannot open the temporary file");
      break;
    }
    td::data_file_want(f, static_cast<std::uint32_t>(state.range(0)));
    td::DailyRecord rec{};
    td::RecordFault fault;
    double sum = 0;
    while (td::data_file_read(f, rec, fault) == td::RecordStatus::ok) sum += rec.month + rec.values[2];
    benchmark::DoNotOptimize(sum);
    td::data_file_close(f);
  }
  ::unlink(path);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_DataFileRead)->Arg(0x007)->Arg(0x3FF)->Unit(benchmark::kMillisecond);

// The data file reader on a real data file, named by TD_BENCH_DATA (say, the
// demo ensemble), whose columns keep their spelling from record to record as
// the random values above do not; the three codes of the example wanted.
void BM_DataFileReadNamed(benchmark::State& state) {
  const char* const path = std::getenv("TD_BENCH_DATA");
  if (path == nullptr) {
    state.SkipWithError("TD_BENCH_DATA names no data file");
    return;
  }
  struct stat st {};
  if (::stat(path, &st) != 0) {
    state.SkipWithError(("cannot stat " + std::string(path)).c_str());
    return;
  }
  for (auto _ : state) {
    std::string reason;
    td::DataFile* f = td::data_file_open(path, reason);
    if (f == nullptr) {
      state.SkipWithError(("cannot open " + std::string(path) + ": " + reason).c_str());
      break;
    }
    td::data_file_want(f, 0x007);
    td::DailyRecord rec{};
    td::RecordFault fault;
    double sum = 0;
    std::int64_t records = 0;
    while (td::data_file_read(f, rec, fault) == td::RecordStatus::ok) {
      sum += rec.month + rec.values[2];
      ++records;
    }
    benchmark::DoNotOptimize(sum);
    td::data_file_close(f);
    state.counters["records"] = static_cast<double>(records);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(st.st_size));
}
BENCHMARK(BM_DataFileReadNamed)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
