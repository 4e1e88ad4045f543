// Throughput of each stage of the data file reader on the same text, in
// bytes per second: the token index (both builds), the whole reader on a
// file, the scanner's double extraction, and formatted extraction from a
// std::istringstream for comparison. TD_BENCH_DATA=FILE adds the reader on a
// data file of yours.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "input/records.h"
#include "input/token_index.h"
#include "text/scanner.h"

namespace {

constexpr std::size_t kTextBytes = 16u << 20;

// A daily value as the data files write them: mostly one decimal, some
// whole numbers and two decimals, a few negative.
std::string value(std::mt19937_64& rng) {
  const auto r = rng() % 100;
  std::string t = r < 15 ? "-" : "";
  t += std::to_string(rng() % (r < 60 ? 40 : 400));
  if (r % 5 == 0) return t == "-0" ? "0" : t;
  t += '.';
  t += static_cast<char>('0' + rng() % 10);
  if (r % 7 == 0) t += static_cast<char>('0' + rng() % 10);
  return t;
}

// Records as the data files hold them: year, month, day, run and day of the
// year, then 10 values; NUL padding after them, as the reader's buffer has.
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

void BM_IndexTokens(benchmark::State& state) {
  std::string text = records_text();
  const std::size_t n = text.size();
  text.append(td::kSourcePadding, '\0');
  const auto build = static_cast<td::ReaderBuild>(state.range(0));
  const td::IndexTokens index = td::choose_index_tokens(build);
  static td::TokenIndex ix;
  for (auto _ : state) {
    std::size_t tokens = 0;
    for (std::size_t at = 0; at + td::kSegmentBytes <= n; at += td::kSegmentBytes) {
      index(text.data() + at, td::kSegmentBytes, false, ix);
      tokens += ix.count;
    }
    benchmark::DoNotOptimize(tokens);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n));
  static const char* const names[] = {"baseline build", "AVX2 build", "AVX-512 build"};
  state.SetLabel(names[state.range(0)]);
}
BENCHMARK(BM_IndexTokens)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_ScanDouble(benchmark::State& state) {
  const std::string& text = records_text();
  td::Scanner s;
  for (auto _ : state) {
    td::scanner_open_memory(s, text);
    double v = 0, sum = 0;
    while (td::scan_double(s, v) == td::ScanStatus::ok) sum += v;
    benchmark::DoNotOptimize(sum);
  }
  td::scanner_close(s);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ScanDouble)->Unit(benchmark::kMillisecond);

void BM_IstreamDouble(benchmark::State& state) {
  const std::string& text = records_text();
  for (auto _ : state) {
    std::istringstream in(text);
    double v = 0, sum = 0;
    while (in >> v) sum += v;
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_IstreamDouble)->Unit(benchmark::kMillisecond);

// The whole reader on a file: all records, the month and the wanted values.
void read_file(benchmark::State& state, const char* path, std::uint32_t wanted, bool portable) {
  struct stat st {};
  if (::stat(path, &st) != 0) {
    state.SkipWithError("cannot stat the data file");
    return;
  }
  for (auto _ : state) {
    std::string reason;
    td::DataFile* f = td::data_file_open(path, reason);
    if (f == nullptr) {
      state.SkipWithError(reason.c_str());
      return;
    }
    td::data_file_want(f, wanted);
    if (portable) td::data_file_limit_build(f, td::ReaderBuild::portable);
    td::DailyRecord rec{};
    td::RecordFault fault;
    double sum = 0;
    while (td::data_file_read(f, rec, fault) == td::RecordStatus::ok) sum += rec.values[2];
    td::data_file_close(f);
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * st.st_size);
}

void BM_DataFileRead(benchmark::State& state) {
  static const std::string path = [] {
    char name[] = "/tmp/td_bench_XXXXXX";
    const int fd = ::mkstemp(name);
    const std::string& text = records_text();
    if (fd < 0 || ::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) std::abort();
    ::close(fd);
    std::atexit([] { ::unlink(path.c_str()); });
    return std::string(name);
  }();
  read_file(state, path.c_str(), static_cast<std::uint32_t>(state.range(0)), state.range(1) != 0);
}
BENCHMARK(BM_DataFileRead)
    ->Args({0x007, 0})
    ->Args({0x3FF, 0})
    ->Args({0x007, 1})
    ->Unit(benchmark::kMillisecond);

void BM_DataFileReadNamed(benchmark::State& state) {
  const char* path = std::getenv("TD_BENCH_DATA");
  if (path == nullptr) {
    state.SkipWithError("set TD_BENCH_DATA to a data file");
    return;
  }
  read_file(state, path, 0x007, false);
}
BENCHMARK(BM_DataFileReadNamed)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
