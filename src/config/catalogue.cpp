#include "config/catalogue.h"

namespace td {

const char* variable_name(std::int32_t code) {
  static constexpr const char* kNames[kVariableCount] = {"RN", "Tmin", "Tmax",     "VP",      "RH",
                                                         "WN", "SS",   "diffradt", "dirradt", "PET"};
  return is_variable_code(code) ? kNames[code] : nullptr;
}

} // namespace td
