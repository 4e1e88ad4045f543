#include "config/config.h"

#include <cstring>

#include "config/catalogue.h"
#include "text/scanner.h"

namespace td {
namespace {

enum class Kind { text, integer, real };

// The 23 items in file order, with the message of each keyword item.
struct Item {
  Kind kind;
  const char* name;
};

constexpr Item kSetItems[7] = {
    {Kind::integer, "primary code"},     {Kind::text, "primary comparison"},
    {Kind::real, "primary threshold"},   {Kind::text, "second-condition switch"},
    {Kind::integer, "secondary code"},   {Kind::text, "secondary comparison"},
    {Kind::real, "secondary threshold"},
};

Kind item_kind(int k) { return k <= 2 ? Kind::text : kSetItems[(k - 3) % 7].kind; }

void* item_target(RunConfig& cfg, int k) {
  if (k == 1) return &cfg.data_file;
  if (k == 2) return &cfg.prefix;
  ConditionSet& set = cfg.sets[(k - 3) / 7];
  switch ((k - 3) % 7) {
  case 0: return &set.primary_code;
  case 1: return &set.primary_cmp_text;
  case 2: return &set.primary_threshold;
  case 3: return &set.switch_text;
  case 4: return &set.secondary_code;
  case 5: return &set.secondary_cmp_text;
  default: return &set.secondary_threshold;
  }
}

// The line numbers of the messages are fixed texts of the legacy program: a
// set's primary comparison reports line 5, its switch line 6 and its
// secondary comparison line 9, plus 7 for set 2 and plus 14 for set 3.
std::string line_message(int line) { return "error on line " + std::to_string(line) + " of ini file"; }

bool check_comparison(const std::string& text, bool& gt) {
  if (text == "GT") {
    gt = true;
    return true;
  }
  if (text == "LT") {
    gt = false;
    return true;
  }
  return false;
}

bool check_switch(const std::string& text, bool& enabled) {
  if (text == "TRUE") {
    enabled = true;
    return true;
  }
  if (text == "FALSE") {
    enabled = false;
    return true;
  }
  return false;
}

void check_keywords(RunConfig& cfg, ConfigReport& r) {
  r.keywords_ok = true;
  for (int k = 0; k < kSetCount; ++k)
    if (!check_comparison(cfg.sets[k].primary_cmp_text, cfg.sets[k].primary_gt)) {
      r.messages.push_back(line_message(5 + 7 * k));
      r.keywords_ok = false;
    }
  for (int k = 0; k < kSetCount; ++k)
    if (!check_comparison(cfg.sets[k].secondary_cmp_text, cfg.sets[k].secondary_gt)) {
      r.messages.push_back(line_message(9 + 7 * k));
      r.keywords_ok = false;
    }
  for (int k = 0; k < kSetCount; ++k)
    if (!check_switch(cfg.sets[k].switch_text, cfg.sets[k].second_enabled)) {
      r.messages.push_back(line_message(6 + 7 * k));
      r.keywords_ok = false;
    }
}

void look_up_names(RunConfig& cfg) {
  for (ConditionSet& set : cfg.sets) {
    const char* n1 = variable_name(set.primary_code);
    const char* n2 = variable_name(set.secondary_code);
    set.primary_name = n1 != nullptr ? n1 : "";
    set.secondary_name = n2 != nullptr ? n2 : "";
  }
}

} // namespace

std::string config_item_name(int k) {
  if (k == 1) return "data file name";
  if (k == 2) return "result prefix";
  if (k < 1 || k > kConfigTokenCount) return "item " + std::to_string(k);
  return "set " + std::to_string((k - 3) / 7 + 1) + " " + kSetItems[(k - 3) % 7].name;
}

ConfigReport read_config(Scanner& s, RunConfig& cfg) {
  ConfigReport r;
  r.opened = true;
  for (int k = 1; k <= kConfigTokenCount; ++k) {
    void* target = item_target(cfg, k);
    ScanStatus st = ScanStatus::ok;
    switch (item_kind(k)) {
    case Kind::text: st = scan_word(s, *static_cast<std::string*>(target)); break;
    case Kind::integer: st = scan_int(s, *static_cast<std::int32_t*>(target)); break;
    case Kind::real: st = scan_double(s, *static_cast<double*>(target)); break;
    }
    if (st != ScanStatus::ok) {
      if (st == ScanStatus::io_error) r.read_error = s.src.error;
      if (st == ScanStatus::not_number) {
        r.bad_number = true;
        r.stop_found = printable_text(s.bad, s.bad_len);
      }
      break;
    }
    r.tokens_read = k;
  }
  // Items after a stop are not read: texts are empty, numbers keep no value
  // (here they are zero, and nothing runs with them).
  for (int k = r.tokens_read + 1; k <= kConfigTokenCount; ++k) {
    void* target = item_target(cfg, k);
    switch (item_kind(k)) {
    case Kind::text: static_cast<std::string*>(target)->clear(); break;
    case Kind::integer: *static_cast<std::int32_t*>(target) = 0; break;
    case Kind::real: *static_cast<double*>(target) = 0.0; break;
    }
  }
  look_up_names(cfg);
  check_keywords(cfg, r);
  return r;
}

ConfigReport read_config_file(const char* path, RunConfig& cfg) {
  Scanner s;
  if (!scanner_open_file(s, path)) {
    cfg = RunConfig{};
    ConfigReport r;
    r.messages.push_back("Error opening ini file");
    look_up_names(cfg);
    check_keywords(cfg, r);
    return r;
  }
  ConfigReport r = read_config(s, cfg);
  scanner_close(s);
  return r;
}

std::string config_stop_message(const ConfigReport& r) {
  if (!r.opened || r.tokens_read >= kConfigTokenCount) return {};
  if (r.read_error != 0) return std::string("Error reading ini file: ") + std::strerror(r.read_error);
  const int k = r.tokens_read + 1;
  std::string line = "Error reading ini file: " + config_item_name(k) + " (item " + std::to_string(k) +
                     " of " + std::to_string(kConfigTokenCount) + ")";
  if (r.bad_number) return line + " is not a number: found \"" + r.stop_found + "\"";
  return line + " is missing: the file ends after " + std::to_string(r.tokens_read) + " items";
}

std::vector<std::string> check_codes(const RunConfig& cfg) {
  std::vector<std::string> out;
  for (int k = 0; k < kSetCount; ++k) {
    const ConditionSet& set = cfg.sets[k];
    const std::string where = "Error in ini file: set " + std::to_string(k + 1) + " ";
    if (!is_variable_code(set.primary_code))
      out.push_back(where + "primary code " + std::to_string(set.primary_code) +
                    " is not a variable code (0 to 9)");
    if (set.second_enabled && !is_variable_code(set.secondary_code))
      out.push_back(where + "secondary code " + std::to_string(set.secondary_code) +
                    " is not a variable code (0 to 9)");
  }
  return out;
}

bool same_conditions(const ConditionSet& a, const ConditionSet& b) {
  if (a.primary_code != b.primary_code || a.primary_gt != b.primary_gt ||
      a.primary_threshold != b.primary_threshold || a.second_enabled != b.second_enabled)
    return false;
  if (!a.second_enabled) return true;
  return a.secondary_code == b.secondary_code && a.secondary_gt == b.secondary_gt &&
         a.secondary_threshold == b.secondary_threshold;
}

} // namespace td
