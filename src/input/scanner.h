// A streaming tokenizer over a fixed buffer with exactly the semantics of
// formatted extraction (`>>`) from a std::istream in the classic locale, for
// the three kinds of token the program reads: int, double and a word
// (std::string). Line breaks are white space like any other.
//
//   text "  -12.5e1x"  scan_double -> ok, -125.0, leaves "x"
//   text "12.5"        scan_int    -> ok, 12, leaves ".5"
//   text "+-4"         scan_int    -> not_number
//   text "1e+"         scan_double -> not_number (incomplete exponent)
//   text "0x1p3"       scan_double -> ok, 0.0, leaves "x1p3"
//   text "inf"         scan_double -> not_number
//   text "1e400"       scan_double -> not_number (overflow)
//   text "1e-400"      scan_double -> ok, 0.0 (underflow is accepted, as by >>)
//   text "2147483648"  scan_int    -> not_number (overflow)
//   text "   "         any         -> end
//
// The source is read in chunks of at most `read_chunk` bytes into one buffer
// of kScanBufferBytes; memory use does not depend on the size of the source.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace td {

inline constexpr std::size_t kScanBufferBytes = std::size_t{1} << 20;
// Tokens shorter than this are parsed in place in the buffer; longer ones
// (which are legal: "000...0001") take a slower path that streams them.
inline constexpr std::size_t kScanLookahead = 4096;

enum class ScanStatus : int {
  ok,         // a value was extracted
  end,        // nothing but white space was left: there is no token
  not_number, // a token stands here but is not a number of the asked kind,
              // or it is out of range; what it consumed is unspecified
  io_error,   // reading the source failed; Scanner::error holds errno
};

struct Scanner {
  // Source: a file descriptor, or a block of memory (tests, the config reader).
  int fd = -1;
  bool owns_fd = false;
  const char* mem = nullptr;
  std::size_t mem_size = 0;
  std::size_t mem_pos = 0;
  std::size_t read_chunk = kScanBufferBytes; // most bytes taken per refill
  std::size_t lookahead = kScanLookahead;

  char* buf = nullptr; // kScanBufferBytes + kScanPadding
  std::size_t pos = 0; // next unread byte in buf
  std::size_t end = 0; // one past the last valid byte in buf
  bool eof = false;    // the source has nothing more
  int error = 0;       // errno of a failed open or read

  // Where the next tokens start, so that finding one does not wait for the
  // previous token to be parsed: bit i set = a token starts at buf[block + i]
  // (a byte that is not white space, after white space or at pos). Only
  // starts at or after pos and with the lookahead available are marked;
  // 0 = to be worked out again from pos.
  std::uint64_t starts = 0;
  std::size_t block = 0; // a multiple of 64

  // After not_number: the start of the offending word (up to white space),
  // at most kBadTokenMax bytes, for messages.
  static constexpr std::size_t kBadTokenMax = 40;
  char bad[kBadTokenMax + 1] = {};
  std::size_t bad_len = 0;
};

// Opens `path` for reading. false: s.error holds errno (the buffer is not made).
bool scanner_open_file(Scanner& s, const char* path);
// Scans an already open descriptor; the scanner does not close it.
void scanner_open_fd(Scanner& s, int fd);
// Scans `text` (not copied: it must outlive the scanner), handing it out in
// pieces of at most read_chunk bytes so that tests can cut tokens anywhere.
void scanner_open_memory(Scanner& s, std::string_view text,
                         std::size_t read_chunk = kScanBufferBytes,
                         std::size_t lookahead = kScanLookahead);
void scanner_close(Scanner& s);

// Defined inline below.
ScanStatus scan_int(Scanner& s, std::int32_t& out);
ScanStatus scan_double(Scanner& s, double& out);
ScanStatus scan_word(Scanner& s, std::string& out);

// The next byte after the last extraction, without skipping white space;
// -1 at the end of the source (or after a read error).
int scanner_peek(Scanner& s);

// ---------------------------------------------------------------------------
// Inline fast paths. The buffer always holds a NUL after `end` (NUL cannot
// continue a number) and kScanPadding readable bytes beyond it, so the common
// shapes "[-]ddd[.ddd]" followed by white space are parsed with 8-byte loads
// and no bounds checks, at the next bit of Scanner::starts. Every other shape,
// the last `lookahead` bytes of the buffer and all refills go to the
// out-of-line functions in scanner.cpp.
// ---------------------------------------------------------------------------

inline constexpr std::size_t kScanPadding = 64;

namespace scan_detail {

inline bool is_space(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u == ' ' || static_cast<unsigned char>(u - 9) <= 4; // \t \n \v \f \r
}

inline std::uint64_t load8(const char* p) {
  std::uint64_t w;
  std::memcpy(&w, p, sizeof w);
  if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap64(w);
  return w; // p[0] in the low byte
}

// How many of the 8 bytes of `w`, from the low end, are decimal digits before
// the first byte that is not (8 if all are).
inline unsigned digit_run(std::uint64_t w) {
  const std::uint64_t x = w ^ 0x3030303030303030u; // digits become 0..9
  // A byte is flagged if it is >= 10; a carry out of a flagged byte can only
  // disturb bytes above it, so the lowest flag is exact.
  const std::uint64_t flags = ((x + 0x7676767676767676u) | x) & 0x8080808080808080u;
  return flags ? static_cast<unsigned>(std::countr_zero(flags)) >> 3 : 8u;
}

// The value of the first n (0..8) bytes of `w`, all decimal digits.
inline std::uint64_t digits_value(std::uint64_t w, unsigned n) {
  const unsigned half = 4 * (8 - n); // shifting twice allows a shift of 64
  std::uint64_t x = ((w - 0x3030303030303030u) << half) << half;
  x = x * 10 + (x >> 8);
  x = (((x & 0x000000FF000000FFu) * (100 + (1000000ull << 32))) +
       (((x >> 16) & 0x000000FF000000FFu) * (1 + (10000ull << 32)))) >> 32;
  return x;
}

inline constexpr std::uint64_t kPow10Int[8] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};
inline constexpr double kPow10[8] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7};

// Marks the token starts from s.pos on (s.starts == 0 on entry). false: no
// token starts before the last `lookahead` bytes of the buffer.
bool find_starts(Scanner& s);

// Everything the fast paths decline, from s.pos (white space not yet
// skipped); they leave s.starts == 0.
ScanStatus scan_int_general(Scanner& s, std::int32_t& out);
ScanStatus scan_double_general(Scanner& s, double& out);

} // namespace scan_detail

inline ScanStatus scan_int(Scanner& s, std::int32_t& out) {
  if (s.starts == 0 && !scan_detail::find_starts(s)) return scan_detail::scan_int_general(s, out);
  const std::uint64_t starts = s.starts;
  const char* const p = s.buf + s.block + std::countr_zero(starts);
  const char c = *p;
  const char* const q = p + ((c == '-') | (c == '+'));
  const std::uint64_t w = scan_detail::load8(q);
  const unsigned n = scan_detail::digit_run(w);
  // Up to 7 digits cannot overflow; white space must end the token.
  if (n - 1 < 7 && scan_detail::is_space(q[n])) [[likely]] {
    const auto v = static_cast<std::int32_t>(scan_detail::digits_value(w, n));
    out = c == '-' ? -v : v;
    s.pos = static_cast<std::size_t>(q + n - s.buf);
    s.starts = starts & (starts - 1);
    return ScanStatus::ok;
  }
  s.pos = static_cast<std::size_t>(p - s.buf);
  return scan_detail::scan_int_general(s, out);
}

inline ScanStatus scan_double(Scanner& s, double& out) {
  if (s.starts == 0 && !scan_detail::find_starts(s)) return scan_detail::scan_double_general(s, out);
  const std::uint64_t starts = s.starts;
  const char* const p = s.buf + s.block + std::countr_zero(starts);
  const char c = *p;
  const char* const q = p + ((c == '-') | (c == '+'));
  const std::uint64_t w1 = scan_detail::load8(q);
  const unsigned n1 = scan_detail::digit_run(w1);
  const char* r = q + n1;
  const unsigned dot = *r == '.';
  const std::uint64_t w2 = scan_detail::load8(r + 1);
  const unsigned n2 = scan_detail::digit_run(w2) & (0u - dot);
  r += dot + n2;
  // Taken here: at most 7 digits on each side of the point, at least one
  // digit, and white space after. The value is m / 10^n2 with m < 2^53:
  // exact operands, one correctly rounded division.
  if (n1 < 8 && n2 < 8 && n1 + n2 != 0 && scan_detail::is_space(*r)) [[likely]] {
    const std::uint64_t m = scan_detail::digits_value(w1, n1) * scan_detail::kPow10Int[n2] +
                            scan_detail::digits_value(w2, n2);
    const double v = static_cast<double>(m) / scan_detail::kPow10[n2];
    out = std::bit_cast<double>(std::bit_cast<std::uint64_t>(v) |
                                (static_cast<std::uint64_t>(c == '-') << 63));
    s.pos = static_cast<std::size_t>(r - s.buf);
    s.starts = starts & (starts - 1);
    return ScanStatus::ok;
  }
  s.pos = static_cast<std::size_t>(p - s.buf);
  return scan_detail::scan_double_general(s, out);
}

} // namespace td
