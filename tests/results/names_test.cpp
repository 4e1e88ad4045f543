#include "results/names.h"

#include <gtest/gtest.h>

#include "text/scanner.h"

namespace td {
namespace {

RunConfig config(const std::string& text) {
  RunConfig cfg;
  Scanner s;
  scanner_open_memory(s, text);
  const ConfigReport r = read_config(s, cfg);
  scanner_close(s);
  EXPECT_TRUE(r.keywords_ok && r.tokens_read == 23) << text;
  return cfg;
}

TEST(ResultNames, LegacyLayout) {
  const RunConfig cfg =
      config("d ABC 2 GT 30.0 FALSE 0 LT 0.5  2 GT 30 TRUE 0 LT 0.5  1 LT -1.26 TRUE 7 GT 0.25");
  ResultNames names;
  std::string clash;
  ASSERT_TRUE(build_result_names(cfg, names, clash)) << clash;
  const char* const expected[6] = {
      "ABC_Tmax_GT30.0_count_results.csv",
      "ABC_Tmax_GT30.0_count_2nd_cond_RN_LT0.5_results.csv",
      "ABC_Tmin_LT-1.3_count_2nd_cond_diffradt_GT0.3_results.csv",
      "ABC_Tmax_GT30.0_sum_results.csv",
      "ABC_Tmax_GT30.0_sum_2nd_cond_RN_LT0.5_results.csv",
      "ABC_Tmin_LT-1.3_sum_2nd_cond_diffradt_GT0.3_results.csv",
  };
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(names.name[i], expected[i]);
    EXPECT_EQ(names.owner[i], i);
  }
}

TEST(ResultNames, SharedNamesNeedTheSameConditions) {
  struct Case {
    const char* what;
    const char* text;
    bool ok;
    int owner_of_set3;      // of its count file, when ok
    const char* clash_name; // the shared name, when refused
  };
  const Case cases[] = {
      {"identical sets 1 and 3 share files",
       "d P 2 GT 30 FALSE 0 LT 0.5 1 LT 0 FALSE 0 GT 0 2 GT 30.0 FALSE 0 LT 0.5", true, 0, ""},
      {"FALSE sets differing only in secondary fields share files",
       "d P 2 GT 30 FALSE 0 LT 0.5 1 LT 0 FALSE 0 GT 0 2 GT 30 FALSE 5 GT 99", true, 0, ""},
      {"30.0 and 30.04 are both named 30.0",
       "d P 2 GT 30 FALSE 0 LT 0.5 1 LT 0 FALSE 0 GT 0 2 GT 30.04 FALSE 0 LT 0.5", false, -1,
       "P_Tmax_GT30.0_count_results.csv"},
      {"secondary thresholds differing beyond the first decimal",
       "d P 2 GT 30 TRUE 0 LT 0.5 1 LT 0 FALSE 0 GT 0 2 GT 30 TRUE 0 LT 0.51", false, -1,
       "P_Tmax_GT30.0_count_2nd_cond_RN_LT0.5_results.csv"},
      {"0.0 and -0.0 give different names",
       "d P 2 GT 0 FALSE 0 LT 0.5 1 LT 0 FALSE 0 GT 0 2 GT -0 FALSE 0 LT 0.5", true, 2, ""},
  };
  for (const Case& c : cases) {
    ResultNames names;
    std::string clash;
    EXPECT_EQ(build_result_names(config(c.text), names, clash), c.ok) << c.what;
    if (c.ok) {
      EXPECT_EQ(names.owner[2], c.owner_of_set3) << c.what;
      EXPECT_EQ(names.owner[5], c.owner_of_set3 + 3) << c.what;
    } else {
      EXPECT_EQ(clash, std::string("Error in ini file: sets 1 and 3 differ but both name their results ") +
                           c.clash_name)
          << c.what;
    }
  }
}

} // namespace
} // namespace td
