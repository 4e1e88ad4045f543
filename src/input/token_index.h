// The structure stage of the data file reader: for a stretch of buffered
// text (a segment), where every token starts, and whether every token is a
// well-formed number followed by white space. It works on 64 bytes at a time
// with byte-class bit masks, so no token is looked at byte by byte.
//
//   "1981 1 1 1 1 0 -2.5 3.1e1 ..."  -> starts 0 5 7 9 11 13 15 20 ...
//   "... 2.5 3-4 ..."                 -> the index ends before the token of "3-4"
//
// A token is indexed only if it is complete in the segment and has the shape
// [+-] (digit+ [. digit*] | . digit+) [(e|E) [+-] digit{1,2}] and is shorter
// than 127 bytes (a token that fills a whole 64-byte block is left out, so
// every token of 127 bytes or more is): formatted extraction of a double then
// reads exactly that token, and its value is in range. The index ends before
// the first token that is not (a fault, numbers that abut, such as "3-4", or
// a value that might be out of range); the field-by-field reader reads that
// one exactly.
#pragma once

#include <cstddef>
#include <cstdint>

#include "input/records.h"

namespace td {

// Bytes indexed at once: enough to make the start of a segment cheap, small
// enough that the segment and its index stay close in the caches (4 to 32
// KiB measured alike).
inline constexpr std::size_t kSegmentBytes = 16384;

struct TokenIndex {
  // A token takes one byte and white space one more; the flattening writes
  // up to 16 entries past the last.
  static constexpr std::size_t kMaxTokens = kSegmentBytes / 2 + 1;
  static constexpr std::size_t kBlocks = kSegmentBytes / 64 + 1;

  const char* base = nullptr; // the segment's first byte
  std::uint32_t count = 0;    // tokens indexed
  std::uint32_t next = 0;     // the first token not yet read
  bool exponents = false;     // an 'e' or 'E' stands in the segment
  std::uint32_t start[kMaxTokens + 16];
  // Per 64 bytes from base: bit i set where byte 64k + i is '.', 'e' or 'E'
  // (the tokens that are not integers). Two zero words follow the last block.
  std::uint64_t not_integer[kBlocks + 2];
  // The token starts of each 64 bytes, as the indexing finds them.
  std::uint64_t starts[kBlocks];
};

// Indexes the `len` bytes at `base` (at most kSegmentBytes; kSourcePadding
// readable bytes follow them). `ends_data`: the data ends there, so the last
// token is complete; otherwise a token that reaches base + len is left out.
using IndexTokens = void (*)(const char* base, std::size_t len, bool ends_data, TokenIndex& ix);

// The widest build this processor runs, up to `widest`.
ReaderBuild reader_build(ReaderBuild widest);
// The indexing of that build (built for each); chosen once a file.
IndexTokens choose_index_tokens(ReaderBuild widest);

// Bits [a, b) of the mask words m, b - a <= 64, none set.
inline bool bits_clear(const std::uint64_t* m, std::uint32_t a, std::uint32_t b) {
  const std::uint32_t w = a >> 6, shift = a & 63;
  // The second word moves left by 64 - shift in two steps, so that a shift
  // of 0 is no undefined shift by 64.
  const std::uint64_t bits = (m[w] >> shift) | ((m[w + 1] << 1) << (63 - shift));
  const std::uint32_t n = b - a;
  const std::uint64_t mask = n >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1;
  return (bits & mask) == 0;
}

} // namespace td
