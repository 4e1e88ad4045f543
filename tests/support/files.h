// Small file helpers for the tests: a scratch directory, whole-file reads
// and writes.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace td::testing_support {

// A fresh directory under the system's temporary directory, removed at the end.
struct ScratchDir {
  std::filesystem::path path;
  ScratchDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "td-test-XXXXXX").string();
    path = ::mkdtemp(tmpl.data());
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  std::string operator/(const std::string& name) const { return (path / name).string(); }
};

inline void write_file(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline bool exists(const std::string& path) { return std::filesystem::exists(path); }

} // namespace td::testing_support
