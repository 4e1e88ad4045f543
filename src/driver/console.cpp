#include "driver/console.h"

#include <cstdio>

namespace td {

void say(std::string_view line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

} // namespace td
