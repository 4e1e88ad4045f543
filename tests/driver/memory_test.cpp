// Memory running out anywhere in a whole run of the built program: every
// allocation failed in turn (a preloaded shim), and address-space limits in
// small steps. Each run ends with the allocation message and status 1, or
// runs to its normal end where the failed allocation was one it can do
// without; either way every result file is as the whole run left it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "support/console.h"
#include "support/files.h"

namespace td {
namespace {

using testing_support::ChildRun;
using testing_support::ChildSetup;
using testing_support::entries_of;
using testing_support::read_file;
using testing_support::run_program;
using testing_support::ScratchDir;
using testing_support::write_file;

constexpr const char* kStart = "Runnning threshold detector...please wait\n";
constexpr const char* kNoMemory = "Error allocating memory. Quiting\n";

// The sanitizers take malloc for themselves (no shim is built with them) and
// reserve more address space than any limit tried here.
#ifdef TD_FAIL_ALLOC_SHIM
constexpr const char* kShim = TD_FAIL_ALLOC_SHIM;
#else
constexpr const char* kShim = nullptr;
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// A full-size ensemble (outside the working directory, which then holds only
// the configuration and the results) and the results of a whole run.
struct FullRun {
  ScratchDir data;
  ScratchDir work;
  std::map<std::string, std::string> whole; // the working directory after a whole run

  bool make() {
    const std::string gen = std::string(TD_GENERATOR_EXE) + " --seed 11 " + (data / "ensemble.txt");
    if (std::system(gen.c_str()) != 0) return false;
    std::string config = read_file(std::string(TD_SOURCE_DIR) + "/examples/TAV_WG_dly_TD_ini.txt");
    config.replace(0, config.find_first_of(" \n"), data / "ensemble.txt");
    write_file(work / "TAV_WG_dly_TD_ini.txt", config);
    const ChildRun run = run_program(TD_DETECTOR_EXE, work);
    whole = entries_of(work.path);
    return run.status == 0 && run.out == kStart && whole.size() == 7;
  }
};

// How a run under a memory shortage ended.
enum class Outcome { no_memory, whole_run, not_started, fault };

Outcome judge(const ChildRun& run, const FullRun& full) {
  if (!run.err.empty() || entries_of(full.work.path) != full.whole) return Outcome::fault;
  if (run.status == 1 && (run.out == kNoMemory || run.out == std::string(kStart) + kNoMemory))
    return Outcome::no_memory;
  if (run.status == 0 && run.out == kStart) return Outcome::whole_run;
  return Outcome::fault;
}

std::string describe(const ChildRun& run) {
  return "status " + std::to_string(run.status) + ", output \"" + run.out + "\", errors \"" + run.err + "\"";
}

TEST(Memory, EveryAllocationOfAWholeRunFailedInTurn) {
  if (kShim == nullptr)
    GTEST_SKIP() << "no allocation shim in this build: the sanitizers take malloc for themselves";
  FullRun full;
  ASSERT_TRUE(full.make());
  ScratchDir counter;
  ChildSetup counting;
  counting.env = {std::string("LD_PRELOAD=") + kShim, "TD_COUNT_ALLOCATIONS=" + (counter / "n")};
  ASSERT_EQ(judge(run_program(TD_DETECTOR_EXE, full.work, counting), full), Outcome::whole_run);
  const long allocations = std::atol(read_file(counter / "n").c_str());
  ASSERT_GT(allocations, 0);

  std::map<Outcome, int> seen;
  for (long n = 1; n <= allocations; ++n) {
    ChildSetup setup;
    setup.env = {std::string("LD_PRELOAD=") + kShim, "TD_FAIL_ALLOCATION=" + std::to_string(n)};
    const ChildRun run = run_program(TD_DETECTOR_EXE, full.work, setup);
    const Outcome o = judge(run, full);
    ++seen[o];
    ASSERT_NE(o, Outcome::fault) << "allocation " << n << " of " << allocations
                                 << " failed: " << describe(run);
  }
  std::printf("%ld allocations: %d ended with the allocation message, %d ran to the normal end\n",
              allocations, seen[Outcome::no_memory], seen[Outcome::whole_run]);
  EXPECT_GT(seen[Outcome::no_memory], 0);
}

TEST(Memory, AddressSpaceLimitsInSmallSteps) {
  if (kSanitized) GTEST_SKIP() << "the sanitizers reserve more address space than any limit tried here";
  FullRun full;
  ASSERT_TRUE(full.make());
  std::map<Outcome, int> seen;
  // From where the program cannot even be loaded to where a whole run
  // needs no more, in steps of 64 KiB.
  constexpr long kStep = 64 * 1024;
  int whole_in_a_row = 0;
  long limit = 2 * 1024 * 1024;
  for (; limit <= 256L * 1024 * 1024 && whole_in_a_row < 16; limit += kStep) {
    ChildSetup setup;
    setup.address_space = limit;
    const ChildRun run = run_program(TD_DETECTOR_EXE, full.work, setup);
    Outcome o = judge(run, full);
    // The loader's own failure, before the program starts (its message is
    // the loader's, on standard error).
    if (o == Outcome::fault && run.status == 127 && run.out.empty() &&
        entries_of(full.work.path) == full.whole)
      o = Outcome::not_started;
    ++seen[o];
    whole_in_a_row = o == Outcome::whole_run ? whole_in_a_row + 1 : 0;
    ASSERT_NE(o, Outcome::fault) << "address space " << limit << ": " << describe(run);
  }
  std::printf(
      "address space up to %ld KiB: %d not loaded, %d ended with the allocation message, %d whole runs\n",
      limit / 1024, seen[Outcome::not_started], seen[Outcome::no_memory], seen[Outcome::whole_run]);
  EXPECT_GT(seen[Outcome::no_memory], 0);
  EXPECT_EQ(whole_in_a_row, 16);
}

} // namespace
} // namespace td
