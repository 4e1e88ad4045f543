// libFuzzer target: the configuration reader and the checks that follow it,
// on arbitrary bytes; the fields read must agree with std::istringstream >>.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "config/config.h"
#include "results/names.h"
#include "text/scanner.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  // One scanner for the whole run: each open keeps its buffer.
  static td::Scanner s;
  td::scanner_open_memory(s, text, 1 + size % 7);
  td::RunConfig cfg;
  const td::ConfigReport r = td::read_config(s, cfg);

  // The same items through the stream, as far as it gets.
  std::istringstream in(text);
  std::string data_file, prefix;
  int read = 0;
  if (in >> data_file) ++read;
  if (in >> prefix) ++read;
  for (int k = 0; k < 3 && read == 2 + 7 * k; ++k) {
    const td::ConditionSet& set = cfg.sets[k];
    int code = 0, code2 = 0;
    std::string op, sw, op2;
    double t = 0, t2 = 0;
    if (in >> code) {
      ++read;
      if (r.tokens_read >= read && code != set.primary_code) std::abort();
    }
    if (in >> op) {
      ++read;
      if (r.tokens_read >= read && op != set.primary_cmp_text) std::abort();
    }
    if (in >> t) {
      ++read;
      if (r.tokens_read >= read && t != set.primary_threshold) std::abort();
    }
    if (in >> sw) {
      ++read;
      if (r.tokens_read >= read && sw != set.switch_text) std::abort();
    }
    if (in >> code2) {
      ++read;
      if (r.tokens_read >= read && code2 != set.secondary_code) std::abort();
    }
    if (in >> op2) {
      ++read;
      if (r.tokens_read >= read && op2 != set.secondary_cmp_text) std::abort();
    }
    if (in >> t2) {
      ++read;
      if (r.tokens_read >= read && t2 != set.secondary_threshold) std::abort();
    }
  }
  if (read != r.tokens_read) std::abort();
  if (read >= 1 && data_file != cfg.data_file) std::abort();

  if (r.keywords_ok && r.tokens_read == td::kConfigTokenCount && td::check_codes(cfg).empty()) {
    td::ResultNames names;
    std::string clash;
    (void)td::build_result_names(cfg, names, clash);
  }
  (void)td::config_stop_message(r);
  return 0;
}
