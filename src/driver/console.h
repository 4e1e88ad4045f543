// Console lines: every message is one line on standard output, written out
// at once; nothing goes to standard error.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace td {

inline constexpr const char* kStartupLine = "Runnning threshold detector...please wait";

// Writes `line` and a line break to descriptor 1 with write(2), without a
// buffer that could need memory. A console that cannot be written to (closed,
// a reader gone) loses the line; the run goes on.
void say(std::string_view line);

// Names stand in messages at most this long, so that no line is much longer
// than 300 characters whatever the configuration holds.
inline constexpr std::size_t kShownNameMax = 200;

// `name` as it stands in a message: names of up to `max` bytes unchanged,
// longer ones as their start and end with "..." between, `max` bytes in all
// (cut between characters, not inside a UTF-8 sequence).
//   shown_name("abcdefghij", 9) -> "abc...hij"
std::string shown_name(std::string_view name, std::size_t max = kShownNameMax);

// Makes sure descriptors 0, 1 and 2 are open (on /dev/null where they are
// not), so that no file the program opens gets one of them and then
// receives its console lines; ignores SIGPIPE and SIGXFSZ, so that a reader
// gone or a file size limit shows as a failed write with its errno instead
// of ending the program without a message. Done before anything is opened.
void guard_process();

} // namespace td
