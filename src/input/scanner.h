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
#include <string>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace td {

inline constexpr std::size_t kScanBufferBytes = std::size_t{1} << 20;
// Tokens shorter than this are parsed in place in the buffer; longer ones
// (which are legal: "000...0001") take a slower path that streams them.
inline constexpr std::size_t kScanLookahead = 4096;

enum class ScanStatus : int {
  ok,         // a value was extracted
  end,        // nothing but white space was left: there is no token
  not_number, // a token stands here but is not a number of the asked kind,
              // or it is out of range; how far it read is left open
  io_error,   // reading the source failed; Scanner::error holds errno
};

struct ReadAhead; // a second thread reading the source ahead of the scanner

struct Scanner {
  // Source: a file descriptor, or a block of memory (tests, the config reader).
  int fd = -1;
  bool owns_fd = false;
  const char* mem = nullptr;
  std::size_t mem_size = 0;
  std::size_t mem_pos = 0;
  std::size_t read_chunk = kScanBufferBytes; // most bytes taken per refill
  std::size_t lookahead = kScanLookahead;

  char* buf = nullptr; // kScanBufferBytes + kScanPadding, or a read-ahead chunk
  ReadAhead* ahead = nullptr;
  int ahead_slot = -1;              // the read-ahead chunk in buf, and
  const char* ahead_data = nullptr; // where its data starts
  std::size_t pos = 0;              // next unread byte in buf
  std::size_t end = 0;              // one past the last valid byte in buf
  bool eof = false;                 // the source has nothing more
  int error = 0;                    // errno of a failed open or read

  // After not_number: the start of the offending word (up to white space),
  // at most kBadTokenMax bytes, for messages.
  static constexpr std::size_t kBadTokenMax = 40;
  char bad[kBadTokenMax + 1] = {};
  std::size_t bad_len = 0;
};

// Each open ends the scanner's previous source (keeping its buffer, so one
// scanner can be reused without allocating again); scanner_close frees it.
//
// Opens `path` for reading. false: s.error holds errno (the buffer is not made).
bool scanner_open_file(Scanner& s, const char* path);
// Scans an already open descriptor; the scanner does not close it.
void scanner_open_fd(Scanner& s, int fd);
// Scans `text` (not copied: it must outlive the scanner), handing it out in
// pieces of at most read_chunk bytes so that tests can cut tokens anywhere.
void scanner_open_memory(Scanner& s, std::string_view text, std::size_t read_chunk = kScanBufferBytes,
                         std::size_t lookahead = kScanLookahead);
void scanner_close(Scanner& s);

// Lets a second thread read the descriptor ahead, a chunk at a time, while
// the scanner parses the chunk before it; what is read is unchanged. Only for
// sources whose reads do not wait for a writer (regular files): closing waits
// for the thread's read to end. Call it right after scanner_open_fd.
// false: the thread or its buffers could not be had; the scanner reads as
// before.
//
// `work`, if given, is done by the thread on each chunk it has read, before
// the scanner reads it: work.fn(work.ctx, slot, data, len) with the chunk's
// len bytes at data, followed by kScanPadding NULs. The chunk stays as it is
// while the scanner reads it, and so does whatever fn keeps for `slot` (0 to
// kAheadSlots - 1) while scanner_ahead_slot names that slot.
inline constexpr int kAheadSlots = 2;
struct AheadWork {
  void (*fn)(void* ctx, int slot, const char* data, std::size_t len) = nullptr;
  void* ctx = nullptr;
};
bool scanner_read_ahead(Scanner& s, AheadWork work = {});
// The slot of the chunk the scanner reads now, with `data` the start of that
// chunk (the unread bytes before it, if any, came from the one before); -1
// if not reading ahead or before the first chunk.
inline int scanner_ahead_slot(const Scanner& s, const char*& data) {
  data = s.ahead_data;
  return s.ahead_slot;
}

// scan_int, scan_double and scanner_peek are defined inline below.
ScanStatus scan_int(Scanner& s, std::int32_t& out);
ScanStatus scan_double(Scanner& s, double& out);
ScanStatus scan_word(Scanner& s, std::string& out);

// The next byte after the last extraction, without skipping white space;
// -1 at the end of the source (or after a read error).
int scanner_peek(Scanner& s);

// The n bytes at p as they may stand in a message: printable ASCII, every
// other byte as '?'.   "\x01ab\xff" -> "?ab?"
std::string printable_text(const char* p, std::size_t n);

// Direct access for readers of fixed layouts: kScanWindow bytes can always be
// read from scanner_data(s), the buffered bytes from the read position
// followed by NULs (none of them if nothing is buffered). scanner_skip(s, n)
// consumes n of the buffered bytes.
inline constexpr std::size_t kScanWindow = 128;
inline const char* scanner_data(const Scanner& s) { return s.buf + s.pos; }
inline void scanner_skip(Scanner& s, std::size_t n) { s.pos += n; }

// The classes of the 64 bytes at p, bit i standing for p[i].
struct ByteClasses {
  std::uint64_t space; // ' ' and \t \n \v \f \r
  std::uint64_t digit; // '0'..'9'
  std::uint64_t point; // '.'
  std::uint64_t sign;  // '+' and '-'
};
ByteClasses classify_window(const char* p); // inline below

// ---------------------------------------------------------------------------
// Inline fast paths. The buffer always holds a NUL at `end`, which is not
// white space and cannot continue a number, so the common shapes
// "[-]ddd[.ddd]" followed by white space are parsed in place without bounds
// checks. Every other shape, tokens within the last `lookahead` bytes of the
// buffer (which may need a refill) and reading errors go to the out-of-line
// functions in scanner.cpp, which implement the whole of the rules.
// ---------------------------------------------------------------------------

// Bytes allocated after the buffer and kept NUL, so that a window of
// kScanWindow bytes can be read from any position up to `end`.
inline constexpr std::size_t kScanPadding = 128;
static_assert(kScanPadding >= kScanWindow);

#if defined(__GNUC__)
#define TD_SCAN_INLINE [[gnu::always_inline]] inline
#else
#define TD_SCAN_INLINE inline
#endif

namespace scan_detail {

inline constexpr struct SpaceTable {
  bool is[256] = {};
  constexpr SpaceTable() {
    for (const char c : {' ', '\t', '\n', '\v', '\f', '\r'}) is[static_cast<unsigned char>(c)] = true;
  }
} kSpace{};

inline bool is_space(char c) { return kSpace.is[static_cast<unsigned char>(c)]; }
inline bool is_digit(char c) { return static_cast<unsigned char>(c - '0') < 10; }
inline unsigned digit(char c) { return static_cast<unsigned char>(c - '0'); }

// 10^0 .. 10^15, all exact.
inline constexpr double kPow10[16] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                      1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// Everything the fast paths decline, from s.pos.
ScanStatus scan_int_general(Scanner& s, std::int32_t& out);
ScanStatus scan_double_general(Scanner& s, double& out);
int peek_refill(Scanner& s);

// Skips white space; nullptr if fewer than `lookahead` bytes are buffered
// from the next byte that is not white space (the source may have more).
TD_SCAN_INLINE const char* token_start(Scanner& s) {
  const char* p = s.buf + s.pos;
  while (is_space(*p)) ++p;
  s.pos = static_cast<std::size_t>(p - s.buf);
  return s.end - s.pos >= s.lookahead ? p : nullptr;
}

// The common shapes, read from the token at p without bounds checks: the
// NUL at the end of the buffer stops every loop and is not white space, so a
// token that may continue beyond the buffer is declined. They return the
// byte after the token, or nullptr (declined, `out` unspecified).
//   "[+-]d{1,9}" + white space                -> int
//   "[+-]d*[.d*]" with 1..15 digits + white space -> double
TD_SCAN_INLINE const char* int_at(const char* p, std::int32_t& out) {
  const char c = *p;
  const char* const q = p + ((c == '-') | (c == '+'));
  const char* r = q;
  std::uint64_t m = 0;
  while (is_digit(*r)) m = m * 10 + digit(*r++);
  // 1..9 digits cannot overflow; white space must end the token.
  if (static_cast<std::size_t>(r - q) - 1 >= 9 || !is_space(*r)) [[unlikely]]
    return nullptr;
  const auto v = static_cast<std::int32_t>(m);
  out = c == '-' ? -v : v;
  return r;
}

TD_SCAN_INLINE const char* double_at(const char* p, double& out) {
  const char c = *p;
  const char* const q = p + ((c == '-') | (c == '+'));
  const char* r = q;
  std::uint64_t m = 0;
  while (is_digit(*r)) m = m * 10 + digit(*r++);
  std::size_t point = 0, frac = 0;
  if (*r == '.') {
    const char* const f = ++r;
    while (is_digit(*r)) m = m * 10 + digit(*r++);
    point = 1;
    frac = static_cast<std::size_t>(r - f);
  }
  // The value is m / 10^frac with m < 10^15 < 2^53: both operands are exact,
  // so the one division rounds correctly.
  if (static_cast<std::size_t>(r - q) - point - 1 >= 15 || !is_space(*r)) [[unlikely]]
    return nullptr;
  const double v = static_cast<double>(m) / kPow10[frac];
  out = std::bit_cast<double>(std::bit_cast<std::uint64_t>(v) | (static_cast<std::uint64_t>(c == '-') << 63));
  return r;
}

} // namespace scan_detail

TD_SCAN_INLINE ScanStatus scan_int(Scanner& s, std::int32_t& out) {
  const char* const p = scan_detail::token_start(s);
  if (p == nullptr) [[unlikely]]
    return scan_detail::scan_int_general(s, out);
  const char* const r = scan_detail::int_at(p, out);
  if (r == nullptr) [[unlikely]]
    return scan_detail::scan_int_general(s, out);
  s.pos = static_cast<std::size_t>(r - s.buf);
  return ScanStatus::ok;
}

TD_SCAN_INLINE ScanStatus scan_double(Scanner& s, double& out) {
  const char* const p = scan_detail::token_start(s);
  if (p == nullptr) [[unlikely]]
    return scan_detail::scan_double_general(s, out);
  const char* const r = scan_detail::double_at(p, out);
  if (r == nullptr) [[unlikely]]
    return scan_detail::scan_double_general(s, out);
  s.pos = static_cast<std::size_t>(r - s.buf);
  return ScanStatus::ok;
}

// A whole record at once: NI integers, then NR doubles, all in the common
// shapes above and all within the buffer. true: all were read, as the same
// number of scan_int and scan_double calls would read them. false: nothing
// was consumed (the outputs are unspecified); read the fields one by one.
template <int NI, int NR>
TD_SCAN_INLINE bool scan_fields(Scanner& s, std::int32_t (&ints)[NI], double (&reals)[NR]) {
  const char* p = s.buf + s.pos;
  for (int i = 0; i < NI; ++i) {
    while (scan_detail::is_space(*p)) ++p;
    p = scan_detail::int_at(p, ints[i]);
    if (p == nullptr) [[unlikely]]
      return false;
  }
  for (int i = 0; i < NR; ++i) {
    while (scan_detail::is_space(*p)) ++p;
    p = scan_detail::double_at(p, reals[i]);
    if (p == nullptr) [[unlikely]]
      return false;
  }
  s.pos = static_cast<std::size_t>(p - s.buf);
  return true;
}

TD_SCAN_INLINE int scanner_peek(Scanner& s) {
  if (s.pos < s.end) [[likely]]
    return static_cast<unsigned char>(s.buf[s.pos]);
  return scan_detail::peek_refill(s);
}

TD_SCAN_INLINE ByteClasses classify_window(const char* p) {
  ByteClasses c{};
#if defined(__SSE2__)
#pragma GCC unroll 4
  for (int k = 0; k < 4; ++k) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
    // Adding 0x80 - lo moves lo..lo+n-1 to -128..-128+n-1 as signed bytes, and
    // nothing else lands there: one signed compare tests a range.
    const auto range = [&x](char lo, int n) {
      return _mm_cmplt_epi8(_mm_add_epi8(x, _mm_set1_epi8(static_cast<char>(0x80 - lo))),
                            _mm_set1_epi8(static_cast<char>(-128 + n)));
    };
    const __m128i space = _mm_or_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8(' ')), range('\t', 5));
    const __m128i sign =
        _mm_or_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8('+')), _mm_cmpeq_epi8(x, _mm_set1_epi8('-')));
    const auto bits = [k](__m128i m) {
      return std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(m))} << (16 * k);
    };
    c.space |= bits(space);
    c.digit |= bits(range('0', 10));
    c.point |= bits(_mm_cmpeq_epi8(x, _mm_set1_epi8('.')));
    c.sign |= bits(sign);
  }
#else
  for (unsigned i = 0; i < 64; ++i) {
    const std::uint64_t bit = std::uint64_t{1} << i;
    if (scan_detail::is_space(p[i])) c.space |= bit;
    if (scan_detail::is_digit(p[i])) c.digit |= bit;
    if (p[i] == '.') c.point |= bit;
    if (p[i] == '+' || p[i] == '-') c.sign |= bit;
  }
#endif
  return c;
}

#undef TD_SCAN_INLINE

} // namespace td
