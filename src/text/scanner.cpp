#include "text/scanner.h"

#include <algorithm>

#include "text/decimal.h"

namespace td {
namespace {

// Skips white space and establishes the lookahead: on ok, src.pos is at a
// token and either `lookahead` bytes are buffered from it or the source has
// nothing more.
ScanStatus prepare(Scanner& s) {
  ByteSource& src = s.src;
  for (;;) {
    if (src.error != 0) return ScanStatus::io_error;
    while (src.pos < src.end && is_space_byte(src.buf[src.pos])) ++src.pos;
    if (src.end - src.pos >= s.lookahead || src.eof)
      return src.pos < src.end ? ScanStatus::ok : ScanStatus::end;
    if (!source_fill(src, s.lookahead)) return ScanStatus::io_error;
  }
}

// A byte cursor that refills as it goes, keeping the first bytes it takes
// for messages. The bytes behind it may be dropped by a refill.
struct Streamed {
  Scanner& s;
  int peek() {
    ByteSource& src = s.src;
    if (src.pos == src.end && (src.eof || !source_fill(src, 1) || src.pos == src.end)) return -1;
    return static_cast<unsigned char>(src.buf[src.pos]);
  }
  void take() {
    if (s.bad_len < Scanner::kBadTokenMax) s.bad[s.bad_len++] = s.src.buf[s.src.pos];
    source_consume(s.src, 1);
  }
};

// Fills s.bad with the offending word from `token` (a position in the
// buffer) on, or completes it from src.pos if it was streamed.
ScanStatus reject(Scanner& s, std::size_t token, bool streamed) {
  if (!streamed) {
    s.src.pos = token;
    s.bad_len = 0;
  }
  Streamed in{s};
  while (s.bad_len < Scanner::kBadTokenMax) {
    const int c = in.peek();
    if (c < 0 || is_space_byte(static_cast<char>(c))) break;
    in.take();
  }
  s.bad[s.bad_len] = '\0';
  return s.src.error != 0 ? ScanStatus::io_error : ScanStatus::not_number;
}

// Runs `parse` on the token at src.pos: in place when it ends inside the
// buffer, else streamed from its first byte again.
template <class Parse>
ScanStatus scan_number(Scanner& s, Parse parse) {
  const ScanStatus st = prepare(s);
  if (st != ScanStatus::ok) return st;
  ByteSource& src = s.src;
  const std::size_t token = src.pos;
  InPlace at{src.buf + token};
  const bool ok = parse(at);
  const auto stop = static_cast<std::size_t>(at.p - src.buf);
  if (stop < src.end || src.eof) {
    if (!ok) return reject(s, token, false);
    source_consume(src, stop - token);
    return ScanStatus::ok;
  }
  s.bad_len = 0;
  Streamed in{s};
  if (!parse(in)) return reject(s, token, true);
  return src.error != 0 ? ScanStatus::io_error : ScanStatus::ok;
}

} // namespace

bool scanner_open_file(Scanner& s, const char* path) {
  s.bad_len = 0;
  s.lookahead = kScanLookahead;
  return source_open_file(s.src, path);
}

void scanner_open_fd(Scanner& s, int fd, bool owns) {
  s.bad_len = 0;
  s.lookahead = kScanLookahead;
  source_open_fd(s.src, fd, owns);
}

void scanner_open_memory(Scanner& s, std::string_view text, std::size_t read_chunk, std::size_t lookahead) {
  s.bad_len = 0;
  s.lookahead = std::clamp<std::size_t>(lookahead, 1, kSourceBytes);
  source_open_memory(s.src, text, read_chunk);
}

void scanner_close(Scanner& s) { source_close(s.src); }

ScanStatus scan_int(Scanner& s, std::int32_t& out) {
  return scan_number(s, [&out](auto& in) { return parse_integer(in, out); });
}

ScanStatus scan_double(Scanner& s, double& out) {
  DecimalDigits d;
  return scan_number(s, [&](auto& in) { return parse_decimal(in, d) && decimal_to_double(d, out); });
}

ScanStatus scan_word(Scanner& s, std::string& out) {
  const ScanStatus st = prepare(s);
  if (st != ScanStatus::ok) return st;
  ByteSource& src = s.src;
  out.clear();
  for (;;) {
    std::size_t i = src.pos;
    while (i < src.end && !is_space_byte(src.buf[i])) ++i;
    out.append(src.buf + src.pos, i - src.pos);
    source_consume(src, i - src.pos);
    if (i < src.end || src.eof) return ScanStatus::ok;
    if (!source_fill(src, 1)) return ScanStatus::io_error;
  }
}

int scanner_peek(Scanner& s) { return Streamed{s}.peek(); }

std::string printable_text(const char* p, std::size_t n) {
  std::string out(p, n);
  for (char& ch : out) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c >= 0x7f) ch = '?';
  }
  return out;
}

} // namespace td
