#include "config/config.h"

#include <gtest/gtest.h>

#include "text/scanner.h"

namespace td {
namespace {

ConfigReport read_text(const std::string& text, RunConfig& cfg, std::size_t chunk = kSourceBytes) {
  Scanner s;
  scanner_open_memory(s, text, chunk);
  ConfigReport r = read_config(s, cfg);
  scanner_close(s);
  return r;
}

std::vector<std::string> lines(std::initializer_list<int> numbers) {
  std::vector<std::string> out;
  for (int n : numbers) out.push_back("error on line " + std::to_string(n) + " of ini file");
  return out;
}

const char* const kGood = "data.txt ABC\n"
                          "2 GT 30 FALSE 0 LT 0.5\n"
                          "1 LT -.5 TRUE 9 GT 1e1\n"
                          "0 GT 10.25 FALSE 99 LT 5.\n";

TEST(ReadConfig, ReadsAllFieldsAnyLayout) {
  // One token per line with CR LF, or all on one line, reads the same.
  std::string per_line;
  std::string one_line;
  for (const char* p = kGood; *p != '\0'; ++p) {
    per_line += (*p == ' ' || *p == '\n') ? std::string("\r\n") : std::string(1, *p);
    one_line += *p == '\n' ? ' ' : *p;
  }
  for (const std::string& text : {std::string(kGood), per_line, one_line}) {
    for (std::size_t chunk : {std::size_t{1}, std::size_t{3}, kSourceBytes}) {
      RunConfig cfg;
      const ConfigReport r = read_text(text, cfg, chunk);
      EXPECT_TRUE(r.messages.empty());
      EXPECT_TRUE(r.keywords_ok);
      EXPECT_EQ(r.tokens_read, 23);
      EXPECT_EQ(cfg.data_file, "data.txt");
      EXPECT_EQ(cfg.prefix, "ABC");
      const ConditionSet& s1 = cfg.sets[0];
      EXPECT_EQ(s1.primary_code, 2);
      EXPECT_EQ(s1.primary_name, "Tmax");
      EXPECT_EQ(s1.primary_cmp_text, "GT");
      EXPECT_TRUE(s1.primary_gt);
      EXPECT_EQ(s1.primary_threshold, 30.0); // written without a point
      EXPECT_FALSE(s1.second_enabled);
      EXPECT_EQ(s1.secondary_name, "RN");
      EXPECT_FALSE(s1.secondary_gt);
      EXPECT_EQ(s1.secondary_threshold, 0.5);
      const ConditionSet& s2 = cfg.sets[1];
      EXPECT_FALSE(s2.primary_gt);
      EXPECT_EQ(s2.primary_threshold, -0.5);
      EXPECT_TRUE(s2.second_enabled);
      EXPECT_EQ(s2.secondary_name, "PET");
      EXPECT_EQ(s2.secondary_threshold, 10.0);
      EXPECT_EQ(cfg.sets[2].primary_threshold, 10.25);
      EXPECT_EQ(cfg.sets[2].secondary_code, 99);
      EXPECT_EQ(cfg.sets[2].secondary_name, "");
      EXPECT_EQ(cfg.sets[2].secondary_threshold, 5.0);
    }
  }
}

TEST(ReadConfig, KeywordMessagesInTheirFixedOrder) {
  struct Case {
    const char* what;
    std::string text;
    std::vector<std::string> messages;
    int tokens_read;
  };
  const Case cases[] = {
      {"lower-case comparisons in sets 1 and 3",
       "d p 2 gt 30 FALSE 0 lt 0.5 1 LT 0 FALSE 0 GT 0 2 Gt 25 TRUE 0 lT 0.5", lines({5, 19, 9, 23}), 23},
      {"mixed-case switches", "d p 2 GT 30 True 0 LT 0.5 1 LT 0 true 0 GT 0 2 GT 25 TRUE 0 LT 0.5",
       lines({6, 13}), 23},
      {"sets 1 and 3 primary, set 2 switch",
       "d p 2 XX 30 FALSE 0 LT 0.5 1 LT 0 maybe 0 GT 0 2 GTE 25 TRUE 0 LT 0.5", lines({5, 19, 13}), 23},
      {"a FALSE set still checks its secondary comparison",
       "d p 2 GT 30 FALSE 0 EQ 0.5 1 LT 0 FALSE 0 GT 0 2 GT 25 FALSE 0 LT 0.5", lines({9}), 23},
      {"only 21 tokens", "d p 2 GT 30 FALSE 0 LT 0.5 1 LT 0 FALSE 0 GT 0 2 GT 25 TRUE 0", lines({23}), 21},
      // 2.5 reads as 2, ".5" becomes the comparison, and the comparison word
      // "GT" is then not a number: reading stops and every later keyword reports.
      {"a code written 2.5", "d p 2.5 GT 30 FALSE 0 LT 0.5 1 LT 0 FALSE 0 GT 0 2 GT 25 TRUE 0 LT 0.5",
       lines({5, 12, 19, 9, 16, 23, 6, 13, 20}), 4},
      {"empty file", "", lines({5, 12, 19, 9, 16, 23, 6, 13, 20}), 0},
      {"last threshold not a number",
       "d p 2 GT 30 FALSE 0 LT 0.5 1 LT 0 FALSE 0 GT 0 2 GT 25 TRUE 0 LT nan",
       {},
       22},
      {"anything after the 23rd token is ignored",
       "d p 2 GT 30 FALSE 0 LT 0.5 1 LT 0 FALSE 0 GT 0 2 GT 25 TRUE 0 LT 0.5 junk 1 2",
       {},
       23},
  };
  for (const Case& c : cases) {
    RunConfig cfg;
    const ConfigReport r = read_text(c.text, cfg);
    EXPECT_EQ(r.messages, c.messages) << c.what;
    EXPECT_EQ(r.tokens_read, c.tokens_read) << c.what;
    EXPECT_EQ(r.keywords_ok, c.messages.empty()) << c.what;
  }
}

TEST(ReadConfig, StopsForGoodAndSaysWhere) {
  RunConfig cfg;
  ConfigReport r = read_text("d p 2.5 GT 30 FALSE 0 LT 0.5 1 LT 0 FALSE 0 GT 0 2 GT 25 TRUE 0 LT 0.5", cfg);
  EXPECT_EQ(cfg.sets[0].primary_code, 2);
  EXPECT_EQ(cfg.sets[0].primary_cmp_text, ".5");
  EXPECT_EQ(cfg.sets[0].switch_text, "");
  EXPECT_EQ(cfg.sets[2].secondary_cmp_text, "");
  EXPECT_EQ(config_stop_message(r),
            "Error reading ini file: set 1 primary threshold (item 5 of 23) is not a number: found \"GT\"");

  r = read_text("d p 2 GT 30 FALSE 0 LT 0.5 1 LT 0 FALSE 0 GT 0 2 GT 25 TRUE 0 LT inf", cfg);
  EXPECT_EQ(
      config_stop_message(r),
      "Error reading ini file: set 3 secondary threshold (item 23 of 23) is not a number: found \"inf\"");
  r = read_text("d p 2 GT 30 FALSE 0 LT 0.5 1 LT 0 FALSE 0 GT 0 2 GT 25 TRUE 0 LT", cfg);
  EXPECT_EQ(config_stop_message(r), "Error reading ini file: set 3 secondary threshold (item 23 of 23) "
                                    "is missing: the file ends after 22 items");
  r = read_text(kGood, cfg);
  EXPECT_EQ(config_stop_message(r), "");
}

TEST(ReadConfig, MissingFileReportsOpeningThenAllNine) {
  RunConfig cfg;
  const ConfigReport r = read_config_file("/nonexistent/TAV_WG_dly_TD_ini.txt", cfg);
  std::vector<std::string> expected = {"Error opening ini file"};
  for (const std::string& l : lines({5, 12, 19, 9, 16, 23, 6, 13, 20})) expected.push_back(l);
  EXPECT_EQ(r.messages, expected);
  EXPECT_FALSE(r.opened);
  EXPECT_EQ(config_stop_message(r), "");
}

TEST(CheckCodes, UsedCodesMustNameAVariable) {
  RunConfig cfg;
  const ConfigReport r = read_text(kGood, cfg);
  ASSERT_TRUE(r.keywords_ok);
  // Set 3's secondary code 99 is harmless: its switch is "FALSE".
  EXPECT_TRUE(check_codes(cfg).empty());
  cfg.sets[0].primary_code = 10;
  cfg.sets[1].secondary_code = -1; // switch "TRUE"
  EXPECT_EQ(check_codes(cfg),
            (std::vector<std::string>{
                "Error in ini file: set 1 primary code 10 is not a variable code (0 to 9)",
                "Error in ini file: set 2 secondary code -1 is not a variable code (0 to 9)"}));
}

} // namespace
} // namespace td
