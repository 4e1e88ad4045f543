// The whole program against the independent model, on small fixtures in
// process and on a full-size generated ensemble through the real executable.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "driver/detector.h"
#include "support/console.h"
#include "support/files.h"
#include "support/reference.h"

namespace td {
namespace {

using testing_support::read_file;
using testing_support::run_detector_in;
using testing_support::ScratchDir;
using testing_support::write_file;

std::map<std::string, std::string> result_files_in(const ScratchDir& dir) {
  std::map<std::string, std::string> out;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path)) {
    const std::string name = entry.path().filename().string();
    if (name.size() > 12 && name.substr(name.size() - 12) == "_results.csv")
      out[name] = read_file(entry.path().string());
  }
  return out;
}

// A number in one of the spellings a data file may use.
std::string spell(double v, std::mt19937_64& rng) {
  char text[64];
  switch (rng() % 6) {
  case 0: std::snprintf(text, sizeof text, "%.1f", v); break;
  case 1: std::snprintf(text, sizeof text, "%.2f", v); break;
  case 2: std::snprintf(text, sizeof text, "%g", v); break;
  case 3: std::snprintf(text, sizeof text, "%.3e", v); break;
  case 4: std::snprintf(text, sizeof text, "%+.1f", v); break;
  default: std::snprintf(text, sizeof text, "%.17g", v); break;
  }
  std::string s = text;
  if (s.rfind("0.", 0) == 0 && rng() % 2 == 0) s.erase(0, 1); // ".5"
  return s;
}

const char* const kSeparators[] = {" ", "\t", "\n", "\r\n", "  \n "};

std::string random_data(int runs, int days, std::mt19937_64& rng) {
  // Values on a grid of tenths close to the thresholds, so that many equal them.
  std::string text;
  for (int r = 0; r < runs; ++r) {
    for (int d = 0; d < days; ++d) {
      const int month = static_cast<int>(rng() % 12) + 1;
      text += "2001 " + std::to_string(month) + " " + std::to_string(d % 28 + 1) + " " +
              std::to_string(r + 1) + " " + std::to_string(d + 1);
      for (int i = 0; i < 10; ++i) {
        const double v =
            static_cast<double>(static_cast<int>(rng() % 81) - 30) / 10.0 + (rng() % 4 == 0 ? 30.0 : 0.0);
        text += kSeparators[rng() % 5] + spell(v, rng);
      }
      text += rng() % 3 == 0 ? "\r\n" : "\n";
    }
  }
  return text;
}

std::string random_config(std::mt19937_64& rng) {
  // Thresholds whose one-decimal names are all distinct.
  static const char* const kThresholds[] = {"0.0",   "-0.0", "0.25",  "1.45", "1.95", "30.0", "30.1",
                                            "-1.26", "0.05", "-0.25", "2.5",  "1e-5", ".5",   "-3"};
  std::string text = "data.txt R\n";
  for (int k = 0; k < 3; ++k) {
    const auto pick = [&] { return kThresholds[rng() % (sizeof kThresholds / sizeof *kThresholds)]; };
    text += std::to_string(rng() % 10) + (rng() % 2 ? " GT " : " LT ") + pick() +
            (rng() % 2 ? " TRUE " : " FALSE ") + std::to_string(rng() % 10) + (rng() % 2 ? " GT " : " LT ") +
            pick() + "\n";
  }
  return text;
}

TEST(EndToEnd, MatchesTheModelOnRandomFixtures) {
  std::mt19937_64 rng(20261209);
  for (int trial = 0; trial < 40; ++trial) {
    ScratchDir dir;
    const int runs = 2 + static_cast<int>(rng() % 4);
    const int days = 1 + static_cast<int>(rng() % 60);
    const std::string config = random_config(rng);
    write_file(dir / "TAV_WG_dly_TD_ini.txt", config);
    write_file(dir / "data.txt", random_data(runs, days, rng) + "9 9 9 9 9 unread");
    std::map<std::string, std::string> expected;
    ASSERT_TRUE(reference::expected_files(config, dir / "data.txt", runs, days, expected));
    std::string console;
    ASSERT_EQ(run_detector_in(dir, {runs, days}, console), 0) << config << console;
    EXPECT_EQ(console, "Runnning threshold detector...please wait\n");
    EXPECT_EQ(result_files_in(dir), expected) << "trial " << trial << "\n" << config;
  }
}

TEST(EndToEnd, MonthsWithoutDaysStayZero) {
  ScratchDir dir;
  write_file(dir / "TAV_WG_dly_TD_ini.txt",
             "data.txt Z 2 GT 30 FALSE 0 LT 0.5 1 LT 0 FALSE 0 GT 0 2 GT 25 TRUE 0 LT 0.5\n");
  std::string data;
  for (int i = 0; i < 6; ++i) data += "1981 1 1 1 1 0 -1 31 0 0 0 0 0 0 0\n";
  write_file(dir / "data.txt", data);
  std::string console;
  ASSERT_EQ(run_detector_in(dir, {2, 3}, console), 0);
  EXPECT_EQ(read_file(dir / "Z_Tmax_GT30.0_count_results.csv"), ",1,2,3,4,5,6,7,8,9,10,11,12\r\n"
                                                                "1,3,0,0,0,0,0,0,0,0,0,0,0,\r\n"
                                                                "2,3,0,0,0,0,0,0,0,0,0,0,0,\r\n"
                                                                "mean,3,0,0,0,0,0,0,0,0,0,0,0,\r\n"
                                                                "SD,0,0,0,0,0,0,0,0,0,0,0,0,\r\n");
  EXPECT_EQ(read_file(dir / "Z_Tmin_LT0.0_sum_results.csv"), ",1,2,3,4,5,6,7,8,9,10,11,12\r\n"
                                                             "1,3,0,0,0,0,0,0,0,0,0,0,0,\r\n"
                                                             "2,3,0,0,0,0,0,0,0,0,0,0,0,\r\n"
                                                             "mean,3,0,0,0,0,0,0,0,0,0,0,0,\r\n"
                                                             "SD,0,0,0,0,0,0,0,0,0,0,0,0,\r\n");
  EXPECT_EQ(read_file(dir / "Z_Tmax_GT25.0_count_2nd_cond_RN_LT0.5_results.csv").substr(0, 57),
            ",1,2,3,4,5,6,7,8,9,10,11,12\r\n1,3,0,0,0,0,0,0,0,0,0,0,0,\r\n");
}

// The full-size demo ensemble through the real executable.
TEST(EndToEnd, FullSizeEnsemble) {
  ScratchDir dir;
  const std::string config = read_file(std::string(TD_SOURCE_DIR) + "/examples/TAV_WG_dly_TD_ini.txt");
  ASSERT_FALSE(config.empty());
  write_file(dir / "TAV_WG_dly_TD_ini.txt", config);
  const std::string gen = std::string(TD_GENERATOR_EXE) + " --seed 7 " + (dir / "ensemble.txt");
  ASSERT_EQ(std::system(gen.c_str()), 0);
  const std::string run = "cd '" + dir.path.string() + "' && '" + TD_DETECTOR_EXE + "' > console.txt";
  ASSERT_EQ(std::system(run.c_str()), 0);
  EXPECT_EQ(read_file(dir / "console.txt"), "Runnning threshold detector...please wait\n");

  std::map<std::string, std::string> expected;
  ASSERT_TRUE(reference::expected_files(config, dir / "ensemble.txt", 100, 10957, expected));
  const std::map<std::string, std::string> actual = result_files_in(dir);
  ASSERT_EQ(actual.size(), 6u);
  for (const auto& [name, text] : expected) {
    ASSERT_TRUE(actual.count(name)) << name;
    EXPECT_EQ(actual.at(name), text) << name;
    // 103 lines, each ending in CR LF.
    std::size_t lines = 0;
    for (std::size_t i = 0; i < text.size(); ++i)
      if (text[i] == '\n') {
        ++lines;
        EXPECT_EQ(text[i - 1], '\r');
      }
    EXPECT_EQ(lines, 103u) << name;
    EXPECT_NE(text.find("\r\nmean,"), std::string::npos);
  }
}

} // namespace
} // namespace td
