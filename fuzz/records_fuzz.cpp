// libFuzzer target: the data file reader against the stream-extraction model
// of the same bytes. The first byte chooses the wanted codes, and the size
// the build (baseline or widest). Any difference in the records read, a
// wanted value's bits, or where and why reading stops is a crash.
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

#include "input/records.h"
#include "support/stream_model.h"

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
  td::data_file_limit_build(f, static_cast<td::ReaderBuild>(size % 3)); // every build of the token index
  const td::stream_model::Records want = td::stream_model::read_records(text);
  for (const td::stream_model::Record& rec : want.good) {
    td::DailyRecord got{};
    td::RecordFault fault;
    if (td::data_file_read(f, got, fault) != td::RecordStatus::ok || got.month != rec.month) std::abort();
    for (int k = 0; k < td::kValuesPerRecord; ++k)
      if ((wanted >> k & 1u) != 0 &&
          std::bit_cast<std::uint64_t>(got.values[k]) != std::bit_cast<std::uint64_t>(rec.values[k]))
        std::abort();
  }
  // Where and why reading stops.
  static constexpr td::RecordStatus kStatus[] = {td::RecordStatus::ended, td::RecordStatus::not_number,
                                                 td::RecordStatus::fraction, td::RecordStatus::bad_month};
  td::DailyRecord got{};
  td::RecordFault fault;
  if (td::data_file_read(f, got, fault) != kStatus[static_cast<int>(want.stop)] || fault.field != want.field)
    std::abort();
  td::data_file_close(f);
  return 0;
}
