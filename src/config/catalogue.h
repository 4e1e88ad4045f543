// The ten daily variables: a code 0..9 is both the configuration's name for a
// variable and the position of its value in a daily record.
#pragma once

#include <cstdint>

namespace td {

inline constexpr int kVariableCount = 10;

// variable_name(0) -> "RN", variable_name(7) -> "diffradt", variable_name(10) -> nullptr.
const char* variable_name(std::int32_t code);

inline bool is_variable_code(std::int32_t code) { return code >= 0 && code < kVariableCount; }

} // namespace td
