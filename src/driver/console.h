// Console lines: every message is one line on standard output, flushed at
// once; nothing goes to standard error.
#pragma once

#include <string_view>

namespace td {

inline constexpr const char* kStartupLine = "Runnning threshold detector...please wait";

void say(std::string_view line);

} // namespace td
