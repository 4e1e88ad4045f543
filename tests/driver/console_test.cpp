// Names in messages: long ones keep their start and end, and are never cut
// inside a UTF-8 sequence.
#include <gtest/gtest.h>

#include "driver/console.h"

namespace td {
namespace {

TEST(Console, ShownNames) {
  const std::string long_name = std::string(150, 'a') + std::string(150, 'z');
  const struct {
    std::string name;
    std::size_t max;
    std::string shown;
  } cases[] = {
      {"R_Tmax_GT30.0_count_results.csv", 200, "R_Tmax_GT30.0_count_results.csv"},
      {"abcdefghi", 9, "abcdefghi"},
      {"abcdefghij", 9, "abc...hij"},
      {long_name, 200, std::string(98, 'a') + "..." + std::string(99, 'z')},
      // Five two-byte characters in 8 bytes: whole characters on both sides.
      {"\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9", 8, "\xc3\xa9...\xc3\xa9"},
      {"\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9", 9, "\xc3\xa9...\xc3\xa9"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(shown_name(c.name, c.max), c.shown) << c.name << " " << c.max;
    EXPECT_LE(shown_name(c.name, c.max).size(), c.max);
  }
}

} // namespace
} // namespace td
