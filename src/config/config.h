// The configuration file "TAV_WG_dly_TD_ini.txt": 23 whitespace-separated
// tokens read by formatted extraction, nine keyword checks with fixed
// messages, and the checks that make a configuration safe to run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/dimensions.h"

namespace td {

struct Scanner;

inline constexpr const char* kConfigFileName = "TAV_WG_dly_TD_ini.txt";
inline constexpr int kConfigTokenCount = 23;

struct ConditionSet {
  std::int32_t primary_code = 0;
  std::string primary_cmp_text; // "GT" or "LT" as read
  bool primary_gt = false;
  double primary_threshold = 0.0;
  std::string switch_text; // "TRUE" or "FALSE" as read
  bool second_enabled = false;
  std::int32_t secondary_code = 0;
  std::string secondary_cmp_text;
  bool secondary_gt = false;
  double secondary_threshold = 0.0;
  // Catalogue names of the two codes; empty for a code outside 0..9.
  std::string primary_name;
  std::string secondary_name;
};

struct RunConfig {
  std::string data_file;
  std::string prefix;
  ConditionSet sets[kSetCount];
};

// What reading and checking the keywords found. The messages are the lines
// to print, in order; reading never stops for a message.
struct ConfigReport {
  bool opened = false;
  int tokens_read = 0;      // 0..23; fewer than 23 means reading stopped early
  bool bad_number = false;  // reading stopped at a code or threshold that is not a number
  std::string stop_found;   // the start of that token, for the message
  bool keywords_ok = false; // all nine keyword checks passed
  int read_error = 0;       // errno where the file opened but reading it failed
  std::vector<std::string> messages;
};

// Reads the 23 tokens from `s` into `cfg`, looks up the six names and runs
// the nine keyword checks in their fixed order:
//   primary comparisons of sets 1..3   ("error on line 5/12/19 of ini file")
//   secondary comparisons of sets 1..3 ("error on line 9/16/23 of ini file")
//   switches of sets 1..3              ("error on line 6/13/20 of ini file")
// Once a token cannot be read, no more are read: later texts stay empty and
// their keyword checks report.
ConfigReport read_config(Scanner& s, RunConfig& cfg);

// Opens `path` and reads it as above; a file that cannot be opened gives
// "Error opening ini file" followed by all nine keyword messages.
ConfigReport read_config_file(const char* path, RunConfig& cfg);

// The description of item k (1..23) of the file: "set 2 primary threshold".
std::string config_item_name(int k);

// A line of our own for a configuration whose reading stopped early
// ("Error reading ini file: Is a directory" where reading failed), or empty
// when reading was complete or the file was not opened.
std::string config_stop_message(const ConfigReport& r);

// Codes outside 0..9 where they are used (the primary code, and the secondary
// code of a set whose switch is "TRUE"): one message per offending code, in
// set order. Empty when all are usable.
std::vector<std::string> check_codes(const RunConfig& cfg);

// True when sets a and b count exactly the same days with the same
// exceedances (the secondary fields of a "FALSE" set do not matter).
bool same_conditions(const ConditionSet& a, const ConditionSet& b);

} // namespace td
