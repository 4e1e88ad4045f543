// libFuzzer target: the scanner against the stream-extraction model on the
// same bytes. The first two bytes choose the refill size, the lookahead and
// the order of token kinds; any difference in status, value bits or the
// bytes consumed is a crash.
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/stream_model.h"
#include "text/scanner.h"

using td::stream_model::Kind;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t chunk = 1 + data[0] % 17;
  const unsigned kinds = data[1];
  const std::string text(reinterpret_cast<const char*>(data) + 2, size - 2);
  std::vector<Kind> plan;
  for (int i = 0; i < 64; ++i) plan.push_back(static_cast<Kind>((kinds >> (2 * (i % 4))) % 3));
  const std::vector<td::stream_model::Step> want = td::stream_model::extract(text, plan);

  // One scanner for the whole run: each open keeps its buffer.
  static td::Scanner s;
  td::scanner_open_memory(s, text, chunk, 1 + data[0] % 9);
  for (const td::stream_model::Step& step : want) {
    bool ok = false;
    if (step.kind == Kind::int_) {
      std::int32_t v = 0;
      ok = td::scan_int(s, v) == td::ScanStatus::ok;
      if (ok && step.ok && v != step.i) std::abort();
    } else if (step.kind == Kind::double_) {
      double v = 0;
      ok = td::scan_double(s, v) == td::ScanStatus::ok;
      if (ok && step.ok && std::bit_cast<std::uint64_t>(v) != std::bit_cast<std::uint64_t>(step.d))
        std::abort();
    } else {
      std::string v;
      ok = td::scan_word(s, v) == td::ScanStatus::ok;
      if (ok && step.ok && v != step.word) std::abort();
    }
    if (ok != step.ok) std::abort();
    if (ok && s.src.mem_pos - (s.src.end - s.src.pos) != step.offset) std::abort();
  }
  return 0;
}
