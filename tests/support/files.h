// Small file helpers for the tests: a scratch directory, whole-file reads
// and writes.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <sys/stat.h>

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

// Every entry of a directory (not its subdirectories) by name, with its kind
// and what it holds: "file:" and the contents, "link:" and the target,
// "dir", "fifo" or "other", and the inode, so that a file replaced by a new
// one with the same contents differs.
inline std::map<std::string, std::string> entries_of(const std::filesystem::path& dir) {
  std::map<std::string, std::string> out;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    const std::string path = e.path().string();
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) continue;
    std::string what = std::to_string(st.st_ino) + " ";
    if (S_ISREG(st.st_mode))
      what += "file:" + read_file(path);
    else if (S_ISLNK(st.st_mode))
      what += "link:" + std::filesystem::read_symlink(e.path()).string();
    else if (S_ISDIR(st.st_mode))
      what += "dir";
    else if (S_ISFIFO(st.st_mode))
      what += "fifo";
    else
      what += "other";
    out[e.path().filename().string()] = what;
  }
  return out;
}

} // namespace td::testing_support
