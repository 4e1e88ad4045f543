// A byte source: a file descriptor or a block of memory, read into one fixed
// buffer with NUL padding after the data, handed out as a window of buffered
// bytes that the reader consumes.
//
//   source_open_memory(s, "12 ab");   source_fill(s, 1)  -> window "12 ab" + NULs
//   source_consume(s, 3);             source_data(s)     -> "ab"
//
// Memory use is the buffer, whatever the size of the source.
#pragma once

#include <cstddef>
#include <string_view>

namespace td {

// Bytes of data the buffer holds. Refills move the unread tail to the front,
// so a reader can always have this many unread bytes at once.
inline constexpr std::size_t kSourceBytes = std::size_t{1} << 18;
// NUL bytes kept after the data: a reader may load this many bytes from any
// position up to the end of the data. NUL is neither white space nor part of
// a number, so it also stops every scan of a token.
inline constexpr std::size_t kSourcePadding = 128;

struct ByteSource {
  int fd = -1;
  bool owns_fd = false;
  const char* mem = nullptr; // a memory source, handed out in pieces of at
  std::size_t mem_size = 0;  // most read_chunk bytes (tests cut tokens this way)
  std::size_t mem_pos = 0;
  std::size_t read_chunk = kSourceBytes; // most bytes taken per read

  char* buf = nullptr; // kSourceBytes + kSourcePadding
  std::size_t pos = 0; // next unread byte
  std::size_t end = 0; // one past the last byte of data
  bool eof = false;    // the source has nothing more
  int error = 0;       // errno of a failed open or read; the data is then dropped
};

// Opens `path` for reading without waiting for a FIFO's writer (a FIFO that
// has none reads as empty). -1: errno says why.
int open_for_reading(const char* path);

// Each open ends the previous source and keeps the buffer; source_close frees it.
// false: s.error holds errno.
bool source_open_file(ByteSource& s, const char* path);
// Reads `fd`; the source closes it only if `owns`.
void source_open_fd(ByteSource& s, int fd, bool owns);
// Reads `text` (not copied: it must outlive the source).
void source_open_memory(ByteSource& s, std::string_view text, std::size_t read_chunk = kSourceBytes);
void source_close(ByteSource& s);

// Moves the unread bytes to the front of the buffer, then reads until at
// least min(want, kSourceBytes) bytes are unread or the source ends. false: a
// read failed (s.error is set, nothing is buffered from then on).
bool source_fill(ByteSource& s, std::size_t want);

inline const char* source_data(const ByteSource& s) { return s.buf + s.pos; }
inline std::size_t source_available(const ByteSource& s) { return s.end - s.pos; }
inline void source_consume(ByteSource& s, std::size_t n) { s.pos += n; }

} // namespace td
