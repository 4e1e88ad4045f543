// Every fault ends with one clear line after the start-up line, a failure
// status, and no earlier result lost.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "driver/detector.h"
#include "storage/tables.h"
#include "support/console.h"
#include "support/files.h"

namespace td {
namespace {

using namespace std::string_literals;

using testing_support::ChildSetup;
using testing_support::entries_of;
using testing_support::exists;
using testing_support::read_file;
using testing_support::run_child;
using testing_support::run_detector_in;
using testing_support::ScratchDir;
using testing_support::send_stdout_to_stderr;
using testing_support::write_file;

constexpr const char* kStart = "Runnning threshold detector...please wait\n";
constexpr const char* kHeader = ",1,2,3,4,5,6,7,8,9,10,11,12\r\n";
constexpr const char* kHot = "R_Tmax_GT30.0_count_results.csv"; // set 1's count file in kConfig
const std::string kConfig = "data.txt R 2 GT 30 FALSE 0 LT 0.5 1 LT 0 FALSE 0 GT 0 2 GT 25 TRUE 0 LT 0.5\n";
const std::string kRecord = "1981 7 1 1 1 0 12 31 0 0 0 0 0 0 0\n";

std::string records(int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += kRecord;
  return out;
}

int run_in(const ScratchDir& dir, std::string& console) { return run_detector_in(dir, {2, 3}, console); }

struct Case {
  const char* what;
  std::string config;
  std::function<void(const ScratchDir&)> prepare; // data file and anything else
  int status;
  std::string message;    // the line after the start-up line
  std::string hot_file;   // what kHot holds afterwards
  bool unchanged = false; // no entry of the directory changed (implied by hot_file == kOld)
};

const std::string kOld = "earlier results\r\n";

// Locks held on behalf of "another run" until the case is over.
std::vector<int> g_held_locks;

void hold_lock(const std::string& path) {
  write_file(path, kOld);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  g_held_locks.push_back(fd);
}

void release_locks() {
  for (const int fd : g_held_locks) ::close(fd);
  g_held_locks.clear();
}

const std::string kNineLines = "error on line 5 of ini file\nerror on line 12 of ini file\n"
                               "error on line 19 of ini file\nerror on line 9 of ini file\n"
                               "error on line 16 of ini file\nerror on line 23 of ini file\n"
                               "error on line 6 of ini file\nerror on line 13 of ini file\n"
                               "error on line 20 of ini file\n";
const std::string kSets = " 2 GT 30 FALSE 0 LT 0.5 1 LT 0 FALSE 0 GT 0 2 GT 25 TRUE 0 LT 0.5";

TEST(Faults, OneLineAStatusAndNothingLost) {
  const auto data = [](std::string text) {
    return [text](const ScratchDir& d) {
      write_file(d / "data.txt", text);
      write_file(d / kHot, kOld);
    };
  };
  const std::string long_prefix(300, 'p');
  const Case cases[] = {
      {"no configuration file", "",
       [](const ScratchDir& d) {
         std::filesystem::remove(d / "TAV_WG_dly_TD_ini.txt");
         write_file(d / kHot, kOld);
       },
       2,
       "Error opening ini file\nerror on line 5 of ini file\nerror on line 12 of ini file\n"
       "error on line 19 of ini file\nerror on line 9 of ini file\nerror on line 16 of ini file\n"
       "error on line 23 of ini file\nerror on line 6 of ini file\nerror on line 13 of ini file\n"
       "error on line 20 of ini file\n",
       kOld},
      {"faulty keywords", "data.txt R 2 gt 30 FALSE 0 LT 0.5 1 LT 0 FALSE 0 GT 0 2 GT 25 True 0 LT 0.5",
       data(records(6)), 2, "error on line 5 of ini file\nerror on line 20 of ini file\n", kOld},
      {"last threshold not a number",
       "data.txt R 2 GT 30 FALSE 0 LT 0.5 1 LT 0 FALSE 0 GT 0 2 GT 25 TRUE 0 LT x", data(records(6)), 2,
       "Error reading ini file: set 3 secondary threshold (item 23 of 23) is not a number: found \"x\"\n",
       kOld},
      {"primary code out of range",
       "data.txt R 12 GT 30 FALSE 0 LT 0.5 1 LT 0 FALSE 0 GT 0 2 GT 25 TRUE 0 LT 0.5", data(records(6)), 2,
       "Error in ini file: set 1 primary code 12 is not a variable code (0 to 9)\n", kOld},
      {"clashing names", "data.txt R 2 GT 30 FALSE 0 LT 0.5 1 LT 0 FALSE 0 GT 0 2 GT 30.04 FALSE 0 LT 0.5",
       data(records(6)), 2,
       "Error in ini file: sets 1 and 3 differ but both name their results R_Tmax_GT30.0_count_results.csv\n",
       kOld},
      {"missing data file", kConfig, [](const ScratchDir& d) { write_file(d / kHot, kOld); }, 3,
       "Error opening data file data.txt: No such file or directory\n", kOld},
      {"data file is a directory", kConfig,
       [](const ScratchDir& d) {
         std::filesystem::create_directory(d / "data.txt");
         write_file(d / kHot, kOld);
       },
       3, "Error opening data file data.txt: is a directory\n", kOld},
      {"empty data file", kConfig, data(""), 3, "Error opening data file data.txt: is empty\n", kOld},
      {"data ends early in run 2", kConfig, data(records(4) + "1981 7 1 1"), 3,
       "Error reading data file data.txt: run 2, day 2: the file ends early, at field 5 (fifth integer)\n",
       std::string(kHeader) + "1,0,0,0,0,0,0,3,0,0,0,0,0,\r\n"},
      {"nan in run 1", kConfig, data(records(1) + "1981 7 1 1 1 0 12 nan 0 0 0 0 0 0 0\n" + records(4)), 3,
       "Error reading data file data.txt: run 1, day 2: field 8 (Tmax) is not a number: found \"nan\"\n",
       kHeader},
      {"month 13", kConfig, data(records(3) + "1981 13 1 1 1 0 12 31 0 0 0 0 0 0 0\n" + records(2)), 3,
       "Error reading data file data.txt: run 2, day 1: the month 13 is outside 1 to 12\n",
       std::string(kHeader) + "1,0,0,0,0,0,0,3,0,0,0,0,0,\r\n"},
      {"prefix in a missing directory",
       "data.txt nodir/R 2 GT 30 FALSE 0 LT 0.5 1 LT 0 FALSE 0 GT 0 2 GT 25 TRUE 0 LT 0.5", data(records(6)),
       4, "Error creating result file nodir/R_Tmax_GT30.0_count_results.csv: No such file or directory\n",
       kOld},
      {"name too long", "data.txt R 2 GT 30 FALSE 0 LT 0.5 1 LT 0 FALSE 0 GT 0 2 GT 25 TRUE 0 LT 0.5",
       [long_prefix](const ScratchDir& d) {
         write_file(d / "data.txt", records(6));
         write_file(d / kHot, kOld);
         write_file(d / "TAV_WG_dly_TD_ini.txt",
                    "data.txt " + long_prefix +
                        " 2 GT 30 FALSE 0 LT 0.5 1 LT 0 FALSE 0 GT 0 2 GT 25 TRUE 0 LT 0.5");
       },
       4,
       // Names in messages keep their start and end, 200 characters in all.
       "Error creating result file " + std::string(98, 'p') + "..." + std::string(69, 'p') +
           "_Tmax_GT30.0_count_results.csv: File name too long\n",
       kOld},
      {"full disk", kConfig,
       [](const ScratchDir& d) {
         write_file(d / "data.txt", records(6));
         std::filesystem::create_symlink("/dev/full", d / "R_Tmin_LT0.0_count_results.csv");
         write_file(d / kHot, kOld);
       },
       4, "Error writing result file R_Tmin_LT0.0_count_results.csv: No space left on device\n", kHeader},
      {"a result name that is the data file",
       "R_Tmax_GT30.0_count_results.csv R 2 GT 30 FALSE 0 LT 0.5 1 LT 0 FALSE 0 GT 0 2 GT 25 TRUE 0 LT 0.5",
       [](const ScratchDir& d) { write_file(d / kHot, records(6)); }, 4,
       "Error creating result file R_Tmax_GT30.0_count_results.csv: it is the data file\n", records(6), true},
      // A NUL would end all six names at the same byte when they are opened.
      {"NUL byte in the prefix", "data.txt R\0X"s + kSets, data(records(6)), 2,
       "Error in ini file: result prefix (item 2 of 23) holds a byte that cannot stand in a file name: "
       "\"R?X\"\n",
       kOld},
      {"NUL byte in the data file name", "data.txt\0x R"s + kSets, data(records(6)), 2,
       "Error in ini file: data file name (item 1 of 23) holds a byte that cannot stand in a file name: "
       "\"data.txt?x\"\n",
       kOld},
      {"a result name is a symbolic link to another", kConfig,
       [data](const ScratchDir& d) {
         data(records(6))(d);
         std::filesystem::create_symlink(kHot, d / "R_Tmax_GT30.0_sum_results.csv");
       },
       4,
       "Error creating result file R_Tmax_GT30.0_sum_results.csv: it is the same file as "
       "R_Tmax_GT30.0_count_results.csv\n",
       kOld},
      {"a result name is a hard link to another", kConfig,
       [data](const ScratchDir& d) {
         data(records(6))(d);
         std::filesystem::create_hard_link(d / kHot, d / "R_Tmax_GT25.0_count_2nd_cond_RN_LT0.5_results.csv");
       },
       4,
       "Error creating result file R_Tmax_GT25.0_count_2nd_cond_RN_LT0.5_results.csv: it is the same file as "
       "R_Tmax_GT30.0_count_results.csv\n",
       kOld},
      {"a result name is the configuration file", kConfig,
       [data](const ScratchDir& d) {
         data(records(6))(d);
         std::filesystem::create_hard_link(d / "TAV_WG_dly_TD_ini.txt", d / "R_Tmin_LT0.0_sum_results.csv");
       },
       4,
       "Error creating result file R_Tmin_LT0.0_sum_results.csv: it is the configuration file "
       "TAV_WG_dly_TD_ini.txt\n",
       kOld},
      {"a FIFO that no program reads", kConfig,
       [data](const ScratchDir& d) {
         data(records(6))(d);
         ASSERT_EQ(::mkfifo((d / "R_Tmin_LT0.0_count_results.csv").c_str(), 0644), 0);
       },
       4, "Error creating result file R_Tmin_LT0.0_count_results.csv: it is a FIFO with no reader\n", kOld},
      // Opening a FIFO for reading waits for a writer: the inputs are opened
      // without waiting, and a FIFO that has none reads as empty.
      {"a data file that is a FIFO no program writes", kConfig,
       [](const ScratchDir& d) {
         ASSERT_EQ(::mkfifo((d / "data.txt").c_str(), 0644), 0);
         write_file(d / kHot, kOld);
       },
       3, "Error reading data file data.txt: run 1, day 1: the file ends early, at field 1 (first integer)\n",
       kOld},
      {"a configuration that is a FIFO no program writes", kConfig,
       [data](const ScratchDir& d) {
         data(records(6))(d);
         std::filesystem::remove(d / "TAV_WG_dly_TD_ini.txt");
         ASSERT_EQ(::mkfifo((d / "TAV_WG_dly_TD_ini.txt").c_str(), 0644), 0);
       },
       2,
       "error on line 5 of ini file\nerror on line 12 of ini file\nerror on line 19 of ini file\n"
       "error on line 9 of ini file\nerror on line 16 of ini file\nerror on line 23 of ini file\n"
       "error on line 6 of ini file\nerror on line 13 of ini file\nerror on line 20 of ini file\n",
       kOld},
      {"another run writes a result file", kConfig,
       [data](const ScratchDir& d) {
         data(records(6))(d);
         hold_lock(d / "R_Tmax_GT25.0_sum_2nd_cond_RN_LT0.5_results.csv");
       },
       4,
       "Error creating result file R_Tmax_GT25.0_sum_2nd_cond_RN_LT0.5_results.csv: another run is writing "
       "it\n",
       kOld},
      // Four files are made before the fifth fails, one through a link to a
      // missing file: all go again, and the link stays.
      {"a link to a missing file, then a name that cannot be opened", kConfig,
       [data](const ScratchDir& d) {
         data(records(6))(d);
         std::filesystem::create_symlink("elsewhere.csv", d / "R_Tmin_LT0.0_count_results.csv");
         std::filesystem::create_directory(d / "R_Tmin_LT0.0_sum_results.csv");
       },
       4, "Error creating result file R_Tmin_LT0.0_sum_results.csv: Is a directory\n", kOld},
      {"a data file of white space only", kConfig, data(" \n\t\r\n  "), 3,
       "Error reading data file data.txt: run 1, day 1: the file ends early, at field 1 (first integer)\n",
       kOld},
      {"/dev/null as the data file", "/dev/null R" + kSets, data(""), 3,
       "Error reading data file /dev/null: run 1, day 1: the file ends early, at field 1 (first integer)\n",
       kOld},
      {"a bad first record", kConfig, data("1981 x 1 1 1 0 12 31 0 0 0 0 0 0 0\n" + records(5)), 3,
       "Error reading data file data.txt: run 1, day 1: field 2 (month) is not a number: found \"x\"\n",
       kOld},
      {"the configuration is a directory", "",
       [](const ScratchDir& d) {
         std::filesystem::remove(d / "TAV_WG_dly_TD_ini.txt");
         std::filesystem::create_directory(d / "TAV_WG_dly_TD_ini.txt");
         write_file(d / kHot, kOld);
       },
       2, kNineLines + "Error reading ini file: Is a directory\n", kOld},
      {"a long data file name that is missing", std::string(250, 'a') + " R" + kSets,
       [](const ScratchDir& d) { write_file(d / kHot, kOld); }, 3,
       "Error opening data file " + std::string(98, 'a') + "..." + std::string(99, 'a') +
           ": No such file or directory\n",
       kOld},
      // The fault's text follows the name: the name is shortened further.
      {"a long data file name without a record", std::string(250, 'b') + " R" + kSets,
       [](const ScratchDir& d) {
         write_file(d / std::string(250, 'b'), "\n");
         write_file(d / kHot, kOld);
       },
       3,
       "Error reading data file " + std::string(78, 'b') + "..." + std::string(79, 'b') +
           ": run 1, day 1: the file ends early, at field 1 (first integer)\n",
       kOld},
      {"clashing long names",
       "data.txt " + std::string(1000, 'q') +
           " 2 GT 30 FALSE 0 LT 0.5 1 LT 0 FALSE 0 GT 0 2 GT 30.04 FALSE 0 LT 0.5",
       data(records(6)), 2,
       "Error in ini file: sets 1 and 3 differ but both name their results " + std::string(98, 'q') + "..." +
           std::string(69, 'q') + "_Tmax_GT30.0_count_results.csv\n",
       kOld},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    write_file(dir / "TAV_WG_dly_TD_ini.txt", c.config);
    c.prepare(dir);
    const auto before = entries_of(dir.path);
    std::string console;
    EXPECT_EQ(run_in(dir, console), c.status) << c.what;
    release_locks();
    EXPECT_EQ(console, kStart + c.message) << c.what;
    EXPECT_EQ(read_file(dir / kHot), c.hot_file) << c.what;
    // A run that cannot start leaves every entry as it was.
    if (c.unchanged || c.hot_file == kOld) {
      EXPECT_EQ(entries_of(dir.path), before) << c.what;
    }
    for (std::size_t at = 0, end; (end = console.find('\n', at)) != std::string::npos; at = end + 1)
      EXPECT_LE(end - at, 300u) << c.what;
    // A refused configuration or data file creates no result file.
    if (c.status == 2 || (c.status == 3 && c.hot_file == kOld)) {
      EXPECT_FALSE(exists(dir / "R_Tmin_LT0.0_sum_results.csv")) << c.what;
    }
  }
}

TEST(Faults, SetsWithTheSameConditionsShareTheirFiles) {
  ScratchDir dir;
  // Sets 1 and 3 count the same days; set 3's secondary fields do not matter.
  write_file(dir / "TAV_WG_dly_TD_ini.txt",
             "data.txt R 2 GT 30 FALSE 0 LT 0.5 1 LT 0 FALSE 0 GT 0 2 GT 30.0 FALSE 7 GT 99");
  write_file(dir / "data.txt", records(6));
  std::string console;
  ASSERT_EQ(run_in(dir, console), 0);
  EXPECT_EQ(console, kStart);
  EXPECT_EQ(read_file(dir / kHot),
            std::string(kHeader) + "1,0,0,0,0,0,0,3,0,0,0,0,0,\r\n" + "2,0,0,0,0,0,0,3,0,0,0,0,0,\r\n" +
                "mean,0,0,0,0,0,0,3,0,0,0,0,0,\r\n" + "SD,0,0,0,0,0,0,0,0,0,0,0,0,\r\n");
  std::size_t files = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.path))
    files += e.path().string().find("_results.csv") != std::string::npos;
  EXPECT_EQ(files, 4u);
}

// What kHot holds after a whole run of kConfig on records(6).
const std::string kHotResult = std::string(kHeader) + "1,0,0,0,0,0,0,3,0,0,0,0,0,\r\n" +
                               "2,0,0,0,0,0,0,3,0,0,0,0,0,\r\n" + "mean,0,0,0,0,0,0,3,0,0,0,0,0,\r\n" +
                               "SD,0,0,0,0,0,0,0,0,0,0,0,0,\r\n";

// A console that cannot take the lines: descriptors 0, 1 and 2 closed (the
// first result file must not become standard output), or a pipe no program
// reads (the run must not end by a signal).
TEST(Faults, ConsoleClosedOrUnread) {
  ChildSetup closed;
  closed.closed_streams = true;
  ChildSetup unread;
  unread.stdout_unread = true;
  const struct {
    const char* what;
    ChildSetup setup;
    bool later_file_fails; // a directory at the last result name
    int status;
    std::string hot_file;
  } cases[] = {
      {"closed, a result file cannot be made", closed, true, 4, kOld},
      {"closed, a whole run", closed, false, 0, kHotResult},
      {"unread, a result file cannot be made", unread, true, 4, kOld},
      {"unread, a whole run", unread, false, 0, kHotResult},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    write_file(dir / "TAV_WG_dly_TD_ini.txt", kConfig);
    write_file(dir / "data.txt", records(6));
    write_file(dir / kHot, kOld);
    if (c.later_file_fails)
      std::filesystem::create_directory(dir / "R_Tmax_GT25.0_sum_2nd_cond_RN_LT0.5_results.csv");
    const auto run = run_child(dir, c.setup, [] { return run_detector({2, 3}); });
    EXPECT_EQ(run.status, c.status) << c.what;
    EXPECT_EQ(run.err, "") << c.what;
    EXPECT_EQ(read_file(dir / kHot), c.hot_file) << c.what;
  }
}

// Under a file size limit every write that reaches it fails with "File too
// large", and the file is cut back to its last whole line: a file that has
// its SD line is complete.
TEST(Faults, FileSizeLimitLeavesWholeLines) {
  ScratchDir dir;
  write_file(dir / "TAV_WG_dly_TD_ini.txt", kConfig);
  // Sums of many digits, so that lines differ in length and limits fall inside them.
  std::string data;
  for (int i = 0; i < 6; ++i)
    data += "1981 " + std::to_string(i % 12 + 1) + " 1 1 1 0.123 -1.7" + std::to_string(i) + " 33.31" +
            std::to_string(i) + " 0 0 0 0 0 0 0\n";
  write_file(dir / "data.txt", data);
  std::string console;
  ASSERT_EQ(run_in(dir, console), 0);
  const auto whole = entries_of(dir.path);
  std::size_t largest = 0;
  std::map<std::string, std::string> expected; // result name -> contents
  for (const auto& entry : std::filesystem::directory_iterator(dir.path)) {
    const std::string name = entry.path().filename().string();
    if (name.find("_results.csv") == std::string::npos) continue;
    expected[name] = read_file(entry.path().string());
    largest = std::max(largest, expected[name].size());
  }
  ASSERT_EQ(expected.size(), 6u);
  for (long limit = 0; limit <= static_cast<long>(largest); ++limit) {
    ChildSetup setup;
    setup.file_size = limit;
    const auto run = run_child(dir, setup, [] { return run_detector({2, 3}); });
    const std::string at = "limit " + std::to_string(limit);
    ASSERT_EQ(run.err, "") << at;
    if (limit == static_cast<long>(largest)) {
      EXPECT_EQ(run.status, 0) << at;
      EXPECT_EQ(entries_of(dir.path), whole) << at;
      continue;
    }
    EXPECT_EQ(run.status, 4) << at;
    EXPECT_TRUE(run.out.starts_with(std::string(kStart) + "Error writing result file R_")) << at << run.out;
    EXPECT_TRUE(run.out.ends_with("_results.csv: File too large\n")) << at << run.out;
    for (const auto& [name, text] : expected) {
      const std::string got = read_file(dir / name);
      EXPECT_LE(got.size(), static_cast<std::size_t>(limit)) << at << " " << name;
      EXPECT_EQ(text.substr(0, got.size()), got) << at << " " << name;
      EXPECT_TRUE(got.empty() || got.ends_with("\r\n")) << at << " " << name;
      if (got.find("\nSD,") != std::string::npos) {
        EXPECT_EQ(got, text) << at << " " << name;
      }
    }
  }
}

TEST(FaultsDeathTest, AllocationFailureBeforeTheStartUpLine) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // 0: the record buffer; 3: the third tally table.
  for (long n : {0L, 3L}) {
    EXPECT_EXIT(
        {
          send_stdout_to_stderr();
          storage_fail_after(n);
          (void)run_detector({2, 3});
        },
        testing::ExitedWithCode(1), "^Error allocating memory\\. Quiting\n$");
  }
}

} // namespace
} // namespace td
