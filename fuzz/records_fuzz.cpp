// libFuzzer target: the data file reader against stream extraction of the
// same bytes (five ints and ten doubles a record, an int field not followed
// by '.', 'e' or 'E', the month 1..12). The first byte chooses the wanted
// codes. Any difference in the records read, a wanted value's bits, or where
// and how reading stops is a crash.
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

#include "input/records.h"

namespace {

// One file in memory per process, rewritten for every input, opened by name
// as the program opens its data file.
int scratch_fd = -1;
std::string scratch_path;

void write_scratch(const std::string& text) {
  if (scratch_fd < 0) {
    scratch_fd = ::memfd_create("td_records_fuzz", 0);
    if (scratch_fd < 0) std::abort();
    scratch_path = "/proc/self/fd/" + std::to_string(scratch_fd);
  }
  if (::ftruncate(scratch_fd, 0) != 0 ||
      ::pwrite(scratch_fd, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size()))
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint32_t wanted = (data[0] * 0x101u) & td::kAllCodes;
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  write_scratch(text);

  std::string reason;
  td::DataFile* f = td::data_file_open(scratch_path.c_str(), reason);
  if (f == nullptr) return 0; // only an empty file is refused, and text is not empty
  td::data_file_want(f, wanted);
  if ((size & 1) != 0) td::data_file_portable(f); // both builds of the whole-record reading
  std::istringstream in(text);
  for (;;) {
    td::DailyRecord got{};
    td::RecordFault fault;
    const td::RecordStatus status = td::data_file_read(f, got, fault);

    bool good = true;
    bool ended = false;
    std::int32_t month = 0;
    double values[td::kValuesPerRecord] = {};
    const auto token_follows = [&] {
      in >> std::ws;
      ended = in.eof();
      return !ended;
    };
    for (int k = 0; k < td::kIntsPerRecord && good; ++k) {
      std::int32_t n = 0;
      good = token_follows() && static_cast<bool>(in >> n);
      const int next = good ? in.peek() : 0;
      good = good && next != '.' && next != 'e' && next != 'E';
      if (k == 1) month = n;
    }
    good = good && month >= 1 && month <= 12; // checked once the five are read
    for (int k = 0; k < td::kValuesPerRecord && good; ++k)
      good = token_follows() && static_cast<bool>(in >> values[k]);

    if (!good) {
      if (status == td::RecordStatus::ok) std::abort();
      if ((status == td::RecordStatus::ended) != ended) std::abort();
      break;
    }
    if (status != td::RecordStatus::ok || got.month != month) std::abort();
    for (int k = 0; k < td::kValuesPerRecord; ++k)
      if ((wanted >> k & 1u) != 0 &&
          std::bit_cast<std::uint64_t>(got.values[k]) != std::bit_cast<std::uint64_t>(values[k]))
        std::abort();
  }
  td::data_file_close(f);
  return 0;
}
