// libFuzzer target: one token through the number grammar and conversion,
// both the short in-place path and the general one, against the
// stream-extraction model. Where the short path takes a token, it must give
// the model's value and stop where the model stops.
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "support/stream_model.h"
#include "text/decimal.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 256) return 0;
  std::string text(reinterpret_cast<const char*>(data), size);
  // The model reads from the token's first byte: no white space before it.
  if (!text.empty() && (text[0] == ' ' || static_cast<unsigned char>(text[0] - '\t') < 5)) return 0;
  const std::vector<td::stream_model::Step> want =
      td::stream_model::extract(text, {td::stream_model::Kind::double_});
  const td::stream_model::Step& step = want.front();
  text.append(16, '\0'); // the reader's padding

  td::DecimalDigits d;
  td::InPlace at{text.data()};
  double general = 0;
  const bool ok = td::parse_decimal(at, d) && td::decimal_to_double(d, general);
  if (ok != step.ok) std::abort();
  if (ok && (std::bit_cast<std::uint64_t>(general) != std::bit_cast<std::uint64_t>(step.d) ||
             static_cast<std::size_t>(at.p - text.data()) != step.offset))
    std::abort();

  double fast = 0;
  const char* end = td::parse_short_decimal(text.data(), fast);
  if (end != nullptr &&
      (!step.ok || std::bit_cast<std::uint64_t>(fast) != std::bit_cast<std::uint64_t>(step.d) ||
       static_cast<std::size_t>(end - text.data()) != step.offset))
    std::abort();
  // Where the text has no exponent, the reading that rules them out agrees.
  if (text.find_first_of("eE") == std::string::npos) {
    double plain = 0;
    if (td::parse_short_decimal<false>(text.data(), plain) != end ||
        (end != nullptr && std::bit_cast<std::uint64_t>(plain) != std::bit_cast<std::uint64_t>(fast)))
      std::abort();
  }
  return 0;
}
