#include "text/byte_source.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "storage/tables.h"

namespace td {
namespace {

// Ends the current source, keeping the buffer for the next one.
void reset(ByteSource& s) {
  if (s.owns_fd && s.fd >= 0) ::close(s.fd);
  char* const buf = s.buf;
  s = ByteSource{};
  s.buf = buf;
}

void start(ByteSource& s) {
  if (s.buf == nullptr) s.buf = static_cast<char*>(alloc_checked(kSourceBytes + kSourcePadding));
  std::memset(s.buf, 0, kSourcePadding);
}

} // namespace

int open_for_reading(const char* path) {
  // Without O_NONBLOCK, opening a FIFO waits for a writer; with it, a FIFO
  // that has none reads as empty. Reads wait as usual once it is cleared.
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return -1;
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
    const int e = errno;
    ::close(fd);
    errno = e;
    return -1;
  }
  return fd;
}

bool source_open_file(ByteSource& s, const char* path) {
  reset(s);
  const int fd = open_for_reading(path);
  if (fd < 0) {
    s.error = errno;
    s.eof = true;
    return false;
  }
  source_open_fd(s, fd, true);
  return true;
}

void source_open_fd(ByteSource& s, int fd, bool owns) {
  reset(s);
#ifdef POSIX_FADV_SEQUENTIAL
  (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
  s.fd = fd;
  s.owns_fd = owns;
  start(s);
}

void source_open_memory(ByteSource& s, std::string_view text, std::size_t read_chunk) {
  reset(s);
  s.mem = text.data();
  s.mem_size = text.size();
  s.read_chunk = std::max<std::size_t>(read_chunk, 1);
  start(s);
}

void source_close(ByteSource& s) {
  reset(s);
  free_checked(s.buf);
  s.buf = nullptr;
}

bool source_fill(ByteSource& s, std::size_t want) {
  if (s.error != 0) return false;
  if (s.buf == nullptr) return true; // closed: nothing to read
  if (s.pos > 0) {
    std::memmove(s.buf, s.buf + s.pos, s.end - s.pos);
    s.end -= s.pos;
    s.pos = 0;
  }
  want = std::min(want, kSourceBytes);
  while (!s.eof && s.end < want) {
    const std::size_t room = std::min(kSourceBytes - s.end, s.read_chunk);
    if (s.fd < 0) {
      const std::size_t n = std::min(room, s.mem_size - s.mem_pos);
      std::memcpy(s.buf + s.end, s.mem + s.mem_pos, n);
      s.mem_pos += n;
      s.end += n;
      s.eof = s.mem_pos == s.mem_size;
      continue;
    }
    const ssize_t n = ::read(s.fd, s.buf + s.end, room);
    if (n < 0) {
      if (errno == EINTR) continue;
      s.error = errno;
      s.eof = true;
      s.pos = s.end = 0;
      break;
    }
    if (n == 0) s.eof = true;
    s.end += static_cast<std::size_t>(n);
  }
  std::memset(s.buf + s.end, 0, kSourcePadding);
  return s.error == 0;
}

} // namespace td
