// Every fault ends with one clear line after the start-up line, a failure
// status, and no earlier result lost.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "driver/detector.h"
#include "storage/tables.h"
#include "support/console.h"
#include "support/files.h"

namespace td {
namespace {

using testing_support::exists;
using testing_support::read_file;
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
  std::string message;  // the line after the start-up line
  std::string hot_file; // what kHot holds afterwards
};

const std::string kOld = "earlier results\r\n";

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
       "Error creating result file R_Tmax_GT30.0_count_results.csv: it is the data file\n", records(6)},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    write_file(dir / "TAV_WG_dly_TD_ini.txt", c.config);
    c.prepare(dir);
    std::string console;
    EXPECT_EQ(run_in(dir, console), c.status) << c.what;
    EXPECT_EQ(console, kStart + c.message) << c.what;
    EXPECT_EQ(read_file(dir / kHot), c.hot_file) << c.what;
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
