#include "results/names.h"

#include "driver/console.h"
#include "results/number_format.h"

namespace td {
namespace {

std::string threshold_text(double t) {
  char text[kNumberTextMax];
  const std::size_t n = format_fixed1(t, text);
  return std::string(text, n);
}

// The token as it stands in a message: control bytes (the NUL among them)
// as '?', so that the line stays one line.
std::string token_text(const std::string& token) {
  std::string out = shown_name(token);
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  return out;
}

} // namespace

std::string bad_name_message(const RunConfig& cfg) {
  const std::string* const names[] = {&cfg.data_file, &cfg.prefix};
  for (int k = 1; k <= 2; ++k) {
    const std::string& name = *names[k - 1];
    if (name.find('\0') == std::string::npos) continue;
    return "Error in ini file: " + config_item_name(k) + " (item " + std::to_string(k) + " of " +
           std::to_string(kConfigTokenCount) + ") holds a byte that cannot stand in a file name: \"" +
           token_text(name) + "\"";
  }
  return {};
}

std::string result_file_name(const RunConfig& cfg, int set, bool sum) {
  const ConditionSet& s = cfg.sets[set];
  std::string name = cfg.prefix + "_" + s.primary_name + "_" + s.primary_cmp_text +
                     threshold_text(s.primary_threshold) + (sum ? "_sum" : "_count");
  if (s.second_enabled)
    name +=
        "_2nd_cond_" + s.secondary_name + "_" + s.secondary_cmp_text + threshold_text(s.secondary_threshold);
  return name + "_results.csv";
}

bool build_result_names(const RunConfig& cfg, ResultNames& out, std::string& clash) {
  for (int i = 0; i < kFileCount; ++i) {
    out.name[i] = result_file_name(cfg, i % kSetCount, i >= kSetCount);
    out.owner[i] = i;
  }
  for (int i = 0; i < kFileCount; ++i) {
    for (int j = 0; j < i; ++j) {
      if (out.name[j] != out.name[i]) continue;
      const int a = j % kSetCount;
      const int b = i % kSetCount;
      // A count name never equals a sum name, so j and i belong to two sets
      // of the same kind.
      if ((j >= kSetCount) != (i >= kSetCount) || !same_conditions(cfg.sets[a], cfg.sets[b])) {
        clash = "Error in ini file: sets " + std::to_string(a + 1) + " and " + std::to_string(b + 1) +
                " differ but both name their results " + shown_name(out.name[i]);
        return false;
      }
      out.owner[i] = out.owner[j];
      break;
    }
  }
  return true;
}

} // namespace td
