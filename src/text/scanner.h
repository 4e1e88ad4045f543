// Formatted extraction (`>>`) from a std::istream in the classic locale, for
// the three kinds of token the program reads: int, double and a word
// (std::string), over a byte source. Line breaks are white space like any
// other. The number grammar is the one of text/decimal.h.
//
//   text "  -12.5e1x"  scan_double -> ok, -125.0, leaves "x"
//   text "12.5"        scan_int    -> ok, 12, leaves ".5"
//   text "+-4"         scan_int    -> not_number, bad "+-4"
//   text "1e400"       scan_double -> not_number (overflow)
//   text "   "         any         -> end
//
// Tokens of any length are read in bounded memory: a token that does not
// fit the lookahead is streamed across refills.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "text/byte_source.h"

namespace td {

// Tokens shorter than this are read in place in the buffer.
inline constexpr std::size_t kScanLookahead = 4096;

enum class ScanStatus : int {
  ok,         // a value was extracted
  end,        // nothing but white space was left: there is no token
  not_number, // a token stands here but is not a number of the asked kind,
              // or it is out of range
  io_error,   // reading the source failed; src.error holds errno
};

struct Scanner {
  ByteSource src;
  std::size_t lookahead = kScanLookahead;
  // After not_number: the start of the offending word (up to white space),
  // at most kBadTokenMax bytes, for messages.
  static constexpr std::size_t kBadTokenMax = 40;
  char bad[kBadTokenMax + 1] = {};
  std::size_t bad_len = 0;
};

// As the source_open functions; each open keeps the buffer of the last.
bool scanner_open_file(Scanner& s, const char* path); // false: s.src.error holds errno
void scanner_open_fd(Scanner& s, int fd, bool owns);
// `read_chunk` and `lookahead` let tests cut tokens anywhere.
void scanner_open_memory(Scanner& s, std::string_view text, std::size_t read_chunk = kSourceBytes,
                         std::size_t lookahead = kScanLookahead);
void scanner_close(Scanner& s);

ScanStatus scan_int(Scanner& s, std::int32_t& out);
ScanStatus scan_double(Scanner& s, double& out);
ScanStatus scan_word(Scanner& s, std::string& out);

// The next byte after the last extraction, without skipping white space;
// -1 at the end of the source (or after a read error).
int scanner_peek(Scanner& s);

// White space as the classic locale has it: ' ' and \t \n \v \f \r.
inline bool is_space_byte(char c) { return c == ' ' || static_cast<unsigned char>(c - '\t') < 5; }

// The n bytes at p as they may stand in a message: printable ASCII, every
// other byte as '?'.   "\x01ab\xff" -> "?ab?"
std::string printable_text(const char* p, std::size_t n);

} // namespace td
