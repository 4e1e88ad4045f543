#include "driver/console.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace td {
namespace {

bool utf8_continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// false: the console cannot be written to.
bool write_out(const char* p, std::size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(STDOUT_FILENO, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

} // namespace

void say(std::string_view line) {
  // The line and its break in one write(2) where they fit, so that a pipe
  // shared with other programs gets the line in one piece.
  char text[512];
  if (line.size() < sizeof text) {
    line.copy(text, line.size());
    text[line.size()] = '\n';
    (void)write_out(text, line.size() + 1);
  } else if (write_out(line.data(), line.size())) {
    (void)write_out("\n", 1);
  }
}

std::string shown_name(std::string_view name, std::size_t max) {
  static constexpr std::string_view kGap = "...";
  if (name.size() <= max || max < kGap.size() + 2) return std::string(name);
  std::size_t head = (max - kGap.size()) / 2;
  std::size_t tail_start = name.size() - (max - kGap.size() - head);
  while (head > 0 && utf8_continuation(name[head])) --head;
  while (tail_start < name.size() && utf8_continuation(name[tail_start])) ++tail_start;
  std::string out(name.substr(0, head));
  out += kGap;
  out += name.substr(tail_start);
  return out;
}

void guard_process() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // open gives the lowest free descriptor: this one, as the lower ones are
    // open. Where /dev/null is missing, the root directory holds the place:
    // nothing can be written to it.
    int got = ::open("/dev/null", O_RDWR);
    if (got < 0) got = ::open("/", O_RDONLY | O_DIRECTORY);
    if (got >= 0 && got != fd) ::close(got);
  }
  (void)std::signal(SIGPIPE, SIG_IGN);
  (void)std::signal(SIGXFSZ, SIG_IGN);
}

} // namespace td
