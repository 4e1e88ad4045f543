// libFuzzer target: the scanner against std::istringstream >> on the same
// bytes. The first two bytes choose the refill size and the order of token
// kinds; any difference in status, value bits or the text left is a crash.
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "input/scanner.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t chunk = 1 + data[0] % 17;
  const unsigned kinds = data[1];
  const std::string text(reinterpret_cast<const char*>(data) + 2, size - 2);

  // One scanner for the whole run: each open keeps its buffer.
  static td::Scanner s;
  td::scanner_open_memory(s, text, chunk, 1 + data[0] % 9);
  std::istringstream in(text);
  for (int i = 0; i < 64; ++i) {
    const unsigned kind = (kinds >> (2 * (i % 4))) % 3;
    bool ours_ok = false;
    bool theirs_ok = false;
    if (kind == 0) {
      std::int32_t a = 0;
      std::int32_t b = 0;
      ours_ok = td::scan_int(s, a) == td::ScanStatus::ok;
      theirs_ok = static_cast<bool>(in >> b);
      if (ours_ok && theirs_ok && a != b) std::abort();
    } else if (kind == 1) {
      double a = 0;
      double b = 0;
      ours_ok = td::scan_double(s, a) == td::ScanStatus::ok;
      theirs_ok = static_cast<bool>(in >> b);
      if (ours_ok && theirs_ok && std::bit_cast<std::uint64_t>(a) != std::bit_cast<std::uint64_t>(b))
        std::abort();
    } else {
      std::string a;
      std::string b;
      ours_ok = td::scan_word(s, a) == td::ScanStatus::ok;
      theirs_ok = static_cast<bool>(in >> b);
      if (ours_ok && theirs_ok && a != b) std::abort();
    }
    if (ours_ok != theirs_ok) std::abort();
    if (!ours_ok) break;
  }
  return 0;
}
