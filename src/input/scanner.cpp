// The scanner's buffer management and every path that the inline fast paths
// in scanner.h decline: tokens near the end of the buffer, exponents, long
// digit strings, malformed tokens and tokens longer than the lookahead, which
// are streamed byte by byte across refills in bounded memory.
//
// Accumulation rules, as formatted extraction applies them in the classic
// locale:
//   int:    [+-] digits+                     stops at the first non-digit
//   double: [+-] { digit | one '.' }         the mantissa
//           then, only after a mantissa digit, one 'e'/'E' [+-] digits
//           stops at the first byte that cannot continue; the accumulated
//           text must be a complete number ("1e", "1e+", ".", "-" are not).
//   A double that overflows is a failure; one that underflows is accepted
//   with its correctly rounded value (possibly a signed zero).
#include "input/scanner.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <new>
#include <pthread.h>
#include <signal.h>
#include <system_error>
#include <unistd.h>

namespace td {
namespace {

using scan_detail::is_space;

bool is_digit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

// Used as the buffer when allocation failed: never written to, since the
// scanner is then in the error state and never refills.
char g_no_buffer[kScanPadding] = {};

void end_read_ahead(Scanner& s);

// Ends the current source, keeping the buffer for the next one.
void reset(Scanner& s) {
  end_read_ahead(s);
  if (s.owns_fd && s.fd >= 0) ::close(s.fd);
  char* const buf = s.buf == g_no_buffer ? nullptr : s.buf;
  s = Scanner{};
  s.buf = buf;
}

void start(Scanner& s) {
  if (s.buf == nullptr) s.buf = static_cast<char*>(std::malloc(kScanBufferBytes + kScanPadding));
  s.pos = 0;
  s.end = 0;
  s.eof = false;
  s.error = 0;
  s.bad_len = 0;
  s.bad[0] = '\0';
  if (s.buf == nullptr) {
    s.buf = g_no_buffer;
    s.eof = true;
    s.error = ENOMEM;
    return;
  }
  std::memset(s.buf, 0, kScanPadding);
}

bool fill_ahead(Scanner& s, std::size_t want);

// Moves the unread bytes to the front, then reads until at least `want`
// bytes are unread or the source is exhausted. false: a read failed; the
// scanner then holds no data and reports the error from now on.
bool fill(Scanner& s, std::size_t want) {
  if (s.error != 0) return false;
  if (s.ahead != nullptr) return fill_ahead(s, want);
  if (s.pos > 0) {
    std::memmove(s.buf, s.buf + s.pos, s.end - s.pos);
    s.end -= s.pos;
    s.pos = 0;
  }
  want = std::min(want, kScanBufferBytes);
  const std::size_t chunk = std::max<std::size_t>(s.read_chunk, 1);
  while (!s.eof && s.end < want) {
    const std::size_t room = std::min(kScanBufferBytes - s.end, chunk);
    if (s.fd < 0) {
      const std::size_t n = std::min(room, s.mem_size - s.mem_pos);
      std::memcpy(s.buf + s.end, s.mem + s.mem_pos, n);
      s.mem_pos += n;
      s.end += n;
      s.eof = s.mem_pos == s.mem_size;
    } else {
      const ssize_t n = ::read(s.fd, s.buf + s.end, room);
      if (n < 0) {
        if (errno == EINTR) continue;
        s.error = errno;
        s.eof = true;
        s.pos = 0;
        s.end = 0;
        s.buf[0] = '\0';
        return false;
      }
      if (n == 0) s.eof = true;
      s.end += static_cast<std::size_t>(n);
    }
  }
  // The NUL at `end` stops every parse; the rest keep windows defined.
  std::memset(s.buf + s.end, 0, kScanPadding);
  return true;
}

// ---------------------------------------------------------------------------
// Reading ahead. The kernel's copy of each chunk into memory costs about a
// fifth of the parsing; a second thread does it for the next chunk while the
// scanner parses this one. Two slots take turns: the thread fills a free slot
// and marks it full, the scanner takes full slots in order and frees the one
// it leaves. Each slot keeps room before its data for the unread tail of the
// slot before (fewer than `lookahead` bytes, since the scanner refills only
// then), so that a token cut by the boundary is whole again with no more
// than that tail copied.

constexpr std::size_t kAheadChunk = std::size_t{1} << 18; // 256 KiB a read
constexpr std::size_t kTailRoom = kScanLookahead;

} // namespace

struct ReadAhead {
  struct Slot {
    char* mem = nullptr; // kTailRoom + kAheadChunk + kScanPadding
    std::size_t len = 0; // bytes of data, from mem + kTailRoom
    bool full = false;   // filled by the thread and not yet freed by the scanner
    bool eof = false;    // the source ended within this slot
    int error = 0;       // errno of a failed read; the data is then dropped
  };
  int fd = -1;
  pthread_t thread{};
  pthread_mutex_t mu = PTHREAD_MUTEX_INITIALIZER;
  pthread_cond_t cv = PTHREAD_COND_INITIALIZER; // any change of `full` or `stop`
  Slot slot[kAheadSlots];
  bool stop = false;
  char* own_buf = nullptr; // the scanner's buffer, given back at the end
  AheadWork work;          // done by the thread on each chunk it has read
};

namespace {

void* read_ahead_main(void* arg) {
  ReadAhead& ra = *static_cast<ReadAhead*>(arg);
  for (int i = 0;; i = (i + 1) % kAheadSlots) {
    ReadAhead::Slot& sl = ra.slot[i];
    pthread_mutex_lock(&ra.mu);
    while (sl.full && !ra.stop) pthread_cond_wait(&ra.cv, &ra.mu);
    const bool stop = ra.stop;
    pthread_mutex_unlock(&ra.mu);
    if (stop) return nullptr;
    char* const data = sl.mem + kTailRoom;
    std::size_t len = 0;
    bool eof = false;
    int error = 0;
    while (len < kAheadChunk) {
      const ssize_t n = ::read(ra.fd, data + len, kAheadChunk - len);
      if (n < 0) {
        if (errno == EINTR) continue;
        error = errno;
        break;
      }
      if (n == 0) {
        eof = true;
        break;
      }
      len += static_cast<std::size_t>(n);
    }
    std::memset(data + len, 0, kScanPadding);
    if (error == 0 && ra.work.fn != nullptr) ra.work.fn(ra.work.ctx, i, data, len);
    pthread_mutex_lock(&ra.mu);
    sl.len = len;
    sl.eof = eof;
    sl.error = error;
    sl.full = true;
    pthread_cond_broadcast(&ra.cv);
    pthread_mutex_unlock(&ra.mu);
    if (eof || error != 0) return nullptr;
  }
}

void free_read_ahead(ReadAhead* ra) {
  for (ReadAhead::Slot& sl : ra->slot) std::free(sl.mem);
  ra->~ReadAhead();
  std::free(ra);
}

// Stops the thread (waiting for a read it is in) and gives the scanner its
// own buffer back; the source's data is then gone.
void end_read_ahead(Scanner& s) {
  ReadAhead* const ra = s.ahead;
  if (ra == nullptr) return;
  pthread_mutex_lock(&ra->mu);
  ra->stop = true;
  pthread_cond_broadcast(&ra->cv);
  pthread_mutex_unlock(&ra->mu);
  pthread_join(ra->thread, nullptr);
  s.buf = ra->own_buf;
  s.ahead = nullptr;
  s.ahead_slot = -1;
  s.ahead_data = nullptr;
  free_read_ahead(ra);
}

// As fill, from the slots: takes the next full slot with the unread tail
// put before its data, until `want` bytes are unread or the source ended.
bool fill_ahead(Scanner& s, std::size_t want) {
  ReadAhead& ra = *s.ahead;
  while (!s.eof && s.end - s.pos < want) {
    const std::size_t tail = s.end - s.pos;
    const int current = s.ahead_slot; // -1 before the first chunk
    const int next = (current + 1) % kAheadSlots;
    ReadAhead::Slot& sl = ra.slot[next];
    pthread_mutex_lock(&ra.mu);
    while (!sl.full) pthread_cond_wait(&ra.cv, &ra.mu);
    pthread_mutex_unlock(&ra.mu);
    // A tail that does not fit cannot occur (see above); were it to, the
    // reading fails rather than lose bytes.
    if (sl.error != 0 || tail > kTailRoom) {
      s.error = sl.error != 0 ? sl.error : EOVERFLOW;
      s.eof = true;
      s.buf = ra.own_buf; // its first bytes are NUL
      s.ahead_slot = -1;
      s.pos = 0;
      s.end = 0;
      return false;
    }
    char* const data = sl.mem + kTailRoom;
    std::memcpy(data - tail, s.buf + s.pos, tail);
    if (current >= 0) {
      pthread_mutex_lock(&ra.mu);
      ra.slot[current].full = false;
      pthread_cond_broadcast(&ra.cv);
      pthread_mutex_unlock(&ra.mu);
    }
    s.ahead_slot = next;
    s.ahead_data = data;
    s.buf = sl.mem;
    s.pos = kTailRoom - tail;
    s.end = kTailRoom + sl.len;
    s.eof = sl.eof;
  }
  return true;
}

// Skips white space and establishes the lookahead: on ok, s.pos is at a
// token and either `lookahead` bytes are buffered from it or the source has
// nothing more.
ScanStatus prepare(Scanner& s) {
  for (;;) {
    if (s.error != 0) return ScanStatus::io_error;
    while (is_space(s.buf[s.pos])) ++s.pos; // the NUL after `end` stops this
    if (s.end - s.pos >= s.lookahead || s.eof) return s.pos < s.end ? ScanStatus::ok : ScanStatus::end;
    if (!fill(s, s.lookahead)) return ScanStatus::io_error;
  }
}

// Byte-by-byte access that refills as it goes; the bytes behind s.pos may be
// dropped by a refill.
struct Stream {
  Scanner& s;
  bool failed = false; // a read failed

  int peek() {
    if (s.pos == s.end) {
      if (s.eof || !fill(s, 1)) {
        failed = s.error != 0;
        return -1;
      }
      if (s.pos == s.end) return -1;
    }
    return static_cast<unsigned char>(s.buf[s.pos]);
  }
  // Consumes the byte just peeked and keeps the first bytes for messages.
  void take() {
    if (s.bad_len < Scanner::kBadTokenMax) s.bad[s.bad_len++] = s.buf[s.pos];
    ++s.pos;
  }
};

bool stream_digit(int c) { return c >= '0' && c <= '9'; }

// Completes s.bad with the rest of the offending word, from s.pos on.
ScanStatus reject(Scanner& s) {
  Stream in{s};
  while (s.bad_len < Scanner::kBadTokenMax) {
    const int c = in.peek();
    if (c < 0 || is_space(static_cast<char>(c))) break;
    in.take();
  }
  s.bad[s.bad_len] = '\0';
  return in.failed ? ScanStatus::io_error : ScanStatus::not_number;
}

// A failure found in place: the offending word starts at s.pos.
ScanStatus reject_at(Scanner& s, const char* token) {
  s.pos = static_cast<std::size_t>(token - s.buf);
  s.bad_len = 0;
  return reject(s);
}

double signed_zero(bool neg) { return neg ? -0.0 : 0.0; }

// ---------------------------------------------------------------------------
// int

bool fits_int(std::uint64_t m, bool neg) {
  return m <= std::uint64_t{std::numeric_limits<std::int32_t>::max()} + (neg ? 1u : 0u);
}

std::int32_t to_int(std::uint64_t m, bool neg) {
  return neg ? static_cast<std::int32_t>(-static_cast<std::int64_t>(m)) : static_cast<std::int32_t>(m);
}

// The token at s.pos, streamed across refills.
ScanStatus stream_int(Scanner& s, std::int32_t& out) {
  Stream in{s};
  s.bad_len = 0;
  int c = in.peek();
  bool neg = false;
  if (c == '+' || c == '-') {
    neg = c == '-';
    in.take();
    c = in.peek();
  }
  bool any = false;
  unsigned sig = 0; // significant digits, counted up to 11
  std::uint64_t m = 0;
  while (stream_digit(c)) {
    any = true;
    if (m != 0 || c != '0') {
      if (sig < 11) {
        m = m * 10 + static_cast<unsigned>(c - '0');
        ++sig;
      }
    }
    in.take();
    c = in.peek();
  }
  if (in.failed) return ScanStatus::io_error;
  if (!any || sig > 10 || !fits_int(m, neg)) return reject(s);
  out = to_int(m, neg);
  return ScanStatus::ok;
}

// ---------------------------------------------------------------------------
// double

// Significant digits kept when a mantissa is too long to convert in place.
// Any number closer to a rounding boundary than this many digits can tell is
// settled by the sticky digit: boundaries between doubles need at most 769
// significant digits.
constexpr std::size_t kKeptDigits = 800;
constexpr std::int64_t kExponentCap = 1000000000; // explicit exponents saturate here

// Converts 0.D1D2...Dn x 10^point (n >= 1, D1 != 0). Beyond the range of
// doubles the answer is known without converting.
ScanStatus convert_scaled(Scanner& s, bool neg, const char* digits, std::size_t n, bool sticky,
                          std::int64_t point, double& out) {
  if (point > 400) return reject(s);
  if (point < -400) {
    out = signed_zero(neg);
    return ScanStatus::ok;
  }
  char text[kKeptDigits + 32];
  char* t = text;
  if (neg) *t++ = '-';
  *t++ = '0';
  *t++ = '.';
  std::memcpy(t, digits, n);
  t += n;
  if (sticky) *t++ = '1';
  *t++ = 'e';
  t = std::to_chars(t, text + sizeof text, point).ptr;
  double v = 0;
  const auto r = std::from_chars(text, t, v);
  if (r.ec == std::errc::result_out_of_range) {
    if (point > 0) return reject(s);
    v = signed_zero(neg);
  } else if (r.ec != std::errc() || r.ptr != t) {
    return reject(s);
  }
  out = v;
  return ScanStatus::ok;
}

// The token at s.pos, streamed across refills in bounded memory.
ScanStatus stream_double(Scanner& s, double& out) {
  Stream in{s};
  s.bad_len = 0;
  int c = in.peek();
  bool neg = false;
  if (c == '+' || c == '-') {
    neg = c == '-';
    in.take();
    c = in.peek();
  }
  char digits[kKeptDigits];
  std::size_t n = 0;      // significant digits kept
  bool sticky = false;    // a nonzero digit was dropped
  bool mantissa = false;  // a mantissa digit was seen
  bool dec = false;       // the point was seen
  std::int64_t point = 0; // value = 0.digits x 10^point
  for (;; in.take(), c = in.peek()) {
    if (stream_digit(c)) {
      mantissa = true;
      if (n == 0 && c == '0') {
        if (dec) --point;
      } else {
        if (n < kKeptDigits)
          digits[n++] = static_cast<char>(c);
        else if (c != '0')
          sticky = true;
        if (!dec) ++point;
      }
    } else if (c == '.' && !dec) {
      dec = true;
    } else {
      break;
    }
  }
  std::int64_t exp = 0;
  if ((c == 'e' || c == 'E') && mantissa) {
    in.take();
    c = in.peek();
    bool eneg = false;
    if (c == '+' || c == '-') {
      eneg = c == '-';
      in.take();
      c = in.peek();
    }
    if (!stream_digit(c)) return in.failed ? ScanStatus::io_error : reject(s);
    while (stream_digit(c)) {
      if (exp < kExponentCap) exp = exp * 10 + (c - '0');
      in.take();
      c = in.peek();
    }
    if (eneg) exp = -exp;
  }
  if (in.failed) return ScanStatus::io_error;
  if (!mantissa) return reject(s);
  if (n == 0) {
    out = signed_zero(neg);
    return ScanStatus::ok;
  }
  return convert_scaled(s, neg, digits, n, sticky, point + exp, out);
}

// The token at s.pos, with the lookahead established: either it ends inside
// the buffer, or it is at least `lookahead` long and is streamed.
ScanStatus double_in_place(Scanner& s, double& out) {
  const char* const token = s.buf + s.pos;
  const char* const e = s.buf + s.end;
  const char* p = token;
  bool neg = false;
  if (*p == '+' || *p == '-') {
    neg = *p == '-';
    ++p;
  }
  const char* const mant = p;
  std::uint64_t m = 0; // exact while nd <= 19
  while (is_digit(*p)) m = m * 10 + static_cast<unsigned>(*p++ - '0');
  const auto int_digits = static_cast<std::int64_t>(p - mant);
  std::int64_t frac_digits = 0;
  if (*p == '.') {
    const char* f = ++p;
    while (is_digit(*p)) m = m * 10 + static_cast<unsigned>(*p++ - '0');
    frac_digits = p - f;
  }
  const std::int64_t nd = int_digits + frac_digits;
  const char* const mant_end = p;
  bool exp_ok = true;
  std::int64_t exp = 0;
  if ((*p == 'e' || *p == 'E') && nd != 0) {
    ++p;
    bool eneg = false;
    if (*p == '+' || *p == '-') eneg = *p++ == '-';
    exp_ok = is_digit(*p);
    while (is_digit(*p)) {
      if (exp < kExponentCap) exp = exp * 10 + (*p - '0');
      ++p;
    }
    if (eneg) exp = -exp;
  }
  if (p == e && !s.eof) return stream_double(s, out);
  if (nd == 0 || !exp_ok) return reject_at(s, token);
  s.pos = static_cast<std::size_t>(p - s.buf);

  const std::int64_t e10 = exp - frac_digits;
  if (nd <= 19 && m <= (std::uint64_t{1} << 53) && e10 >= -22 && e10 <= 22) {
    // Both operands are exact, so one IEEE operation rounds correctly.
    static constexpr double kPow10[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                          1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                          1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const auto dm = static_cast<double>(m);
    const double v = e10 >= 0 ? dm * kPow10[e10] : dm / kPow10[-e10];
    out = neg ? -v : v;
    return ScanStatus::ok;
  }
  if (nd <= 19 && m == 0) {
    out = signed_zero(neg);
    return ScanStatus::ok;
  }
  // from_chars takes the same grammar minus a leading '+'.
  const char* const text = token + (*token == '+' ? 1 : 0);
  double v = 0;
  const auto r = std::from_chars(text, p, v);
  if (r.ec == std::errc::result_out_of_range) {
    // Out of range is either overflow (a failure) or underflow to zero
    // (accepted); the decimal magnitude tells which. The value is
    // 0.Dk... x 10^(int_digits - k + exp) with Dk the first nonzero digit.
    std::int64_t k = 0;
    for (const char* q = mant; q != mant_end; ++q) {
      if (*q == '.') continue;
      if (*q != '0') break;
      ++k;
    }
    if (k == nd) { // all zeros
      out = signed_zero(neg);
      return ScanStatus::ok;
    }
    if (int_digits - k + exp > 0) return reject_at(s, token);
    v = signed_zero(neg);
  } else if (r.ec != std::errc() || r.ptr != p) {
    return reject_at(s, token);
  }
  out = v;
  return ScanStatus::ok;
}

ScanStatus int_in_place(Scanner& s, std::int32_t& out) {
  const char* const token = s.buf + s.pos;
  const char* const e = s.buf + s.end;
  const char* p = token;
  bool neg = false;
  if (*p == '+' || *p == '-') {
    neg = *p == '-';
    ++p;
  }
  const char* const digits = p;
  while (*p == '0') ++p;
  const char* const sig = p;
  while (is_digit(*p)) ++p;
  if (p == e && !s.eof) return stream_int(s, out);
  if (p == digits || p - sig > 10) return reject_at(s, token);
  std::uint64_t m = 0;
  for (const char* q = sig; q != p; ++q) m = m * 10 + static_cast<unsigned>(*q - '0');
  if (!fits_int(m, neg)) return reject_at(s, token);
  out = to_int(m, neg);
  s.pos = static_cast<std::size_t>(p - s.buf);
  return ScanStatus::ok;
}

} // namespace

// ---------------------------------------------------------------------------

namespace scan_detail {

ScanStatus scan_int_general(Scanner& s, std::int32_t& out) {
  const ScanStatus st = prepare(s);
  return st == ScanStatus::ok ? int_in_place(s, out) : st;
}

ScanStatus scan_double_general(Scanner& s, double& out) {
  const ScanStatus st = prepare(s);
  return st == ScanStatus::ok ? double_in_place(s, out) : st;
}

int peek_refill(Scanner& s) {
  if (s.error != 0 || s.eof || !fill(s, 1) || s.pos == s.end) return -1;
  return static_cast<unsigned char>(s.buf[s.pos]);
}

} // namespace scan_detail

bool scanner_open_file(Scanner& s, const char* path) {
  reset(s);
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    const int e = errno;
    scanner_close(s);
    s.error = e;
    return false;
  }
#ifdef POSIX_FADV_SEQUENTIAL
  (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
  s.fd = fd;
  s.owns_fd = true;
  start(s);
  return true;
}

void scanner_open_fd(Scanner& s, int fd) {
  reset(s);
  s.fd = fd;
  s.owns_fd = false;
  start(s);
}

bool scanner_read_ahead(Scanner& s, AheadWork work) {
  if (s.fd < 0 || s.ahead != nullptr || s.error != 0 || s.end != 0 || s.lookahead > kTailRoom) return false;
  void* const mem = std::malloc(sizeof(ReadAhead));
  if (mem == nullptr) return false;
  auto* const ra = new (mem) ReadAhead{};
  for (ReadAhead::Slot& sl : ra->slot) {
    sl.mem = static_cast<char*>(std::malloc(kTailRoom + kAheadChunk + kScanPadding));
    if (sl.mem == nullptr) {
      free_read_ahead(ra);
      return false;
    }
  }
  ra->fd = s.fd;
  ra->own_buf = s.buf;
  ra->work = work;
  // The thread takes no signals: they stay with the program's own thread.
  sigset_t all, old;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &old);
  const int started = pthread_create(&ra->thread, nullptr, read_ahead_main, ra);
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  if (started != 0) {
    free_read_ahead(ra);
    return false;
  }
  s.ahead = ra;
  return true;
}

void scanner_open_memory(Scanner& s, std::string_view text, std::size_t read_chunk, std::size_t lookahead) {
  reset(s);
  s.mem = text.data();
  s.mem_size = text.size();
  s.mem_pos = 0;
  s.read_chunk = std::max<std::size_t>(read_chunk, 1);
  s.lookahead = std::clamp<std::size_t>(lookahead, 1, kScanBufferBytes);
  start(s);
  if (s.error == 0) s.eof = text.empty();
}

void scanner_close(Scanner& s) {
  end_read_ahead(s);
  if (s.owns_fd && s.fd >= 0) ::close(s.fd);
  if (s.buf != g_no_buffer) std::free(s.buf);
  s = Scanner{};
}

std::string printable_text(const char* p, std::size_t n) {
  std::string out(p, n);
  for (char& ch : out) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c >= 0x7f) ch = '?';
  }
  return out;
}

ScanStatus scan_word(Scanner& s, std::string& out) {
  const ScanStatus st = prepare(s);
  if (st != ScanStatus::ok) return st;
  out.clear();
  for (;;) {
    std::size_t i = s.pos;
    while (i < s.end && !is_space(s.buf[i])) ++i;
    out.append(s.buf + s.pos, i - s.pos);
    s.pos = i;
    if (i < s.end || s.eof) return ScanStatus::ok;
    if (!fill(s, 1)) return ScanStatus::io_error;
  }
}

} // namespace td
